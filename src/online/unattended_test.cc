// The station left alone: a line whose device goes away and comes back, and
// what the log says about every exchange. The handhelds are scripted on the
// fake lines and the whole poll loop runs on the fake clock.
#include <algorithm>
#include <functional>
#include <optional>

#include "exchange/upload_fixture.h"
#include "journal/records.h"
#include "online/online.h"
#include "platform/device_path.h"

namespace kavelin2 {
namespace {

constexpr char kPoll[] = "ECRAN,SAISIE/NONBLOCANTE";
constexpr int64_t kGuardMs = 10 * 60 * 1000;

Bytes Identification(const std::string& id) {
  std::string b =
      std::string(1, static_cast<char>(RS)) + id + static_cast<char>(id[0] ^ id[1] ^ id[2]);
  return Bytes(b.begin(), b.end());
}

// The station's lines on line, until the test says stop.
class Unattended : public ProtocolTest {
 protected:
  Unattended() {
    std::strcpy(st.CurrentLanguage, "Anglais");
    std::memcpy(st.Ports.line[0].PORT, "COM1", 4);
    std::memcpy(st.Ports.line[1].PORT, "COM2", 4);
    st.Ports.line[0].VITESSE = 2;
    std::strcpy(st.Paths.TABLE, "TABLE/");
    std::strcpy(st.Paths.TRANS, "TRANS/");
    ::mkdir("TABLE", 0777);
    ::mkdir("TRANS", 0777);
    ts.ui->responder = [this](const std::string& command) -> std::optional<FakeReply> {
      if (command != kPoll) return std::nullopt;
      ++passes;
      bool stop = until ? until() : true;
      // A broken loop must not hang the test, whether the clock moves or not.
      if (ts.clock.now() > kGuardMs || passes > 100000) stop = true;
      return FakeReply{std::string(stop ? "*P*" : "*N*"), std::nullopt, std::nullopt};
    };
  }

  // The log lines ("JOURNAL,") that contain |part|.
  std::vector<std::string> Journal(const std::string& part = "") {
    std::vector<std::string> out;
    for (const std::string& c : Commands("JOURNAL,")) {
      if (c.find(part) != std::string::npos) out.push_back(c.substr(8));
    }
    return out;
  }
  std::vector<std::string> StatRecords() {
    std::string all = ReadFile("STAT.TXT");
    std::vector<std::string> out;
    for (size_t i = 0; i + kStatRecordSize <= all.size(); i += kStatRecordSize)
      out.push_back(all.substr(i, kStatRecordSize));
    return out;
  }

  int Run() { return kavelin2::PollLines(st); }
  int64_t Now() { return ts.clock.now(); }

