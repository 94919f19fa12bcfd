// OpenLines, CloseLines and InitModems against fake lines, a fake clock and
// the recording UI runtime.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "line/line.h"
#include "station/station.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

using Commands = std::vector<std::string>;

struct Language {
  const char* name;
  const char* inactive;     // phase word of an inactive line
  const char* unavailable;  // message for COM3
  const char* waiting;      // phase word of a waiting line
};

const Language kLanguages[] = {
    {"Francais", "INACTIF", "ERREUR, Port COM3 indisponible.", "ATTENTE"},
    {"Anglais", "OFF LINE", "ERREUR, Unvailable port COM3.", "WAITING"},
    {"Espagnol", "DESACTIVADO", "ERREUR, Puerto COM3 inalienable.", "ESPERA"},
};

class Lines : public ::testing::TestWithParam<Language> {
 protected:
  void SetUp() override {
    std::strcpy(t.st.CurrentLanguage, GetParam().name);
    SetLine(0, 'O', "COM1", 'N');
    SetLine(1, 'O', "COM2", 'N');
  }
  void SetLine(int i, char active, const char* port, char modem) {
    PortEntry& p = t.st.Ports.line[i];
    p.ACTIVE = active;
    std::memset(p.PORT, 0, sizeof p.PORT);
    std::memcpy(p.PORT, port, std::min(std::strlen(port), sizeof p.PORT));
    p.VITESSE = 2;
    p.DONNEES = 2;
    p.PARITE = 1;
    p.STOPBIT = 1;
    p.IRDA = 'N';
    t.st.Modems.line[i].PRESENT = modem;
  }
  std::string Phase(int n, const char* word) {
    return "AFFICHE, PHASE," + std::to_string(n) + "=" + word;
  }
  const Commands& commands() { return t.ui->commands; }
  std::string LogLine(const std::string& port) {
    std::string name = GetParam().name;
    const char* text = name == "Francais"  ? "Port %s indisponible: ?"
                       : name == "Anglais" ? "Unavailable port %s: ?"
                                           : "Puerto %s no disponible: ?";
    char line[64];
    std::snprintf(line, sizeof line, text, port.c_str());
    return std::string("JOURNAL,") + line;
  }

  TestStation t;
  FakeLine& com1 = t.serial.AddLine("COM1");
  FakeLine& com2 = t.serial.AddLine("COM2");
};

TEST_P(Lines, BothInactiveShowsBothPhasesAndOpensNothing) {
  t.st.Ports.line[0].ACTIVE = 'N';
  t.st.Ports.line[1].ACTIVE = 0;
  EXPECT_EQ(1, OpenLines(t.st));
  EXPECT_EQ((Commands{Phase(1, GetParam().inactive), Phase(2, GetParam().inactive)}), commands());
  EXPECT_TRUE(t.serial.opened().empty());
}

TEST_P(Lines, InactiveFirstLineAndActiveSecondLine) {
  t.st.Ports.line[0].ACTIVE = 'N';
  t.st.Ports.line[1].VITESSE = 7;
  EXPECT_EQ(1, OpenLines(t.st));
  EXPECT_EQ((Commands{Phase(1, GetParam().inactive), "AFFICHE, ETATIMG2=CONNECT.BMP"}), commands());
  EXPECT_EQ((std::vector<std::string>{"COM2"}), t.serial.opened());
  EXPECT_TRUE(com2.is_open);
  EXPECT_EQ(1, com2.configures);
  EXPECT_EQ(7, com2.last_config.speed);
  EXPECT_EQ(1, com2.purges);
  EXPECT_FALSE(com1.is_open);
}

TEST_P(Lines, MissingFirstPortShowsItsNameAndLeavesTheSecondAlone) {
  SetLine(0, 'O', "COM3", 'N');
  EXPECT_EQ(0, OpenLines(t.st));
  // The box, then the log line that says why (the fake system cannot tell).
  EXPECT_EQ((Commands{GetParam().unavailable, LogLine("COM3")}), commands());
  EXPECT_TRUE(t.serial.opened().empty());
  EXPECT_FALSE(com2.is_open);
  EXPECT_EQ(nullptr, t.st.LineTable[0].PortHandle);
}

TEST_P(Lines, MissingSecondPortLeavesTheFirstOpenUntilCloseLines) {
  SetLine(1, 'O', "COM3", 'O');
  t.st.Modems.line[0].PRESENT = 'O';
  EXPECT_EQ(0, OpenLines(t.st));
  EXPECT_EQ((Commands{"AFFICHE, ETATIMG1=MODEM.BMP", GetParam().unavailable, LogLine("COM3")}),
            commands());
  EXPECT_TRUE(com1.is_open);
  EXPECT_EQ(1, com1.configures);
  CloseLines(t.st);
  EXPECT_FALSE(com1.is_open);
  EXPECT_TRUE(com1.control_lines_dropped);
  EXPECT_EQ(2, com1.purges);
  EXPECT_EQ(nullptr, t.st.LineTable[0].PortHandle);
}

