// The office view's HTTP listener: GET and HEAD of four read-only paths,
// served from the latest published snapshot in a thread of its own. Every
// client is bounded (connections, header size, no body, idle time), so that
// whatever a client does, the lines never wait for it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "office/office_config.h"
#include "office/snapshot.h"

namespace kavelin2::office {

class OfficeServer {
 public:
  virtual ~OfficeServer() = default;  // stops and joins the server's thread
  // The port listened on (the one asked for, or the one given for port 0).
  virtual uint16_t port() const = 0;
};

// Listens on options.address:options.port and serves from |store| until
// destroyed. Null, with the reason in |error|, when it cannot listen.
std::unique_ptr<OfficeServer> StartOfficeServer(std::shared_ptr<SnapshotStore> store,
                                                const ServerOptions& options, std::string* error);

// The answer to one request, whatever carries it: |authorization| is the
// Authorization header ("" when absent). Status, content type and body.
struct Answer {
  int status = 200;
  std::string content_type;
  std::string body;
  bool challenge = false;  // 401: ask for credentials
  bool allow = false;      // 405: say which methods are allowed
};
Answer AnswerRequest(const SnapshotStore& store, const ServerOptions& options,
                     const std::string& method, const std::string& target,
                     const std::string& authorization, int64_t now);

}  // namespace kavelin2::office
