#include "platform/net_port.h"

#include <algorithm>
#include <cctype>

#include "platform/clock.h"
#include "platform/output_queue.h"

namespace kavelin2 {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  }
  return true;
}

// Characters that never belong in a host: they would make the URL mean
// something else (a path, a user, a second address) or hide in a log line.
bool BadHostChar(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u <= ' ' || u >= 0x7F || c == '/' || c == '?' || c == '#' || c == '@' || c == '[' ||
         c == ']';
}

}  // namespace

bool IsNetUrl(std::string_view device) {
  return StartsWithNoCase(device, "tcp://") || StartsWithNoCase(device, "rfc2217://");
}

NetUrlParse ParseNetUrl(std::string_view device) {
  NetUrlParse out;
  auto fail = [&](const std::string& why) {
    out.error = why;
    return out;
  };
  std::string_view rest;
  if (StartsWithNoCase(device, "tcp://")) {
    out.url.protocol = NetProtocol::kRawTcp;
    rest = device.substr(6);
  } else if (StartsWithNoCase(device, "rfc2217://")) {
    out.url.protocol = NetProtocol::kRfc2217;
    rest = device.substr(10);
  } else {
    return fail("not a network port (tcp://HOST:PORT or rfc2217://HOST:PORT)");
  }
  std::string_view host, port;
  if (!rest.empty() && rest.front() == '[') {
    const size_t close = rest.find(']');
    if (close == std::string_view::npos) return fail("an IPv6 address lacks its closing ']'");
    host = rest.substr(1, close - 1);
    rest = rest.substr(close + 1);
    if (rest.empty() || rest.front() != ':') return fail("no :PORT after the host");
    port = rest.substr(1);
  } else {
    const size_t colon = rest.rfind(':');
    if (colon == std::string_view::npos) return fail("no :PORT after the host");
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (host.find(':') != std::string_view::npos) {
      return fail("an IPv6 address goes in brackets ([::1]:PORT)");
    }
  }
  if (host.empty()) return fail("no host");
  if (std::any_of(host.begin(), host.end(), BadHostChar))
    return fail("the host is not a name or an address");
  if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      })) {
    return fail("the port is not a number from 1 to 65535");
  }
  const long number = std::stol(std::string(port));
  if (number < 1 || number > 65535) return fail("the port is not a number from 1 to 65535");
  out.url.host = std::string(host);
  out.url.port = std::to_string(number);
  return out;
}

// --- Telnet -----------------------------------------------------------------

namespace {

// The options this client takes part in: BINARY both ways (so that CR, LF
// and NUL pass as they are), the COM-PORT-OPTION on our side only (the
// server is the access server). Everything else is refused: echo, line
// modes and the like have no meaning on a serial line, and a server's
// go-aheads, if it keeps sending them, are removed like any other command.
bool AcceptLocal(uint8_t option) {
  return option == TelnetCodec::kBinary || option == TelnetCodec::kComPort;
}
bool AcceptRemote(uint8_t option) { return option == TelnetCodec::kBinary; }

void Command(uint8_t verb, uint8_t option, NetBytes& out) {
  out.insert(out.end(), {TelnetCodec::kIac, verb, option});
}

}  // namespace

void TelnetCodec::Begin(NetBytes& to_server) {
  // WANTYES: the answer to each request is taken as its answer, not as a
  // request of the server's to be answered again.
  us_[kBinary] = Q::kWantYes;
  Command(kWill, kBinary, to_server);
  him_[kBinary] = Q::kWantYes;
  Command(kDo, kBinary, to_server);
  us_[kComPort] = Q::kWantYes;
  Command(kWill, kComPort, to_server);
}

bool TelnetCodec::Settled() const {
  for (int i = 0; i < 256; ++i) {
    if (us_[i] == Q::kWantYes || us_[i] == Q::kWantNo) return false;
    if (him_[i] == Q::kWantYes || him_[i] == Q::kWantNo) return false;
  }
  return true;
}

// RFC 1143 without its queue: this client never changes its mind about an
// option, so only the states NO, YES and WANTYES are ever entered by it;
// WANTNO is kept for the rules' completeness.
void TelnetCodec::Negotiate(uint8_t verb, uint8_t option, NetBytes& to_server) {
  const bool remote = verb == kWill || verb == kWont;
  const bool on = verb == kWill || verb == kDo;
  Q& q = remote ? him_[option] : us_[option];
  const uint8_t agree = remote ? kDo : kWill;
  const uint8_t refuse = remote ? kDont : kWont;
  if (on) {
    switch (q) {
      case Q::kNo:
        if (remote ? AcceptRemote(option) : AcceptLocal(option)) {
          q = Q::kYes;
          Command(agree, option, to_server);
        } else {
          Command(refuse, option, to_server);
        }
        break;
      case Q::kYes:
        break;
      case Q::kWantNo:  // our refusal answered by an agreement: the server errs
        q = Q::kNo;
        break;
      case Q::kWantYes:
        q = Q::kYes;
        break;
    }
  } else {
    switch (q) {
      case Q::kNo:
        break;
      case Q::kYes:
        q = Q::kNo;
        Command(refuse, option, to_server);
        break;
      case Q::kWantNo:
      case Q::kWantYes:
        q = Q::kNo;
        break;
    }
  }
}