INSTANTIATE_TEST_SUITE_P(ThreeLanguages, Lines, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) { return std::string(info.param.name); });

class OpenAndClose : public Lines {};

TEST_P(OpenAndClose, BothLinesOpenConfiguredPurgedAndClosed) {
  t.st.Ports.line[0].PARITE = 3;
  EXPECT_EQ(1, OpenLines(t.st));
  EXPECT_EQ((Commands{"AFFICHE, ETATIMG1=CONNECT.BMP", "AFFICHE, ETATIMG2=CONNECT.BMP"}),
            commands());
  EXPECT_EQ(3, com1.last_config.parity);
  EXPECT_EQ(1, com2.last_config.parity);
  com1.ArriveNow("stale");
  CloseLines(t.st);
  for (FakeLine* l : {&com1, &com2}) {
    EXPECT_FALSE(l->is_open);
    EXPECT_TRUE(l->control_lines_dropped);
    EXPECT_EQ(2, l->purges);
  }
  EXPECT_TRUE(com1.queue().empty());
}

TEST_P(OpenAndClose, PortInUseIsUnavailable) {
  auto other = t.serial.Open("COM1");  // another program holds it
  EXPECT_EQ(0, OpenLines(t.st));
  EXPECT_EQ(1u, t.ui->CommandsStartingWith("ERREUR, ").size());
  EXPECT_EQ(0, com1.configures);
}

TEST_P(OpenAndClose, FiveCharacterPortNameWithoutTerminatorIsUsedWhole) {
  SetLine(0, 'O', "COM12", 'N');
  t.serial.AddLine("COM12");
  EXPECT_EQ(1, OpenLines(t.st));
  EXPECT_EQ("COM12", t.serial.opened().at(0));
}

TEST_P(OpenAndClose, GoingOnLineAgainWithoutClosingStillOpens) {
  EXPECT_EQ(1, OpenLines(t.st));
  EXPECT_EQ(1, OpenLines(t.st));
  EXPECT_TRUE(com1.is_open);
  EXPECT_EQ(2, com1.configures);
}

TEST_P(OpenAndClose, CloseLinesClosesAPortWhoseLineWasSinceMadeInactive) {
  EXPECT_EQ(1, OpenLines(t.st));
  t.st.Ports.line[1].ACTIVE = 'N';
  CloseLines(t.st);
  EXPECT_FALSE(com2.is_open);
  CloseLines(t.st);  // nothing left to close
}

INSTANTIATE_TEST_SUITE_P(French, OpenAndClose, ::testing::Values(kLanguages[0]),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OpenLinesLanguage, UnknownLanguageShowsNoMessageButStillOpens) {
  TestStation t;
  FakeLine& com1 = t.serial.AddLine("COM1");
  std::strcpy(t.st.CurrentLanguage, "Deutsch");
  t.st.Ports.line[0].ACTIVE = 'O';
  std::memcpy(t.st.Ports.line[0].PORT, "COM1", 4);
  t.st.Ports.line[1].ACTIVE = 'N';
  EXPECT_EQ(1, OpenLines(t.st));
  EXPECT_EQ((Commands{"AFFICHE, ETATIMG1=CONNECT.BMP"}), t.ui->commands);
  EXPECT_TRUE(com1.is_open);
}

// InitModems: the UI commands with the fake time at which each was sent.
class Modems : public Lines {
 protected:
  void SetUp() override {
    Lines::SetUp();
    t.ui->responder = [this](const std::string& command) -> std::optional<FakeReply> {
      timed.push_back(std::to_string(t.clock.now()) + " " + command);
      return std::nullopt;
    };
  }
  void Open() {
    ASSERT_EQ(1, OpenLines(t.st));
    timed.clear();
    t.ui->commands.clear();
    com1.TakeWritten();
    com2.TakeWritten();
  }
  std::string At(int64_t ms, const std::string& command) {
    return std::to_string(ms) + " " + command;
  }
  std::vector<std::string> timed;
};

TEST_P(Modems, NoModemOnEitherLineShowsWaitingAndPurges) {
  Open();
  t.st.CurrentLine = 1;
  InitModems(t.st);
  EXPECT_EQ((Commands{At(0, Phase(1, GetParam().waiting)), At(0, Phase(2, GetParam().waiting))}),
            timed);
  EXPECT_TRUE(com1.written().empty());
  EXPECT_TRUE(com2.written().empty());
  EXPECT_EQ(2, com1.purges);
  EXPECT_EQ(2, com2.purges);
  EXPECT_EQ(0, t.st.CurrentLine);
}

