// A station with line 1 open on a fake line and the directories of tables and
// of files to transmit ready, for the download and supervision tests. The
// handheld's part is played by the test: it puts bytes on the line and calls
// the handler the dispatcher would call.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "exchange/exchange.h"
#include "exchange/supervision.h"
#include "line/line.h"
#include "station/station.h"
#include "testing/test_station.h"
#include "wire/codec.h"

namespace kavelin2 {

class DownloadFixture : public ::testing::Test {
 protected:
  DownloadFixture() : line(ts.serial.AddLine("COM1")) {
    ts.st.LineTable[0].PortHandle = ts.serial.Open("COM1");
    std::strcpy(ts.st.Paths.TABLE, "tables/");
    std::strcpy(ts.st.Paths.TRANS, "trans/");
    std::strcpy(ts.st.Paths.RECU, "recu/");
    ::mkdir("tables", 0777);
    ::mkdir("trans", 0777);
    ::mkdir("recu", 0777);
    std::strcpy(ts.st.CurrentLanguage, "Francais");
    ts.st.Options = FileOptions{'N', 'N', 'N', 'N', 'N', 'N'};
    ts.st.Schedule.SELFIN = 'N';
    ts.st.CurrentLine = 0;
  }

  LineEntry& L() { return ts.st.LineTable[ts.st.CurrentLine]; }

  // What the dispatcher does before an exchange handler: the stamp of the
  // exchange (normally taken at the first ENQ or RS).
  void Stamp() {
    std::memcpy(L().ExchangeDate, "12/06/26", 9);
    std::memcpy(L().ExchangeTime, "09:15:02", 9);
    L().ExchangeStart = ts.clock.NowSeconds();
  }

  // RS has been taken by the dispatcher; the identification follows.
  void Identify(const std::string& id) {
    std::string bytes = id;
    bytes.push_back(static_cast<char>(XorBytes(reinterpret_cast<const uint8_t*>(id.data()), 3)));
    line.ArriveNow(bytes);
    L().EnqCount = 0;
    StartDownload(ts.st);
  }

  // An ACK of the handheld as the dispatcher hands it over.
  std::string Ack() {
    L().EnqCount = 0;
    DownloadStep(ts.st);
    return Sent();
  }

  std::string Nak() {
    L().EnqCount = 0;
    HandleNak(ts.st);
    return Sent();
  }

  // What the station wrote since the last look.
  std::string Sent() {
    auto bytes = line.TakeWritten();
    return std::string(bytes.begin(), bytes.end());
  }

  static std::string Frame(uint8_t lead, const std::string& body) {
    auto f = BuildFrame(lead, body, true);
    return std::string(f.begin(), f.end());
  }
  static std::string Byte(uint8_t b) { return std::string(1, static_cast<char>(b)); }

  // Acknowledges every frame until the exchange ends; returns each answer.
  std::vector<std::string> AckToTheEnd(int limit = 1000) {
    std::vector<std::string> answers;
    while (L().LineState != kStateIdle && limit-- > 0) answers.push_back(Ack());
    return answers;
  }

  std::vector<std::string> Commands(const std::string& prefix) {
    return ts.ui->CommandsStartingWith(prefix);
  }

  TestStation ts;
  FakeLine& line;
};

}  // namespace kavelin2