// The server's answers to our commands (their codes plus 100). Only the
// speed is kept: it tells what the server's line really runs at. Line and
// modem state notifications and flow-control requests mean nothing to a
// line without flow control.
void TelnetCodec::Subnegotiation() {
  if (sub_overflow_ || sub_.size() < 2 || sub_[0] != kComPort) return;
  if (sub_[1] == 100 + com_port::kSetBaudRate && sub_.size() == 6) {
    reported_baud_ = (uint32_t{sub_[2]} << 24) | (uint32_t{sub_[3]} << 16) |
                     (uint32_t{sub_[4]} << 8) | uint32_t{sub_[5]};
  }
}

void TelnetCodec::Receive(std::span<const uint8_t> in, NetBytes& data, NetBytes& to_server) {
  // A subnegotiation longer than any this client reads is skipped whole.
  constexpr size_t kMaxSub = 64;
  for (uint8_t b : in) {
    switch (state_) {
      case State::kData:
        if (b == kIac) {
          state_ = State::kIac;
        } else {
          data.push_back(b);
        }
        break;
      case State::kIac:
        if (b == kIac) {
          data.push_back(b);
          state_ = State::kData;
        } else if (b == kWill || b == kWont || b == kDo || b == kDont) {
          verb_ = b;
          state_ = State::kOption;
        } else if (b == kSb) {
          sub_.clear();
          sub_overflow_ = false;
          state_ = State::kSub;
        } else {
          // NOP, GA, DM, BRK, AYT, a stray SE...: nothing for the line.
          state_ = State::kData;
        }
        break;
      case State::kOption:
        Negotiate(verb_, b, to_server);
        state_ = State::kData;
        break;
      case State::kSub:
        if (b == kIac) {
          state_ = State::kSubIac;
        } else if (sub_.size() < kMaxSub) {
          sub_.push_back(b);
        } else {
          sub_overflow_ = true;
        }
        break;
      case State::kSubIac:
        if (b == kIac) {
          if (sub_.size() < kMaxSub) {
            sub_.push_back(b);
          } else {
            sub_overflow_ = true;
          }
          state_ = State::kSub;
        } else if (b == kSe) {
          Subnegotiation();
          state_ = State::kData;
        } else {
          // A subnegotiation cut short by another command (its SE lost):
          // drop it, and take the command for what it is, so that the line
          // data after it is not swallowed too.
          state_ = State::kIac;
          const uint8_t again[] = {b};
          Receive(again, data, to_server);
        }
        break;
    }
  }
}

void TelnetCodec::EncodeData(std::span<const uint8_t> in, NetBytes& out) {
  out.reserve(out.size() + in.size());
  for (uint8_t b : in) {
    out.push_back(b);
    if (b == kIac) out.push_back(kIac);
  }
}