TEST_P(Modems, ModemWithoutCommandGetsOnlyTheReset) {
  t.st.Modems.line[0].PRESENT = 'O';
  Open();
  com1.Arrive(200, std::vector<uint8_t>{'O', 'K', '\r', '\n'});  // dropped by the purge
  InitModems(t.st);
  EXPECT_EQ((Commands{At(0, "AFFICHE, PHASE,1=MODEM"), At(3000, Phase(1, GetParam().waiting)),
                      At(3000, Phase(2, GetParam().waiting))}),
            timed);
  ASSERT_EQ(1u, com1.writes().size());
  EXPECT_EQ((std::vector<uint8_t>{0x41, 0x54, 0x5A, 0x0D}), com1.writes()[0].bytes);
  EXPECT_EQ(0, com1.writes()[0].at_ms);
  EXPECT_TRUE(com1.queue().empty());
  EXPECT_EQ(0, t.st.LineTable[0].FrameChecked);
  EXPECT_EQ(4, t.st.LineTable[0].FrameLength);
}

TEST_P(Modems, ModemWithCommandGetsResetThenCommandThenAWait) {
  t.st.Modems.line[1].PRESENT = 'O';
  std::strcpy(t.st.Modems.line[1].MODEM, "ATS0=1");
  Open();
  InitModems(t.st);
  EXPECT_EQ((Commands{At(0, Phase(1, GetParam().waiting)), At(0, "AFFICHE, PHASE,2=MODEM"),
                      At(4000, Phase(2, GetParam().waiting))}),
            timed);
  ASSERT_EQ(2u, com2.writes().size());
  EXPECT_EQ(0, com2.writes()[0].at_ms);
  EXPECT_EQ(3000, com2.writes()[1].at_ms);
  EXPECT_EQ(std::string("ATZ\rATS0=1\r"),
            std::string(com2.written().begin(), com2.written().end()));
  EXPECT_TRUE(com1.written().empty());
  // CurrentLine is back at 0 although only line 2 had a modem.
  EXPECT_EQ(0, t.st.CurrentLine);
}

INSTANTIATE_TEST_SUITE_P(ThreeLanguages, Modems, ::testing::ValuesIn(kLanguages),
                         [](const auto& info) { return std::string(info.param.name); });

class ModemTimings : public Modems {};

TEST_P(ModemTimings, InfraredAddsItsPauseBeforeEachCommand) {
  t.st.Ports.line[0].IRDA = 'O';
  t.st.Modems.line[0].PRESENT = 'O';
  std::strcpy(t.st.Modems.line[0].MODEM, "AT&F");
  Open();
  InitModems(t.st);
  ASSERT_EQ(2u, com1.writes().size());
  EXPECT_EQ(10, com1.writes()[0].at_ms);
  EXPECT_EQ(3020, com1.writes()[1].at_ms);
  EXPECT_EQ(At(4020, "AFFICHE, PHASE,1=ATTENTE"), timed.at(1));
}

TEST_P(ModemTimings, BothModemsAreInitialisedInTurn) {
  for (int i = 0; i < 2; ++i) {
    t.st.Modems.line[i].PRESENT = 'O';
    std::strcpy(t.st.Modems.line[i].MODEM, "ATE0");
  }
  Open();
  InitModems(t.st);
  EXPECT_EQ((Commands{At(0, "AFFICHE, PHASE,1=MODEM"), At(4000, "AFFICHE, PHASE,1=ATTENTE"),
                      At(4000, "AFFICHE, PHASE,2=MODEM"), At(8000, "AFFICHE, PHASE,2=ATTENTE")}),
            timed);
  EXPECT_EQ(4000, com2.writes().at(0).at_ms);
  EXPECT_EQ(8000, t.clock.slept());
}

TEST_P(ModemTimings, LongestModemCommandWithoutTerminatorIsSentWhole) {
  t.st.Modems.line[0].PRESENT = 'O';
  std::memset(t.st.Modems.line[0].MODEM, 'X', sizeof t.st.Modems.line[0].MODEM);
  Open();
  InitModems(t.st);
  ASSERT_EQ(2u, com1.writes().size());
  std::vector<uint8_t> expected(31, 'X');
  expected.push_back('\r');
  EXPECT_EQ(expected, com1.writes()[1].bytes);
}

TEST_P(ModemTimings, InactiveLineIsLeftAlone) {
  t.st.Ports.line[0].ACTIVE = 'N';
  t.st.Modems.line[0].PRESENT = 'O';
  Open();
  InitModems(t.st);
  EXPECT_EQ((Commands{At(0, "AFFICHE, PHASE,2=ATTENTE")}), timed);
  EXPECT_FALSE(com1.is_open);
  EXPECT_EQ(0, t.clock.slept());
}

INSTANTIATE_TEST_SUITE_P(French, ModemTimings, ::testing::Values(kLanguages[0]),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavelin2