  std::function<bool()> until;
  int passes = 0;
};

// A handheld that plays its messages one after the other, each after the
// station's ACK of the one before, and answers every frame or control byte
// the station sends in a download with the next of |answers| (the last one
// again when they run out).
void PlayHandheld(FakeLine& line, std::vector<Bytes> messages, std::vector<Bytes> answers) {
  auto next = std::make_shared<size_t>(1);
  auto answered = std::make_shared<size_t>(0);
  line.ArriveNow(messages.at(0));
  line.on_write = [=](FakeLine& l, const std::vector<uint8_t>& written) {
    if (written == Bytes{NAK}) return;
    if (written == Bytes{ACK}) {
      if (*next < messages.size()) l.ArriveNow(messages[(*next)++]);
      return;
    }
    if (answers.empty()) return;
    l.ArriveNow(answers[std::min(*answered, answers.size() - 1)]);
    ++*answered;
  };
}

// Line 1's device goes away in the middle of an upload and comes back 30 s
// later; line 2 serves a handheld meanwhile.
TEST_F(Unattended, LostLineEndsItsExchangeInErrorIsReopenedOnABackOffAndServedAgain) {
  st.Modems.line[0].PRESENT = 'O';
  std::strcpy(st.Modems.line[0].MODEM, "ATE0");
  PlayHandheld(*lines[0], {{ENQ}, HeaderFrame("CDE.001", "00003", {"04"}), DataFrame(1, "rec1")},
               {});
  lines[1]->on_write = [](FakeLine& l, const std::vector<uint8_t>& w) {
    if (w == Bytes{RS}) l.ArriveNow(Bytes{ACK});  // handheld 002 has no table
  };
  std::optional<int64_t> lost_at;
  bool back = false, again = false;
  until = [&] {
    int64_t now = Now();
    if (!lost_at && !lines[0]->lost && line(0).LineState == kStateReceiving) {
      lines[0]->Lose("hung up");
      lines[0]->present = false;  // and the device is gone from the system
    }
    if (!lost_at && line(0).Disconnected) {
      lost_at = line(0).ReopenAt.ms() - 1000;
      lines[1]->Arrive(*lost_at + 4000, Identification("002"));
    }
    if (lost_at && !back && now >= *lost_at + 30000) {
      back = true;
      lines[0]->present = true;
      // The modem answers its commands; nothing must read or wake on that.
      lines[0]->on_write = [](FakeLine& l, const std::vector<uint8_t>& w) {
        if (w.size() > 1 && w.back() == '\r') l.ArriveNow("OK\r\n");
      };
    }
    if (lost_at && !again && now >= *lost_at + 40000) {
      again = true;
      lines[0]->on_write = [](FakeLine& l, const std::vector<uint8_t>& w) {
        if (w == Bytes{RS}) l.ArriveNow(Bytes{ACK});
      };
      lines[0]->ArriveNow(Identification("001"));
    }
    return StatRecords().size() == 3 && line(0).LinePhase == kPhaseNone;
  };
  EXPECT_EQ(1, Run());
  ASSERT_TRUE(lost_at.has_value());
  const int64_t t = *lost_at;

  // The broken exchange ended in error, its partial upload gone; line 2
  // served its handheld during the outage, and line 1 did again once back.
  auto stat = StatRecords();
  ASSERT_EQ(3u, stat.size());
  EXPECT_EQ("ER 001 1", stat[0].substr(0, 8));
  EXPECT_EQ("OK 002 2", stat[1].substr(0, 8));
  EXPECT_EQ("OK 001 1", stat[2].substr(0, 8));
  EXPECT_FALSE(FileExists("RECU/..RECUFIC.1"));
  EXPECT_FALSE(FileExists("RECU/CDE.001"));
  ASSERT_FALSE(lines[1]->writes().empty());
  EXPECT_EQ(t + 4000, lines[1]->writes()[0].at_ms);

  // Opened at start, then 1 s after the loss, backing off 2, 4, 8, 10 s.
  EXPECT_EQ(
      (std::vector<int64_t>{0, t + 1000, t + 3000, t + 7000, t + 15000, t + 25000, t + 35000}),
      lines[0]->open_attempts);
  EXPECT_EQ(1, lines[0]->configures);
  EXPECT_EQ(2, lines[0]->last_config.speed);  // the line's own settings
  // The modem is initialised again without holding up the other line.
  std::vector<std::pair<int64_t, std::string>> modem;
  for (const auto& w : lines[0]->writes()) {
    if (w.bytes.size() > 1)
      modem.emplace_back(w.at_ms, std::string(w.bytes.begin(), w.bytes.end()));
  }
  EXPECT_EQ(
      (std::vector<std::pair<int64_t, std::string>>{{t + 35000, "ATZ\r"}, {t + 38000, "ATE0\r"}}),
      modem);
  // Its answers were dropped, not taken for a handheld's bytes: the station's
  // other bytes on line 1 answer the two exchanges (the EOT of the broken one
  // never reached the lost device).
  Bytes answers;
  for (const auto& w : lines[0]->writes()) {
    if (w.bytes.size() == 1) answers.push_back(w.bytes[0]);
  }
  EXPECT_EQ((Bytes{ACK, ACK, ACK, ACK, RS}), answers);

  // Said once, with the device and the reason; shown on the line.
  EXPECT_EQ(std::vector<std::string>{"Line 1: device COM1 (" + DevicePathForPort("COM1") +
                                     ") lost: hung up; it is reopened as soon as it is back"},
            Journal("lost:"));
  EXPECT_EQ(1u, Journal("open again").size());
  EXPECT_EQ(std::vector<std::string>{"Line 1, handheld 001: ER (device lost (hung up)), 1 s; "
                                     "received: none; sent: none"},
            Journal("ER ("));
  EXPECT_EQ(1u, Commands("AFFICHE, ETAT,1=DISCONNECTED").size());
  EXPECT_EQ(1u, Commands("AFFICHE, RESULTAT,1=ER device lost (hung up)").size());
  EXPECT_STREQ("OK", line(0).LastResult);
  EXPECT_STREQ("", line(0).LastReason);
  // An outage costs a pass per 100 ms at most: the loop never spins.
  EXPECT_LT(passes, static_cast<int>((Now() - 0) / 100) + 40);
}

// Line 1's handheld asks a long download and stops reading after 2000 bytes
// (its ACKs still come); line 2 uploads 20 records meanwhile.
TEST_F(Unattended, FarEndThatStopsReadingHoldsUpItsOwnLineAloneAndEndsTimedOut) {
  std::string big;
  for (int i = 0; i < 500; ++i) big += Record(static_cast<char>('a' + i % 26), 64) + "\r\n";
  WriteFile("TRANS/BIG.DAT", big);
  WriteFile("TABLE/TABLE.001", "BIG.DAT      64\r\n");
  lines[0]->room = 2000;
  PlayHandheld(*lines[0], {Identification("001")}, {{ACK}});
  std::vector<Bytes> upload = {{ENQ}, HeaderFrame("CDE.002", "00020", {"10"})};
  std::string records;
  for (int i = 1; i <= 20; ++i) {
    const std::string r = Record(static_cast<char>('A' + i), 10);
    records += r;
    upload.push_back(DataFrame(i, r));
  }
  upload.push_back({EOT});
  upload.push_back(Identification("002"));
  PlayHandheld(*lines[1], upload, {{ACK}});
  lines[1]->queue().clear();
  lines[1]->Arrive(1000, {ENQ});  // once line 1 is stuck

  int most_blocks = 0, most_pending = 0;
  std::optional<int64_t> ended_at;
  until = [&] {
    most_blocks = std::max(most_blocks, line(0).BlocksSent);
    if (line(0).PortHandle)
      most_pending = std::max(most_pending, line(0).PortHandle->PendingOutput());
    if (!ended_at && StatRecords().size() == 2 && line(0).LinePhase == kPhaseNone) {
      ended_at = Now();
      lines[0]->AddRoom(Now() + 1000, 1 << 20);  // it reads again, after the end
    }
    return ended_at && Now() >= *ended_at + 3000;
  };
  EXPECT_EQ(1, Run());
  ASSERT_TRUE(ended_at.has_value());

  // Line 2 was served in full while line 1 was stuck, at once.
  auto stat = StatRecords();
  ASSERT_EQ(2u, stat.size());
  EXPECT_EQ("OK 002 2", stat[0].substr(0, 8));
  EXPECT_EQ("TO 001 1", stat[1].substr(0, 8));
  EXPECT_EQ(records, ReadFile("RECU/CDE.002"));
  ASSERT_FALSE(lines[1]->writes().empty());
  for (const auto& w : lines[1]->writes()) EXPECT_EQ(1000, w.at_ms);

  // Line 1 timed out as on a silent line: eleven deadlines of 3 s after the
  // stall, with its ENQs kept behind the frame that could not go.
  EXPECT_EQ(1u, Journal("TO (11 time-outs in a row)").size());
  EXPECT_GE(*ended_at, 33000);
  EXPECT_LE(*ended_at, 34000);
  EXPECT_GT(most_pending, 10);
  EXPECT_LT(most_pending, 100);  // the rest of one frame and the ENQs, no more frames
  // Its handheld's ACK of the frame it never got was not taken: no block
  // was sent beyond the one stuck.
  const Bytes& out = lines[0]->written();
  const int frames = static_cast<int>(std::count(out.begin(), out.end(), STX));
  EXPECT_EQ(frames, most_blocks);
  // Once it read again it got the rest of that frame, whole and checked, and
  // nothing the purge at the end of the exchange dropped (ENQs, EOT).
  ASSERT_GT(out.size(), 2000u);
  const size_t last = out.size() - 72;
  ASSERT_EQ(STX, out[last]);
  EXPECT_EQ(ETX, out[last + 70]);
  EXPECT_EQ(FrameBcc(out.data() + last + 1, 69), out[last + 71]);
  EXPECT_EQ(0, line(0).PortHandle->PendingOutput());
  // Waiting for room never spun: a pass per 100 ms at most.
  EXPECT_LT(passes, static_cast<int>(Now() / 100) + 40);
}

// A table of thousands of entries that cannot be sent is looked through a
// few hundred entries a pass: the other line's upload goes on meanwhile, and
// the handheld gets the one file that can be sent.
TEST_F(Unattended, ATableOfThousandsOfMissingEntriesLetsTheOtherLineBeServedMeanwhile) {
  std::string table;
  for (int i = 0; i < 3000; ++i) {
    char entry[32];
    std::snprintf(entry, sizeof entry, "A%07d.DAT 64\r\n", i);
    table += entry;
  }
  table += "PRIX.DAT     64\r\n";
  WriteFile("TABLE/TABLE.001", table);
  WriteFile("TRANS/PRIX.DAT", Record('p', 64) + "\r\n");
  PlayHandheld(*lines[0], {Identification("001")}, {{ACK}});
  std::vector<Bytes> upload = {{ENQ}, HeaderFrame("CDE.002", "00020", {"10"})};
  std::string records;
  for (int i = 1; i <= 20; ++i) {
    const std::string r = Record(static_cast<char>('A' + i), 10);
    records += r;
    upload.push_back(DataFrame(i, r));
  }
  upload.push_back({EOT});
  upload.push_back(Identification("002"));
  PlayHandheld(*lines[1], upload, {{ACK}});

  int resuming_passes = 0, blocks_meanwhile = 0, last_block = line(1).NextBlockNumber;
  until = [&] {
    if (line(0).StepResumes) {
      ++resuming_passes;
      if (line(1).NextBlockNumber > last_block) ++blocks_meanwhile;
    }
    last_block = line(1).NextBlockNumber;
    return StatRecords().size() == 2 && line(0).LinePhase == kPhaseNone &&
           line(1).LinePhase == kPhaseNone;
  };
  EXPECT_EQ(1, Run());

  auto stat = StatRecords();
  ASSERT_EQ(2u, stat.size());
  for (const std::string& r : stat) EXPECT_EQ("OK", r.substr(0, 2)) << r;
  EXPECT_EQ(records, ReadFile("RECU/CDE.002"));
  // 3000 entries, 256 a pass: twelve passes, line 2 served in them.
  EXPECT_GE(resuming_passes, 3000 / 256);
  EXPECT_GT(blocks_meanwhile, 5);
  // Every entry told, the first ten in full; the file sent all the same;
  // the phase shown once, not once a pass.
  EXPECT_EQ(10u, Journal("entry 'A00000").size());
  EXPECT_EQ(1u, Journal("2990 more warnings not written ('A0000010.DAT'").size());
  const auto summary = Journal("handheld 001: OK, 3000 warnings");
  ASSERT_EQ(1u, summary.size());
  EXPECT_NE(std::string::npos, summary[0].find("PRIX.DAT (1 record")) << summary[0];
  EXPECT_LE(Commands("AFFICHE, PHASE,1=PC").size(), 2u);
}

// One summary line per exchange, whatever its end.
TEST_F(Unattended, EveryExchangeEndsWithOneSummaryLine) {
  const std::string articles =
      Record('a', 64) + "\r\n" + Record('b', 64) + "\r\n" + Record('c', 64) + "\r\n";
  struct Case {
    const char* what;
    std::vector<Bytes> messages;
    std::vector<Bytes> answers;
    const char* summary;
    bool writes_fail = false;  // the line stops taking what the station writes
  } cases[] = {
      {"a complete exchange",
       {{ENQ},
        HeaderFrame("CDE.001", "00002", {"10", "05"}),
        DataFrame(1, Record('x', 15)),
        DataFrame(2, Record('y', 15)),
        {EOT},
        Identification("001")},
       {{ACK}},
       "Line 1, handheld 001: OK, 0 s; received: CDE.001 (2 records, 30 bytes); sent: "
       "ARTICLES.DAT (3 records, 192 bytes)"},
      {"eleven NAKs of a name frame",
       {Identification("001")},
       {{ACK}, {NAK}},
       "Line 1, handheld 001: ER (11 NAKs in a row), 0 s; received: none; sent: none"},
      {"a handheld that falls silent",
       {{ENQ}},
       {},
       "Line 1, handheld ???: TO (11 time-outs in a row), 33 s; received: none; sent: none"},
      {"a refused header, then silence",
       {{ENQ}, BuildFrame(SOH, HeaderBody("../PASSWD   ", "00001", {"04"}), true)},
       {},
       "Line 1, handheld ???: TO (11 time-outs in a row; header ../PASSWD refused), 33 s; "
       "received: none; sent: none"},
      {"a line that takes no more writes",
       {{ENQ}},
       {},
       "Line 1, handheld ???: ER (write failure), 0 s; received: none; sent: none",
       true},
  };
  WriteFile("TRANS/ARTICLES.DAT", articles);
  WriteFile("TABLE/TABLE.001", "ARTICLES.DAT 64\r\n");
  st.Ports.line[1].ACTIVE = 'N';
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ts.ui->commands.clear();
    ::unlink("STAT.TXT");
    lines[0]->fail_writes = c.writes_fail;
    PlayHandheld(*lines[0], c.messages, c.answers);
    until = [&] { return FileExists("STAT.TXT") && line(0).LinePhase == kPhaseNone; };
    EXPECT_EQ(1, Run());
    EXPECT_EQ(std::vector<std::string>{c.summary}, Journal(", handheld "));
    std::string code(c.summary + std::strlen("Line 1, handheld 001: "), 2);
    EXPECT_EQ(code, ReadFile("STAT.TXT").substr(0, 2));
    EXPECT_STREQ(code.c_str(), line(0).LastResult);
    lines[0]->on_write = nullptr;
    lines[0]->queue().clear();
  }
}

// Entries that the handheld will not get are each said on the log, as are a
// handheld without a table file and an upload that could not be appended.
TEST_F(Unattended, EveryEntrySkippedAndEveryFailedAppendHasItsWarning) {
  std::strcpy(st.CurrentLanguage, "Francais");
  st.Ports.line[1].ACTIVE = 'N';
  WriteFile("TRANS/PRIX.TXT", Record('p', 20) + "\r\n");
  WriteFile("TRANS/GROS.BIN", std::string(64 * 100000, 'g'));
  WriteFile("TABLE/TABLE.001",
            "ABSENT  .TXT 20\r\n"    // missing file
            "GROS    .BIN 64 B\r\n"  // too many blocks for five digits
            "PRIX    .TXT 20\r\n");  // sent
  PlayHandheld(*lines[0], {Identification("001")}, {{ACK}});
  until = [&] { return FileExists("STAT.TXT") && line(0).LinePhase == kPhaseNone; };
  EXPECT_EQ(1, Run());
  EXPECT_EQ((std::vector<std::string>{
                "ATTENTION Ligne 1, portable 001 : entree 'ABSENT.TXT' de la table ignoree : "
                "fichier absent (TRANS/ABSENT.TXT)",
                "ATTENTION Ligne 1, portable 001 : entree 'GROS.BIN' de la table ignoree : "
                "taille impossible a envoyer (6400000 octets, blocs de '64')",
                "Ligne 1, portable 001 : OK, 2 avertissements, 0 s ; recus : aucun ; envoyes : "
                "PRIX.TXT (1 enreg., "
                "20 octets)"}),
            Journal());

  // Handheld 002 has no table file at all.
  ts.ui->commands.clear();
  ::unlink("STAT.TXT");
  PlayHandheld(*lines[0], {Identification("002")}, {{ACK}});
  EXPECT_EQ(1, Run());
  EXPECT_EQ((std::vector<std::string>{
                "ATTENTION Ligne 1, portable 002 : pas de fichier table TABLE/TABLE.002, rien a "
                "envoyer",
                "Ligne 1, portable 002 : OK, 0 s ; recus : aucun ; envoyes : aucun"}),
            Journal());

  // An upload that cannot be appended to its file (here a directory of that
  // name stands in the way) is kept under a name of its own, and said so.
  ts.ui->commands.clear();
  ::unlink("STAT.TXT");
  st.Options.APPEND = 'O';
  ::mkdir("RECU/CDE.002", 0777);
  PlayHandheld(*lines[0],
               {{ENQ},
                HeaderFrame("CDE.002", "00001", {"04"}),
                DataFrame(1, "rec1"),
                {EOT},
                Identification("002")},
               {{ACK}});
  EXPECT_EQ(1, Run());
  EXPECT_EQ("rec1", ReadFile("RECU/CDE.002.1.0001"));
  EXPECT_EQ(
      (std::vector<std::string>{
          "ATTENTION Ligne 1, portable 002 : ajout de CDE.002 impossible, fichier garde sous "
          "CDE.002.1.0001",
          "ATTENTION Ligne 1, portable 002 : pas de fichier table TABLE/TABLE.002, rien a envoyer",
          "Ligne 1, portable 002 : OK, 1 avertissement, 0 s ; recus : CDE.002 (1 enreg., 4 octets) "
          "; envoyes : "
          "aucun"}),
      Journal());
}

}  // namespace
}  // namespace kavelin2