namespace com_port {

void AppendCommand(uint8_t command, std::span<const uint8_t> value, NetBytes& out) {
  out.insert(out.end(), {TelnetCodec::kIac, TelnetCodec::kSb, TelnetCodec::kComPort, command});
  TelnetCodec::EncodeData(value, out);
  out.insert(out.end(), {TelnetCodec::kIac, TelnetCodec::kSe});
}

void AppendLineFormat(const LineFormat& format, NetBytes& out) {
  static constexpr uint32_t kBauds[] = {256000, 115200, 57600, 38400, 19200, 9600, 2400, 1200};
  if (format.speed >= 1 && format.speed <= 8) {
    const uint32_t baud = kBauds[format.speed - 1];
    const uint8_t value[] = {static_cast<uint8_t>(baud >> 24), static_cast<uint8_t>(baud >> 16),
                             static_cast<uint8_t>(baud >> 8), static_cast<uint8_t>(baud)};
    AppendCommand(kSetBaudRate, value, out);
  }
  // Data bits: code 1 is seven, any other code eight (as on a local port).
  const uint8_t size[] = {static_cast<uint8_t>(format.data_bits == 1 ? 7 : 8)};
  AppendCommand(kSetDataSize, size, out);
  // The settings' codes (1 none, 2 even, 3 odd, 4 mark, 5 space) in RFC
  // 2217's order (1 none, 2 odd, 3 even, 4 mark, 5 space).
  static constexpr uint8_t kParity[] = {1, 3, 2, 4, 5};
  if (format.parity >= 1 && format.parity <= 5) {
    const uint8_t parity[] = {kParity[format.parity - 1]};
    AppendCommand(kSetParity, parity, out);
  }
  // Settings: 1 one, 2 one and a half, 3 two; RFC 2217: 1 one, 2 two, 3 1.5.
  static constexpr uint8_t kStop[] = {1, 3, 2};
  if (format.stop_bits >= 1 && format.stop_bits <= 3) {
    const uint8_t stop[] = {kStop[format.stop_bits - 1]};
    AppendCommand(kSetStopSize, stop, out);
  }
  for (uint8_t control : {kNoFlowControlOut, kNoFlowControlIn}) {
    const uint8_t value[] = {control};
    AppendCommand(kSetControl, value, out);
  }
  AppendControlLines(true, out);
}

void AppendControlLines(bool raised, NetBytes& out) {
  for (uint8_t control : {raised ? kDtrOn : kDtrOff, raised ? kRtsOn : kRtsOff}) {
    const uint8_t value[] = {control};
    AppendCommand(kSetControl, value, out);
  }
}

}  // namespace com_port

// --- The port ---------------------------------------------------------------

namespace {

class NetPort : public SerialPort {
 public:
  NetPort(std::unique_ptr<NetSocket> socket, bool telnet, Clock& clock)
      : socket_(std::move(socket)), telnet_(telnet), clock_(clock) {}

  // Opening requests and the wait for their answers. An empty result is
  // success.
  std::string Negotiate();

  void Configure(const LineFormat& format) override {
    if (!telnet_) return;  // a raw TCP port's server keeps its own settings
    NetBytes commands;
    com_port::AppendLineFormat(format, commands);
    Send(std::move(commands));
  }

  int QueuedInput() override {
    if (lost_) return 0;
    Pump();
    return lost_ ? 0 : static_cast<int>(inbox_.size() - next_);
  }

  int Read(uint8_t* buf, int n) override {
    if (lost_ || n <= 0) return 0;
    if (next_ == inbox_.size()) Pump();
    if (lost_) return -1;
    const int count = std::min(n, static_cast<int>(inbox_.size() - next_));
    std::copy_n(inbox_.begin() + static_cast<std::ptrdiff_t>(next_), count, buf);
    next_ += static_cast<size_t>(count);
    if (next_ == inbox_.size()) {
      inbox_.clear();
      next_ = 0;
    }
    return count;
  }

  bool Write(const uint8_t* buf, int n) override {
    if (lost_) return false;
    NetBytes bytes;
    if (telnet_) {
      TelnetCodec::EncodeData(std::span<const uint8_t>(buf, static_cast<size_t>(n)), bytes);
    } else {
      bytes.assign(buf, buf + n);
    }
    return Send(std::move(bytes), /*bounded=*/true);
  }

  int PendingOutput() const override { return lost_ ? 0 : static_cast<int>(outbox_.size()); }
  void FlushOutput() override { Flush(); }

  void Purge() override {
    if (lost_) return;
    // What was written must still reach the handheld (the EOT of an aborted
    // exchange): it goes first, as far as the socket takes it now. Writes a
    // server that stopped reading never took are dropped, but one it took a
    // part of goes whole, so that no Telnet command is cut in two. The
    // server is then told to drop what its line has brought and not sent
    // yet; what is already on its way here is dropped on arrival.
    Flush();
    outbox_.DropUnbegun();
    if (telnet_) {
      NetBytes purge;
      const uint8_t value[] = {com_port::kPurgeReceived};
      com_port::AppendCommand(com_port::kPurgeData, value, purge);
      Send(std::move(purge));
    }
    Pump();
    inbox_.clear();
    next_ = 0;
  }

  void DropControlLines() override {
    if (lost_ || !telnet_) return;
    NetBytes commands;
    com_port::AppendControlLines(false, commands);
    Send(std::move(commands));
  }

  int WaitHandle() const override { return lost_ ? -1 : socket_->Handle(); }
  bool HoldsInput() const override { return !lost_ && next_ < inbox_.size(); }
  bool Lost() const override { return lost_; }
  std::string LostReason() const override { return reason_; }

 private:
  void MarkLost(const std::string& reason) {
    if (!lost_) reason_ = reason.empty() ? "connection lost" : reason;
    lost_ = true;
  }

