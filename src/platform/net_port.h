// Ports behind a network device server. A port's device may be a URL instead
// of a device path:
//
//   tcp://HOST:PORT      raw TCP: the line's bytes as they are, both ways
//   rfc2217://HOST:PORT  Telnet with the COM-PORT-OPTION (RFC 2217): the
//                        station sets the server's line format and purges
//                        its receive buffer, BINARY both ways (RFC 856)
//
// HOST is a name, an IPv4 address or an IPv6 address in brackets
// ("rfc2217://[fe80::1%eth0]:2000"). What is here is pure (URL parsing, the
// Telnet codec, the port over any connected socket); the sockets themselves
// are the platform's (net_port_posix.cc, net_port_win32.cc).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/line_format.h"
#include "platform/serial_port.h"

namespace kavelin2 {

class Clock;

using NetBytes = std::vector<uint8_t>;

enum class NetProtocol { kRawTcp, kRfc2217 };

struct NetUrl {
  NetProtocol protocol = NetProtocol::kRawTcp;
  std::string host;  // without the brackets of an IPv6 address
  std::string port;  // decimal, 1 to 65535
};

// True when |device| names a network port (begins with "tcp://" or
// "rfc2217://", in any case), whether or not the rest is well formed.
bool IsNetUrl(std::string_view device);

struct NetUrlParse {
  NetUrl url;
  std::string error;  // empty when |url| holds the parsed URL
};

// Parses "tcp://HOST:PORT" or "rfc2217://HOST:PORT". The error says what is
// wrong in words for the station's log.
NetUrlParse ParseNetUrl(std::string_view device);

// Telnet (RFC 854) as a client of an RFC 2217 device server: line data both
// ways, and the option negotiation. It asks for BINARY both ways and for the
// COM-PORT-OPTION on its side, agrees to nothing else, and answers each
// negotiation once (the Q method of RFC 1143), so two parties can never send
// each other requests for ever.
class TelnetCodec {
 public:
  static constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                           kSe = 240;
  static constexpr uint8_t kBinary = 0, kComPort = 44;

  // The requests that open the session.
  void Begin(NetBytes& to_server);

  // Takes the next bytes from the server, cut anywhere: line data is
  // appended to |data| (a doubled 0xFF as one), every Telnet command is
  // removed, and what must be answered is appended to |to_server|.
  void Receive(std::span<const uint8_t> in, NetBytes& data, NetBytes& to_server);

  // True once every option asked for by Begin has been agreed or refused.
  bool Settled() const;
  // Whether |option| is on: for our side (we perform it) or the server's.
  bool LocalEnabled(uint8_t option) const { return us_[option] == Q::kYes; }
  bool RemoteEnabled(uint8_t option) const { return him_[option] == Q::kYes; }

  // The speed the server last reported in answer to SET-BAUDRATE.
  std::optional<uint32_t> ReportedBaud() const { return reported_baud_; }

  // Line data for the server: 0xFF doubled.
  static void EncodeData(std::span<const uint8_t> in, NetBytes& out);

 private:
  enum class Q : uint8_t { kNo, kYes, kWantNo, kWantYes };
  enum class State : uint8_t { kData, kIac, kOption, kSub, kSubIac };

  void Negotiate(uint8_t verb, uint8_t option, NetBytes& to_server);
  void Subnegotiation();

  Q us_[256] = {};
  Q him_[256] = {};
  State state_ = State::kData;
  uint8_t verb_ = 0;
  NetBytes sub_;  // the subnegotiation being received, option first
  bool sub_overflow_ = false;
  std::optional<uint32_t> reported_baud_;
};

// RFC 2217 commands, client to server, each as one Telnet subnegotiation.
namespace com_port {
constexpr uint8_t kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                  kSetControl = 5, kPurgeData = 12;
// SET-CONTROL values.
constexpr uint8_t kNoFlowControlOut = 1, kDtrOn = 8, kDtrOff = 9, kRtsOn = 11, kRtsOff = 12,
                  kNoFlowControlIn = 14;
// PURGE-DATA: the server's buffer of bytes received from the line.
constexpr uint8_t kPurgeReceived = 1;

// IAC SB COM-PORT-OPTION |command| |value| IAC SE, 0xFF doubled in the value.
void AppendCommand(uint8_t command, std::span<const uint8_t> value, NetBytes& out);
// The commands that give the line |format| (a code outside its table is left
// as the server has it), no flow control either way, DTR and RTS raised.
void AppendLineFormat(const LineFormat& format, NetBytes& out);
// DTR and RTS raised or dropped.
void AppendControlLines(bool raised, NetBytes& out);
}  // namespace com_port

// The connected socket beneath a network port: one back end per platform.
// Nothing in it waits unless asked to.
class NetSocket {
 public:
  virtual ~NetSocket() = default;
  // What one transfer did: |count| bytes moved (0 when none could move
  // now), or the connection is over (closed by the server, reset, timed
  // out), said in |reason| in the system's words.
  struct Transfer {
    int count = 0;
    bool over = false;
    std::string reason;
    static Transfer Moved(int count) { return {count, false, {}}; }
    static Transfer Over(std::string reason) { return {0, true, std::move(reason)}; }
  };
  virtual Transfer Receive(uint8_t* buf, int n) = 0;
  virtual Transfer Send(const uint8_t* buf, int n) = 0;
  // Block until the socket can take bytes / has bytes or news (true), or
  // |ms| have passed (false). A failed connection counts as ready: the next
  // transfer says why.
  virtual bool WaitWritable(int32_t ms) = 0;
  virtual bool WaitReadable(int32_t ms) = 0;
  // What a wait on the port waits on (the descriptor, or the socket).
  virtual int Handle() const = 0;
};

// Longest wait for the TCP connection to be made, per address tried: long
// enough for a device server across a WAN, short enough that an attempt at
// a dead one (every reopening of a lost line) holds the other line up only
// briefly.
constexpr int32_t kNetConnectMs = 2000;
// Longest wait for the server's answers to the Telnet options.
constexpr int32_t kNetNegotiateMs = 2000;

struct NetConnect {
  std::unique_ptr<NetSocket> socket;
  std::string error;  // when |socket| is null: the address and the reason
};

// Resolves |url|'s host (getaddrinfo: names, IPv4, IPv6) and connects to
// each address in turn, each within kNetConnectMs, with TCP_NODELAY and TCP
// keepalive on. Per platform.
NetConnect ConnectNetSocket(const NetUrl& url);

struct NetOpen {
  std::unique_ptr<SerialPort> port;
  std::string error;  // when |port| is null: host, port and the reason
};

// The port over |socket|: for rfc2217 the options are negotiated first
// (within kNetNegotiateMs on |clock|), and a server that refuses BINARY or
// the COM-PORT-OPTION is refused.
NetOpen OpenNetPort(const NetUrl& url, std::unique_ptr<NetSocket> socket, Clock& clock);

// The whole opening of a network line named |url| ("tcp://..." or
// "rfc2217://..."): parse, connect, open. Null with |*error| ("URL: reason")
// when any step fails.
std::unique_ptr<SerialPort> OpenNetLine(const std::string& url, Clock& clock, std::string* error);

}  // namespace kavelin2
