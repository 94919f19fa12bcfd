// The network ports' pure parts: URLs, the Telnet codec and the RFC 2217
// commands, byte for byte.
#include "platform/net_port.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

}  // namespace
}  // namespace kavelin2