  // Takes what the socket has, without waiting, into the inbox (decoded),
  // and sends any answers the negotiation asks for.
  void Pump() {
    // Enough for every frame of the protocol many times over; what is
    // beyond stays in the socket until the inbox has been read.
    constexpr size_t kInboxLimit = 65536;
    uint8_t buf[4096];
    NetBytes answers;
    while (!lost_ && inbox_.size() - next_ < kInboxLimit) {
      NetSocket::Transfer t = socket_->Receive(buf, sizeof buf);
      if (t.over) {
        MarkLost(t.reason);
        break;
      }
      if (t.count <= 0) break;
      const std::span<const uint8_t> got(buf, static_cast<size_t>(t.count));
      if (telnet_) {
        codec_.Receive(got, inbox_, answers);
      } else {
        inbox_.insert(inbox_.end(), got.begin(), got.end());
      }
      if (static_cast<size_t>(t.count) < sizeof buf) break;
    }
    if (!answers.empty()) Send(std::move(answers));
  }

  // Queues |bytes| behind what is still unsent and lets the socket take
  // what it has room for now, never waiting: the rest goes as room comes
  // (FlushOutput). False when the port is lost, or when |bounded| line data
  // would take the queue beyond its bound (then nothing is queued). Telnet
  // answers and commands are never refused: they are a few bytes each.
  bool Send(NetBytes bytes, bool bounded = false) {
    if (lost_) return false;
    if (!outbox_.Push(bytes, bounded)) return false;
    Flush();
    return !lost_;
  }

  void Flush() {
    if (lost_) return;
    outbox_.Flush([this](std::span<const uint8_t> bytes) -> long {
      NetSocket::Transfer t = socket_->Send(bytes.data(), static_cast<int>(bytes.size()));
      if (t.over) {
        MarkLost(t.reason);
        return -1;
      }
      return t.count;
    });
  }

  std::unique_ptr<NetSocket> socket_;
  const bool telnet_;
  Clock& clock_;
  TelnetCodec codec_;
  NetBytes inbox_;  // decoded line data; [next_, end) not read yet
  size_t next_ = 0;
  OutputQueue outbox_;  // encoded, not taken by the socket yet
  bool lost_ = false;
  std::string reason_;
};

std::string NetPort::Negotiate() {
  if (!telnet_) return {};
  NetBytes requests;
  codec_.Begin(requests);
  if (!Send(std::move(requests))) return reason_;
  const Deadline deadline = Deadline::After(clock_.NowMs(), kNetNegotiateMs);
  while (!codec_.Settled() || !outbox_.empty()) {
    const int32_t left = deadline.WaitMs(clock_.NowMs());
    if (left <= 0) {
      if (!codec_.Settled()) return "no answer to the Telnet options (is it an RFC 2217 server?)";
      return "the server takes no data";
    }
    // The opening may wait (within its bound): nothing is served yet.
    if (!outbox_.empty()) {
      socket_->WaitWritable(left);
      Flush();
      if (lost_) return reason_;
      continue;
    }
    socket_->WaitReadable(left);
    Pump();
    if (lost_) return reason_;
  }
  if (!codec_.LocalEnabled(TelnetCodec::kComPort)) {
    return "the server refuses the COM-PORT-OPTION (RFC 2217)";
  }
  if (!codec_.LocalEnabled(TelnetCodec::kBinary) || !codec_.RemoteEnabled(TelnetCodec::kBinary)) {
    return "the server refuses Telnet BINARY transmission";
  }
  return {};
}

}  // namespace

NetOpen OpenNetPort(const NetUrl& url, std::unique_ptr<NetSocket> socket, Clock& clock) {
  NetOpen out;
  auto port =
      std::make_unique<NetPort>(std::move(socket), url.protocol == NetProtocol::kRfc2217, clock);
  std::string why = port->Negotiate();
  if (!why.empty()) {
    out.error = url.host + " port " + url.port + ": " + why;
    return out;
  }
  out.port = std::move(port);
  return out;
}

std::unique_ptr<SerialPort> OpenNetLine(const std::string& url, Clock& clock, std::string* error) {
  NetUrlParse parsed = ParseNetUrl(url);
  if (!parsed.error.empty()) {
    *error = url + ": " + parsed.error;
    return nullptr;
  }
  NetConnect connection = ConnectNetSocket(parsed.url);
  if (!connection.socket) {
    *error = url + ": " + connection.error;
    return nullptr;
  }
  NetOpen opened = OpenNetPort(parsed.url, std::move(connection.socket), clock);
  if (!opened.port) *error = url + ": " + opened.error;
  return std::move(opened.port);
}

}  // namespace kavelin2
