// The network ports' pure parts: URLs, the Telnet codec and the RFC 2217
// commands, byte for byte; the port over a socket that stops taking bytes.
#include "platform/net_port.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/output_queue.h"
#include "testing/fake_clock.h"

namespace kavelin2 {
namespace {

constexpr uint8_t IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250, SE = 240,
                  NOP = 241, GA = 249, DM = 242;
constexpr uint8_t BINARY = 0, ECHO = 1, SGA = 3, TTYPE = 24, COMPORT = 44;

NetBytes B(std::initializer_list<int> bytes) {
  NetBytes out;
  for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
  return out;
}

std::string Hex(const NetBytes& bytes) {
  std::string out;
  char buf[4];
  for (uint8_t b : bytes) {
    snprintf(buf, sizeof buf, "%02X ", b);
    out += buf;
  }
  return out;
}

TEST(NetUrl, EveryFormAndEveryMistake) {
  struct Case {
    const char* text;
    bool net;
    NetProtocol protocol;
    const char* host;
    const char* port;
    const char* error;  // part of the error, or nullptr when it parses
  };
  const Case cases[] = {
      {"tcp://127.0.0.1:4001", true, NetProtocol::kRawTcp, "127.0.0.1", "4001", nullptr},
      {"rfc2217://cradles.example:2000", true, NetProtocol::kRfc2217, "cradles.example", "2000",
       nullptr},
      {"TCP://Host-1:1", true, NetProtocol::kRawTcp, "Host-1", "1", nullptr},
      {"RFC2217://[::1]:65535", true, NetProtocol::kRfc2217, "::1", "65535", nullptr},
      {"tcp://[fe80::1%eth0]:07", true, NetProtocol::kRawTcp, "fe80::1%eth0", "7", nullptr},
      {"tcp://::1:4001", true, NetProtocol::kRawTcp, "", "", "in brackets"},
      {"tcp://host", true, NetProtocol::kRawTcp, "", "", "no :PORT"},
      {"tcp://host:", true, NetProtocol::kRawTcp, "", "", "1 to 65535"},
      {"tcp://host:0", true, NetProtocol::kRawTcp, "", "", "1 to 65535"},
      {"tcp://host:65536", true, NetProtocol::kRawTcp, "", "", "1 to 65535"},
      {"tcp://host:123456", true, NetProtocol::kRawTcp, "", "", "1 to 65535"},
      {"tcp://host:40a", true, NetProtocol::kRawTcp, "", "", "1 to 65535"},
      {"tcp://host:4001/", true, NetProtocol::kRawTcp, "", "", "1 to 65535"},
      {"tcp://:4001", true, NetProtocol::kRawTcp, "", "", "no host"},
      {"tcp://user@host:4001", true, NetProtocol::kRawTcp, "", "", "not a name"},
      {"tcp://a b:4001", true, NetProtocol::kRawTcp, "", "", "not a name"},
      {"tcp://[::1:4001", true, NetProtocol::kRawTcp, "", "", "closing ']'"},
      {"tcp://[::1]4001", true, NetProtocol::kRawTcp, "", "", "no :PORT"},
      {"/dev/ttyS0", false, NetProtocol::kRawTcp, "", "", "not a network port"},
      {"telnet://host:23", false, NetProtocol::kRawTcp, "", "", "not a network port"},
      {"tcp:/host:1", false, NetProtocol::kRawTcp, "", "", "not a network port"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.net, IsNetUrl(c.text));
    NetUrlParse p = ParseNetUrl(c.text);
    if (c.error == nullptr) {
      EXPECT_EQ("", p.error);
      EXPECT_EQ(c.protocol, p.url.protocol);
      EXPECT_EQ(c.host, p.url.host);
      EXPECT_EQ(c.port, p.url.port);
    } else {
      EXPECT_NE(std::string::npos, p.error.find(c.error)) << p.error;
    }
  }
}

TEST(TelnetCodec, DataOutHasEveryIacDoubledAndNothingElseChanged) {
  NetBytes all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<uint8_t>(b));
  NetBytes out;
  TelnetCodec::EncodeData(all, out);
  ASSERT_EQ(257u, out.size());
  EXPECT_EQ(NetBytes(all.begin(), all.end() - 1), NetBytes(out.begin(), out.end() - 2));
  EXPECT_EQ(B({IAC, IAC}), NetBytes(out.end() - 2, out.end()));
  // Decoded again, in pieces of every size, it is the same 256 bytes.
  for (size_t piece = 1; piece <= out.size(); ++piece) {
    TelnetCodec codec;
    NetBytes data, answers;
    for (size_t i = 0; i < out.size(); i += piece) {
      codec.Receive(std::span(out).subspan(i, std::min(piece, out.size() - i)), data, answers);
    }
    EXPECT_EQ(all, data) << "pieces of " << piece;
    EXPECT_TRUE(answers.empty());
  }
}

// What the server sends, cut into reads as the network may cut it, and what
// must come of it: line data, answers, the speed the server reports.
TEST(TelnetCodec, CommandsAreRemovedWhereverTheReadsAreCut) {
  struct Case {
    const char* what;
    std::vector<NetBytes> reads;
    NetBytes data;
    NetBytes answers;
    std::optional<uint32_t> baud;
  };
  const Case cases[] = {
      {"plain bytes, CR LF NUL", {B({'a', 13, 10, 0, 'b'})}, B({'a', 13, 10, 0, 'b'}), {}, {}},
      {"doubled IAC split", {B({'x', IAC}), B({IAC, 'y'})}, B({'x', IAC, 'y'}), {}, {}},
      {"NOP GA DM and stray SE",
       {B({1, IAC, NOP, 2, IAC, GA, IAC}), B({DM, 3, IAC, SE, 4})},
       B({1, 2, 3, 4}),
       {},
       {}},
      {"baud reply, one read",
       {B({'a', IAC, SB, COMPORT, 101, 0, 1, 0xC2, 0, IAC, SE, 'b'})},
       B({'a', 'b'}),
       {},
       115200},
      {"baud reply, a byte per read",
       {B({IAC}), B({SB}), B({COMPORT}), B({101}), B({0}), B({0}), B({0x25}), B({0x80}), B({IAC}),
        B({SE}), B({'z'})},
       B({'z'}),
       {},
       9600},
      {"IAC doubled inside a subnegotiation",
       {B({IAC, SB, COMPORT, 101, 0, IAC}), B({IAC, 0, IAC, IAC, IAC, SE, 5})},
       B({5}),
       {},
       0x00FF00FFu},
      {"other replies and notifications ignored",
       {B({IAC, SB, COMPORT, 106, 0x60, IAC, SE, IAC, SB, COMPORT, 107, 0x30, IAC, SE, 7})},
       B({7}),
       {},
       {}},
      {"subnegotiation cut short by a command",
       {B({IAC, SB, COMPORT, 106, 1, 2, IAC, WILL, ECHO, 'k'})},
       B({'k'}),
       B({IAC, DONT, ECHO}),
       {}},
      {"overlong subnegotiation skipped",
       {[] {
         NetBytes b = B({IAC, SB, COMPORT, 101});
         b.insert(b.end(), 200, 1);
         b.insert(b.end(), {IAC, SE, 'q'});
         return b;
       }()},
       B({'q'}),
       {},
       {}},
      {"negotiation split",
       {B({'a', IAC}), B({DO}), B({TTYPE, 'b'})},
       B({'a', 'b'}),
       B({IAC, WONT, TTYPE}),
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TelnetCodec codec;
    NetBytes data, answers;
    for (const NetBytes& r : c.reads) codec.Receive(r, data, answers);
    EXPECT_EQ(Hex(c.data), Hex(data));
    EXPECT_EQ(Hex(c.answers), Hex(answers));
    EXPECT_EQ(c.baud, codec.ReportedBaud());
  }
}

// Each negotiation, after the opening requests, and the one answer it gets.
TEST(TelnetCodec, EachNegotiationIsAnsweredOnceAndOnlyWhenItChangesSomething) {
  struct Case {
    const char* what;
    NetBytes in;
    NetBytes answers;
    bool settled;
    bool local_binary, remote_binary, com_port;
  };
  const NetBytes agree = B({IAC, DO, BINARY, IAC, WILL, BINARY, IAC, DO, COMPORT});
  const Case cases[] = {
      {"nothing answered yet", {}, {}, false, false, false, false},
      {"all agreed: no answer to answers", agree, {}, true, true, true, true},
      {"agreed twice: still no answer",
       [&] {
         NetBytes b = agree;
         b.insert(b.end(), agree.begin(), agree.end());
         return b;
       }(),
       {},
       true,
       true,
       true,
       true},
      {"COM-PORT refused",
       B({IAC, DO, BINARY, IAC, WILL, BINARY, IAC, DONT, COMPORT}),
       {},
       true,
       true,
       true,
       false},
      {"binary refused both ways",
       B({IAC, DONT, BINARY, IAC, WONT, BINARY, IAC, DO, COMPORT}),
       {},
       true,
       false,
       false,
       true},
      {"binary taken back later",
       [&] {
         NetBytes b = agree;
         b.insert(b.end(), {IAC, WONT, BINARY, IAC, WONT, BINARY, IAC, DONT, BINARY});
         return b;
       }(),
       B({IAC, DONT, BINARY, IAC, WONT, BINARY}), true, false, false, true},
      {"taken back, then offered again",
       [&] {
         NetBytes b = agree;
         b.insert(b.end(), {IAC, WONT, BINARY, IAC, WILL, BINARY});
         return b;
       }(),
       B({IAC, DONT, BINARY, IAC, DO, BINARY}), true, true, true, true},
      {"options not needed are refused, once each time asked",
       B({IAC,   WILL, ECHO, IAC,     DO,  SGA,  IAC,  WILL, SGA,  IAC,  DO,
          TTYPE, IAC,  WILL, COMPORT, IAC, WONT, ECHO, IAC,  DONT, TTYPE}),
       B({IAC, DONT, ECHO, IAC, WONT, SGA, IAC, DONT, SGA, IAC, WONT, TTYPE, IAC, DONT, COMPORT}),
       false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TelnetCodec codec;
    NetBytes opening;
    codec.Begin(opening);
    EXPECT_EQ(Hex(B({IAC, WILL, BINARY, IAC, DO, BINARY, IAC, WILL, COMPORT})), Hex(opening));
    NetBytes data, answers;
    codec.Receive(c.in, data, answers);
    EXPECT_TRUE(data.empty());
    EXPECT_EQ(Hex(c.answers), Hex(answers));
    EXPECT_EQ(c.settled, codec.Settled());
    EXPECT_EQ(c.local_binary, codec.LocalEnabled(BINARY));
    EXPECT_EQ(c.remote_binary, codec.RemoteEnabled(BINARY));
    EXPECT_EQ(c.com_port, codec.LocalEnabled(COMPORT));
  }
}

// A server that takes every answer of ours for a new request and answers it
// in kind (WILL for DO, DO for WILL...) must fall silent: the exchange of
// negotiations ends.
TEST(TelnetCodec, AnEchoingServerCannotStartALoop) {
  TelnetCodec codec;
  NetBytes to_server;
  codec.Begin(to_server);
  // And requests of its own for options we refuse.
  NetBytes from_server = B({IAC, WILL, ECHO, IAC, DO, SGA, IAC, WILL, COMPORT});
  int rounds = 0;
  while (!to_server.empty() || !from_server.empty()) {
    ASSERT_LT(++rounds, 5) << Hex(to_server);
    NetBytes echoed = from_server;
    for (size_t i = 0; i + 2 < to_server.size(); i += 3) {
      const uint8_t verb = to_server[i + 1];
      const uint8_t mirror = verb == DO ? WILL : verb == WILL ? DO : verb == DONT ? WONT : DONT;
      echoed.insert(echoed.end(), {IAC, mirror, to_server[i + 2]});
    }
    to_server.clear();
    from_server.clear();
    NetBytes data;
    codec.Receive(echoed, data, to_server);
    EXPECT_TRUE(data.empty());
  }
  EXPECT_TRUE(codec.Settled());
  EXPECT_TRUE(codec.LocalEnabled(BINARY));
  EXPECT_TRUE(codec.RemoteEnabled(BINARY));
  EXPECT_TRUE(codec.LocalEnabled(COMPORT));
  EXPECT_FALSE(codec.RemoteEnabled(ECHO));
  EXPECT_FALSE(codec.LocalEnabled(SGA));
  EXPECT_FALSE(codec.RemoteEnabled(COMPORT));
}

NetBytes Sub(uint8_t command, NetBytes value) {
  NetBytes b = B({IAC, SB, COMPORT, command});
  b.insert(b.end(), value.begin(), value.end());
  b.insert(b.end(), {IAC, SE});
  return b;
}

// Every code of the settings file, and codes outside the tables, as the
// commands that carry them.
TEST(ComPort, LineFormatsBecomeTheirCommands) {
  struct Case {
    LineFormat format;
    NetBytes commands;
  };
  const NetBytes tail = [] {
    NetBytes b = Sub(5, {1});
    for (uint8_t c : {14, 8, 11}) {
      NetBytes s = Sub(5, {c});
      b.insert(b.end(), s.begin(), s.end());
    }
    return b;
  }();
  auto cat = [&](std::vector<NetBytes> parts) {
    NetBytes b;
    for (const NetBytes& p : parts) b.insert(b.end(), p.begin(), p.end());
    b.insert(b.end(), tail.begin(), tail.end());
    return b;
  };
  const Case cases[] = {
      {{1, 2, 1, 1}, cat({Sub(1, {0, 3, 0xE8, 0}), Sub(2, {8}), Sub(3, {1}), Sub(4, {1})})},
      {{2, 1, 2, 2}, cat({Sub(1, {0, 1, 0xC2, 0}), Sub(2, {7}), Sub(3, {3}), Sub(4, {3})})},
      {{3, 0, 3, 3}, cat({Sub(1, {0, 0, 0xE1, 0}), Sub(2, {8}), Sub(3, {2}), Sub(4, {2})})},
      {{4, 2, 4, 1}, cat({Sub(1, {0, 0, 0x96, 0}), Sub(2, {8}), Sub(3, {4}), Sub(4, {1})})},
      {{5, 2, 5, 1}, cat({Sub(1, {0, 0, 0x4B, 0}), Sub(2, {8}), Sub(3, {5}), Sub(4, {1})})},
      {{6, 2, 1, 1}, cat({Sub(1, {0, 0, 0x25, 0x80}), Sub(2, {8}), Sub(3, {1}), Sub(4, {1})})},
      {{7, 2, 1, 1}, cat({Sub(1, {0, 0, 0x09, 0x60}), Sub(2, {8}), Sub(3, {1}), Sub(4, {1})})},
      {{8, 2, 1, 1}, cat({Sub(1, {0, 0, 0x04, 0xB0}), Sub(2, {8}), Sub(3, {1}), Sub(4, {1})})},
      // Outside the tables: speed, parity and stop bits left as they are.
      {{0, 9, 0, 4}, cat({Sub(2, {8})})},
      {{9, 1, 6, -1}, cat({Sub(2, {7})})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.format.speed << "/" << c.format.data_bits << "/"
                                    << c.format.parity << "/" << c.format.stop_bits);
    NetBytes out;
    com_port::AppendLineFormat(c.format, out);
    EXPECT_EQ(Hex(c.commands), Hex(out));
  }
  // A value byte of 0xFF is doubled inside its subnegotiation.
  NetBytes out;
  const uint8_t value[] = {0, 0xFF, 1};
  com_port::AppendCommand(12, value, out);
  EXPECT_EQ(Hex(B({IAC, SB, COMPORT, 12, 0, IAC, IAC, 1, IAC, SE})), Hex(out));
  out.clear();
  com_port::AppendControlLines(false, out);
  NetBytes drop = Sub(5, {9});
  NetBytes rts = Sub(5, {12});
  drop.insert(drop.end(), rts.begin(), rts.end());
  EXPECT_EQ(Hex(drop), Hex(out));
}

// A connected socket whose peer takes |room| bytes, then none until given
// more; it answers the Telnet opening as a willing RFC 2217 server does.
class FakeSocket : public NetSocket {
 public:
  struct Peer {
    long room = 1 << 20;
    NetBytes taken;    // what reached the server, in order
    NetBytes to_send;  // what the server sends next
    int waits_for_room = 0;
  };
  explicit FakeSocket(std::shared_ptr<Peer> peer) : peer_(std::move(peer)) {}
  Transfer Receive(uint8_t* buf, int n) override {
    const int k = std::min<int>(n, static_cast<int>(peer_->to_send.size()));
    std::copy_n(peer_->to_send.begin(), k, buf);
    peer_->to_send.erase(peer_->to_send.begin(), peer_->to_send.begin() + k);
    return Transfer::Moved(k);
  }
  Transfer Send(const uint8_t* buf, int n) override {
    const int k = static_cast<int>(std::min<long>(n, peer_->room));
    peer_->room -= k;
    peer_->taken.insert(peer_->taken.end(), buf, buf + k);
    // The server agrees to every request of the opening.
    for (int i = 0; i + 2 < k; ++i) {
      if (buf[i] != IAC || buf[i + 1] < WILL || buf[i + 1] > DO) continue;
      const uint8_t answer = buf[i + 1] == WILL ? DO : WILL;
      peer_->to_send.insert(peer_->to_send.end(), {IAC, answer, buf[i + 2]});
      i += 2;
    }
    return Transfer::Moved(k);
  }
  bool WaitWritable(int32_t) override {
    ++peer_->waits_for_room;
    return peer_->room > 0;
  }
  bool WaitReadable(int32_t) override { return !peer_->to_send.empty(); }
  int Handle() const override { return 7; }

 private:
  std::shared_ptr<Peer> peer_;
};

// Raw TCP and Telnet alike: a write never waits for room; what the socket
// refuses is pending, in order, up to the bound; the rest goes as room
// comes; a purge drops writes not begun but ends a begun one whole, so that
// no Telnet command or doubled 0xFF is cut.
TEST(NetPort, WritesNeverWaitAndAPurgeNeverCutsACommand) {
  for (const bool telnet : {false, true}) {
    SCOPED_TRACE(telnet ? "rfc2217" : "tcp");
    FakeClock clock;
    auto peer = std::make_shared<FakeSocket::Peer>();
    NetUrl url{telnet ? NetProtocol::kRfc2217 : NetProtocol::kRawTcp, "cradles", "2000"};
    NetOpen open = OpenNetPort(url, std::make_unique<FakeSocket>(peer), clock);
    ASSERT_NE(nullptr, open.port) << open.error;
    SerialPort& port = *open.port;
    const size_t opening = peer->taken.size();

    // A frame whose 0xFF is doubled by Telnet; the peer takes 5 bytes of it.
    const NetBytes frame = B({0x02, 'a', 0xFF, 'b', 0x03, 0x7A});
    const NetBytes wire = telnet ? B({0x02, 'a', 0xFF, 0xFF, 'b', 0x03, 0x7A}) : frame;
    peer->room = 3;
    const int64_t before = clock.now();
    ASSERT_TRUE(port.Write(frame.data(), static_cast<int>(frame.size())));
    EXPECT_EQ(before, clock.now());
    EXPECT_EQ(0, peer->waits_for_room);
    EXPECT_EQ(static_cast<int>(wire.size()) - 3, port.PendingOutput());
    // More writes queue behind it, up to the bound, and one beyond is refused.
    const NetBytes enq = B({0x05});
    int queued = 0;
    while (port.Write(enq.data(), 1)) ++queued;
    EXPECT_EQ(static_cast<int>(OutputQueue::kLimit - (wire.size() - 3)), queued);
    EXPECT_EQ(static_cast<int>(OutputQueue::kLimit), port.PendingOutput());
    EXPECT_FALSE(port.Lost());
    // Room for two more bytes: they go with the next flush, in order.
    peer->room = 2;
    port.FlushOutput();
    EXPECT_EQ(NetBytes(wire.begin(), wire.begin() + 5),
              NetBytes(peer->taken.begin() + static_cast<long>(opening), peer->taken.end()));

    // The exchange ends: the ENQs never begun are dropped, the frame goes
    // whole, then (Telnet) the purge of the server's buffer.
    port.Purge();
    peer->room = 1 << 20;
    port.FlushOutput();
    EXPECT_EQ(0, port.PendingOutput());
    NetBytes expected = wire;
    if (telnet) {
      const uint8_t value[] = {com_port::kPurgeReceived};
      com_port::AppendCommand(com_port::kPurgeData, value, expected);
    }
    EXPECT_EQ(Hex(expected),
              Hex(NetBytes(peer->taken.begin() + static_cast<long>(opening), peer->taken.end())));
    // And the port serves on: a new write goes at once.
    ASSERT_TRUE(port.Write(enq.data(), 1));
    EXPECT_EQ(0x05, peer->taken.back());
    EXPECT_EQ(0, port.PendingOutput());
  }
}

}  // namespace
}  // namespace kavelin2
