// What each path answers, apart from the transport (http_server.cc).
#include "office/http_server.h"
#include "office/render.h"

namespace kavelin2::office {
namespace {

Answer Text(int status, std::string body) {
  Answer a;
  a.status = status;
  a.content_type = "text/plain; charset=utf-8";
  a.body = std::move(body);
  return a;
}

}  // namespace

Answer AnswerRequest(const SnapshotStore& store, const ServerOptions& options,
                     const std::string& method, const std::string& target,
                     const std::string& authorization, int64_t now) {
  if (method != "GET" && method != "HEAD") {
    Answer a = Text(405, "405 method not allowed: GET and HEAD only\n");
    a.allow = true;
    return a;
  }
  if (!options.token.empty() && !CarriesToken(authorization, options.token)) {
    Answer a = Text(401, "401 credentials required\n");
    a.challenge = true;
    return a;
  }
  const std::string path = target.substr(0, target.find('?'));
  std::shared_ptr<const Snapshot> snapshot = store.Current();
  if (snapshot == nullptr) return Text(503, "503 the station is starting\n");
  if (path == "/exchanges.csv") {
    Answer a;
    a.content_type = "text/csv; charset=utf-8";
    a.body = RenderCsv(*snapshot);
    return a;
  }
  if (path != "/" && path != "/status.json" && path != "/metrics")
    return Text(404, "404 not found\n");
  Facts facts = GatherFacts(*snapshot, now, options.overdue_hours);
  Answer a;
  if (path == "/") {
    a.content_type = "text/html; charset=utf-8";
    a.body = RenderPage(facts, options.refresh_seconds);
  } else if (path == "/status.json") {
    a.content_type = "application/json";
    a.body = RenderStatusJson(facts);
  } else {
    a.content_type = "text/plain; version=0.0.4; charset=utf-8";
    a.body = RenderMetrics(facts);
  }
  return a;
}

}  // namespace kavelin2::office
