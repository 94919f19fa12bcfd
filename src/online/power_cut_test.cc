// Power cuts at every file call of the station's durable steps. Each step
// runs on the fake file system with the power cut before its k-th call (and
// once after its last), and for each cut several sets of what was not synced
// survive: none, all, and random subsets. A new station then starts on what
// is left, the handheld (played here byte by byte) does again what it had no
// answer for, and what must hold after any power cut is checked:
//   - an upload whose end of file was acknowledged is in its target exactly
//     once and byte-exact, or kept aside with its warning;
//   - nothing is removed that the handheld did not receive whole, and a
//     download whose record is in the result log has its removals durable;
//   - each settings file is its old image or its new one;
//   - STAT.TXT holds whole 37-byte records, one per ended exchange.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "app/config_command.h"
#include "config/settings.h"
#include "exchange/exchange.h"
#include "line/line.h"
#include "online/online.h"
#include "station/station.h"
#include "testing/fake_file_system.h"
#include "testing/test_station.h"
#include "wire/codec.h"

namespace kavelin2 {
namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kRecord = 37;

// What the consumers of one station's events saw.
struct Seen {
  int ended = 0;  // exchanges whose consumers all ran with the power on
  std::vector<std::string> kept_aside;
};

// The last consumer: an exchange it hears end had its record written and
// synced before, while the power was still on.
class Watcher : public EventSink {
 public:
  Watcher(FakeFileSystem& fs, Seen& seen) : fs_(fs), seen_(seen) {}
  void OnEvent(const Event& e) override {
    if (std::holds_alternative<event::ExchangeEnded>(e.body) && !fs_.PowerIsOff()) ++seen_.ended;
    if (const auto* kept = std::get_if<event::AppendKeptAside>(&e.body)) {
      seen_.kept_aside.push_back(kept->kept);
    }
    if (const auto* repeat = std::get_if<event::RepeatKeptAside>(&e.body)) {
      seen_.kept_aside.push_back(repeat->kept);
    }
  }

 private:
  FakeFileSystem& fs_;
  Seen& seen_;
};

// One life of the station on the fake file system, line 1 on a fake line.
// The handheld hears only what was written while the power was on.
struct Life {
  explicit Life(FakeFileSystem& f) : fs(f), ts(&f), line(ts.serial.AddLine("COM1")) {
    ts.st.consumers.push_back(std::make_unique<Watcher>(fs, seen));
    line.on_write = [this](FakeLine&, const Bytes& b) {
      if (!fs.PowerIsOff()) heard.insert(heard.end(), b.begin(), b.end());
    };
  }
  bool GoOnLine() {
    bool ready = StartOnLine(ts.st) == 1;
    ts.st.LineTable[0].PortHandle = ts.serial.Open("COM1");
    return ready;
  }
  // The handheld sends |bytes|; the station takes them as on line. Returns
  // what the handheld heard back.
  Bytes Send(const Bytes& bytes) {
    line.ArriveNow(bytes);
    LineEntry& l = ts.st.LineTable[0];
    uint8_t b;
    while (PollByte(l, &b)) {
      l.LineDeadline = Deadline::After(ts.clock.NowMs(), kSilenceMs);
      DispatchControlByte(ts.st, l, b);
    }
    line.TakeWritten();
    Bytes out;
    out.swap(heard);
    return out;
  }

  FakeFileSystem& fs;
  Seen seen;
  Bytes heard;
  TestStation ts;
  FakeLine& line;
};

const Bytes kAck{ACK};
const Bytes kNak{NAK};

// A frame, sent again after a NAK as a handheld does.
Bytes SendFrame(Life& life, const Bytes& frame) {
  Bytes answer = life.Send(frame);
  for (int i = 0; i < 3 && answer == kNak; ++i) answer = life.Send(frame);
  return answer;
}

struct Upload {
  std::string name;
  std::vector<std::string> records;  // of one length
  std::string Bytes() const {
    std::string all;
    for (const auto& r : records) all += r;
    return all;
  }
};

// The upload as the handheld makes it: true when its end of file was
// acknowledged (the handheld erases its copy then).
bool SendUpload(Life& life, const Upload& u) {
  if (life.Send({ENQ}) != kAck) return false;
  char fields[16];
  std::snprintf(fields, sizeof fields, "%05zu01%02zu", u.records.size(), u.records[0].size());
  if (SendFrame(life, BuildFrame(SOH, NameField(u.name) + fields, true)) != kAck) return false;
  for (size_t k = 0; k < u.records.size(); ++k) {
    char number[24];
    std::snprintf(number, sizeof number, "%05zu", k + 1);
    if (SendFrame(life, BuildFrame(STX, number + u.records[k], true)) != kAck) return false;
  }
  return SendFrame(life, {EOT}) == kAck;
}

// The download of handheld 001: every frame acknowledged, each file received
// whole (all its announced blocks, then EOT) put in |whole|. True when the
// handheld acknowledged the end of its table: for it the exchange is over.
bool RequestDownload(Life& life, std::map<std::string, std::string>* whole) {
  const std::string id = "001";
  Bytes request{RS, '0', '0', '1'};
  request.push_back(XorBytes(reinterpret_cast<const uint8_t*>(id.data()), 3));
  Bytes answer = life.Send(request);
  if (answer.size() < 2 || answer[0] != ACK) return false;
  Bytes frame(answer.begin() + 1, answer.end());
  std::string name, data;
  int announced = 0, blocks = 0;
  bool header_next = false;
  for (int step = 0; step < 200; ++step) {
    if (frame.empty()) return false;  // silence: the station is gone
    const uint8_t lead = frame[0];
    if (frame == Bytes{RS}) {
      life.Send(kAck);
      return true;
    }
    if (frame == Bytes{EOT}) {
      if (!name.empty() && blocks == announced) (*whole)[name] = data;
      name.clear();
    } else if (lead == SOH || lead == STX) {
      if (frame.size() < 3) return false;
      std::string body(frame.begin() + 1, frame.end() - 2);
      EXPECT_EQ(BuildFrame(lead, body, true), frame);
      if (lead == SOH && header_next) {
        header_next = false;
        data.clear();
        blocks = 0;
      } else if (lead == SOH) {
        if (body.size() < 5) return false;
        // "A       .DAT00002": the name as the table spells it, unpadded.
        name.clear();
        for (char c : body.substr(0, body.size() - 5)) {
          if (c != ' ') name += c;
        }
        announced = std::atoi(body.substr(body.size() - 5).c_str());
        header_next = true;
      } else {
        EXPECT_EQ(blocks + 1, std::atoi(body.substr(0, 5).c_str()));
        data += body.substr(5);
        ++blocks;
      }
    } else if (frame != Bytes{ENQ}) {
      ADD_FAILURE() << "unexpected frame of " << frame.size() << " bytes";
      return false;
    }
    frame = life.Send(kAck);
  }
  return false;
}

// The settings a scenario starts from: line 1 active, the directories
// TABLE/, RECU/ and TRANS/, the result log in the working directory.
struct SiteSettings {
  char append = 'N';
  char remove = 'N';  // SUP_FIC and SUP_TAB
};

std::map<std::string, std::string> SettingsImages(const Station& st) {
  std::map<std::string, std::string> images;
  uint8_t buf[kScheduleSettingsSize] = {};
  auto put = [&](SettingsFile f) {
    images[SettingsFileName(f)] =
        std::string(reinterpret_cast<const char*>(buf), SettingsFileSize(f));
  };
  EncodePortSettings(st.Ports, buf);
  put(SettingsFile::kPorts);
  EncodeModemSettings(st.Modems, buf);
  put(SettingsFile::kModems);
  EncodePathSettings(st.Paths, buf);
  put(SettingsFile::kPaths);
  EncodeFileOptions(st.Options, buf);
  put(SettingsFile::kFileOptions);
  EncodeScheduleSettings(st.Schedule, buf);
  put(SettingsFile::kSchedule);
  std::memset(buf, 0, sizeof buf);
  std::memcpy(buf, st.CurrentLanguage, kLanguageSize);
  put(SettingsFile::kLanguage);
  return images;
}

// Lays out a site durably: its settings, its directories, a result log
// holding one record of an earlier exchange.
void LayOutSite(FakeFileSystem& fs, const SiteSettings& s) {
  FakeFileSystem scratch;
  TestStation t(&scratch);
  t.UseDefaultSettings();
  Station& st = t.st;
  st.Ports.line[0].ACTIVE = 'O';
  st.Ports.line[1].ACTIVE = 'N';
  std::strcpy(st.Paths.TABLE, "TABLE/");
  std::strcpy(st.Paths.RECU, "RECU/");
  std::strcpy(st.Paths.TRANS, "TRANS/");
  st.Paths.FICLOG[0] = 0;
  st.Options = FileOptions{};
  st.Options.APPEND = s.append;
  st.Options.SUP_FIC = s.remove;
  st.Options.SUP_TAB = s.remove;
  st.Options.ADD_CRLF = 'N';
  st.Options.PORTABLE = 'N';
  st.Options.DOS = 'N';
  st.Schedule.AVANT = 'N';
  st.Schedule.SELC = 'N';
  st.Schedule.SELD = 'N';
  st.Schedule.SELFIN = 'N';
  for (const auto& [name, image] : SettingsImages(st)) fs.PutDurably(name, image);
  for (const char* dir : {"TABLE", "RECU", "TRANS"}) fs.MakeDirectoriesDurably(dir);
  fs.PutDurably("STAT.TXT", "OK 007 1 05/12/26 17:40:11 00.00'03\r\n");
}

// The whole records of STAT.TXT, each checked to be a record; a torn tail
// (a record cut short by the power) is not counted.
int WholeRecords(FakeFileSystem& fs) {
  std::string log = fs.Contents("STAT.TXT").value_or("");
  for (size_t at = 0; at + kRecord <= log.size(); at += kRecord) {
    EXPECT_EQ("\r\n", log.substr(at + kRecord - 2, 2)) << "record at " << at;
  }
  return static_cast<int>(log.size() / kRecord);
}

// The result log as a station must leave it: whole records only, the earlier
// exchange first, then |ours| records of handheld 001, all OK.
void ExpectResultLog(FakeFileSystem& fs, int ours) {
  std::string log = fs.Contents("STAT.TXT").value_or("");
  ASSERT_EQ(0u, log.size() % kRecord) << "a torn record: " << log.size() << " bytes";
  ASSERT_EQ(static_cast<size_t>(ours + 1) * kRecord, log.size()) << log;
  EXPECT_EQ("OK 007", log.substr(0, 6));
  for (int i = 1; i <= ours; ++i) EXPECT_EQ("OK 001 1 ", log.substr(i * kRecord, 9)) << log;
}

// What the first life of a scenario left to check.
struct FirstLife {
  bool acked = false;          // the end of file of the upload was acknowledged
  bool download_done = false;  // the handheld acknowledged the end of its table
  int ended = 0;
  std::map<std::string, std::string> whole;
  std::vector<std::string> kept_aside;
};

using Arm = std::function<void()>;

// Runs |act| on the state |lay_out| makes, once to count the file calls the
// step makes after |act| arms the cut, then with the power cut before each of
// them and after the last, under none, all and |random_sets| random survivor
// sets; |check| runs on what is left each time. Returns the number of crash states.
int ExploreCrashStates(const char* scenario, const std::function<void(FakeFileSystem&)>& lay_out,
                       const std::function<FirstLife(FakeFileSystem&, const Arm&)>& act,
                       const std::function<void(FakeFileSystem&, const FirstLife&)>& check,
                       uint64_t random_sets = 8) {
  int calls = 0;
  {
    FakeFileSystem fs;
    lay_out(fs);
    int start = 0;
    act(fs, [&] { start = fs.Calls(); });
    calls = fs.Calls() - start;
  }
  EXPECT_GT(calls, 3) << scenario;
  std::vector<Survivors> survivor_sets = {Survivors::None(), Survivors::All()};
  for (uint64_t seed = 1; seed <= random_sets; ++seed)
    survivor_sets.push_back(Survivors::Random(seed));
  int states = 0;
  for (int k = 1; k <= calls + 1; ++k) {
    for (size_t s = 0; s < survivor_sets.size(); ++s) {
      SCOPED_TRACE(std::string(scenario) + ": power cut before call " + std::to_string(k) + " of " +
                   std::to_string(calls) + ", survivor set " + std::to_string(s));
      FakeFileSystem fs;
      lay_out(fs);
      FirstLife first = act(fs, [&] { fs.CutPowerBefore(k, survivor_sets[s]); });
      if (fs.PowerIsOff()) {
        fs.PowerOn();
      } else {
        fs.CutPower(survivor_sets[s]);  // after the last call
        fs.PowerOn();                   // the cut armed for later is off
      }
      check(fs, first);
      ++states;
      if (::testing::Test::HasFailure()) {
        ADD_FAILURE() << fs.Describe();
        return states;
      }
    }
  }
  std::printf("power cut, %s: %d file calls, %d crash states\n", scenario, calls, states);
  ::testing::Test::RecordProperty("crash_states", states);
  return states;
}

const Upload kUpload{"CDE.001", {"NEW01", "NEW02", "NEW03"}};

// One exchange of a handheld: its upload (when it still has it), then its
// download request.
FirstLife UploadExchange(FakeFileSystem& fs, const Arm& arm) {
  Life life(fs);
  EXPECT_TRUE(life.GoOnLine());
  arm();
  FirstLife first;
  first.acked = SendUpload(life, kUpload);
  if (first.acked) first.download_done = RequestDownload(life, &first.whole);
  first.ended = life.seen.ended;
  first.kept_aside = life.seen.kept_aside;
  return first;
}

// The received-files directory after the restart: the target holds the
// upload exactly once (|once|), or, where the append step allows it, only
// |without| with the upload kept aside; anything else there is a kept-aside
// copy of the upload, told by its warning (a resend the station recognised
// as the repeat of an upload it had completed is one).
void ExpectUploadOnce(FakeFileSystem& fs, const std::string& once, const char* without,
                      const std::vector<std::string>& warned) {
  const std::string target = fs.Contents("RECU/CDE.001").value_or("<none>");
  int kept = 0;
  for (const std::string& path : fs.ListFiles()) {
    if (path.rfind("RECU/", 0) != 0 || path == "RECU/CDE.001") continue;
    // The station's note of the upload it completed, to know a repeat, and
    // the lock a station on line holds on the directory.
    if (path == "RECU/..AJOUTFIC.1.done" || path == "RECU/.kavelin2.lock") continue;
    const std::string name = path.substr(5);
    bool told = false;
    for (const auto& w : warned) told = told || w == name;
    EXPECT_TRUE(told) << path << " left in the received-files directory, no warning";
    EXPECT_EQ(kUpload.Bytes(), fs.Contents(path)) << path;
    ++kept;
  }
  if (target != once) {
    ASSERT_NE(nullptr, without) << "target: " << target;
    EXPECT_EQ(without, target);
    EXPECT_GT(kept, 0) << "the acknowledged upload is nowhere";
  }
}

// Restarts on what the cut left, lets the handheld do again what had no
// answer, and checks the upload and the result log.
void RestartAfterUpload(FakeFileSystem& fs, const FirstLife& first, const std::string& once,
                        const char* without) {
  const int survived = WholeRecords(fs) - 1;
  EXPECT_GE(survived, first.ended) << "an ended exchange lost its record";
  EXPECT_LE(survived, 1);
  Life life(fs);
  ASSERT_TRUE(life.GoOnLine());
  if (!first.acked) {
    EXPECT_TRUE(SendUpload(life, kUpload));
  }
  std::map<std::string, std::string> whole;
  EXPECT_TRUE(RequestDownload(life, &whole));
  EXPECT_EQ(1, life.seen.ended);
  std::vector<std::string> warned = first.kept_aside;
  warned.insert(warned.end(), life.seen.kept_aside.begin(), life.seen.kept_aside.end());
  ExpectUploadOnce(fs, once, without, warned);
  ExpectResultLog(fs, survived + 1);
}

TEST(PowerCut, ReplacingUploadIsOldOrNewAndNewOnceAcknowledged) {
  auto lay_out = [](FakeFileSystem& fs) {
    LayOutSite(fs, {.append = 'N'});
    fs.PutDurably("RECU/CDE.001", "the earlier upload");
  };
  auto check = [](FakeFileSystem& fs, const FirstLife& first) {
    // Before the restart: acknowledged means in place under its name.
    const std::string now = fs.Contents("RECU/CDE.001").value_or("<none>");
    if (first.acked) {
      EXPECT_EQ(kUpload.Bytes(), now);
    }
    if (!first.acked) {
      EXPECT_TRUE(now == kUpload.Bytes() || now == "the earlier upload") << now;
    }
    RestartAfterUpload(fs, first, kUpload.Bytes(), nullptr);
  };
  EXPECT_GE(ExploreCrashStates("upload, APPEND N", lay_out, UploadExchange, check), 100);
}

TEST(PowerCut, AppendingUploadOntoATargetIsInItExactlyOnce) {
  auto lay_out = [](FakeFileSystem& fs) {
    LayOutSite(fs, {.append = 'O'});
    fs.PutDurably("RECU/CDE.001", "OLD01OLD02");
  };
  auto check = [](FakeFileSystem& fs, const FirstLife& first) {
    RestartAfterUpload(fs, first, "OLD01OLD02" + kUpload.Bytes(), "OLD01OLD02");
  };
  EXPECT_GE(ExploreCrashStates("upload, APPEND O onto a target", lay_out, UploadExchange, check),
            100);
}

TEST(PowerCut, AppendingUploadWithoutATargetBecomesItExactlyOnce) {
  auto lay_out = [](FakeFileSystem& fs) { LayOutSite(fs, {.append = 'O'}); };
  auto check = [](FakeFileSystem& fs, const FirstLife& first) {
    RestartAfterUpload(fs, first, kUpload.Bytes(), "<none>");
  };
  EXPECT_GE(ExploreCrashStates("upload, APPEND O without a target", lay_out, UploadExchange, check),
            100);
}

// What a crash during an append leaves (the upload was acknowledged): the
// intent and the pending upload, the target not yet, half or wholly appended.
struct LeftByACrash {
  const char* what;
  const char* target;  // nullptr: none
  bool pending;
};
const LeftByACrash kLeftByACrash[] = {
    {"before the merge", "OLD01OLD02", true},
    {"halfway through the merge", "OLD01OLD02NEW01NE", true},
    {"merged, the pending upload still there", "OLD01OLD02NEW01NEW02NEW03", true},
    {"merged, the pending upload removed", "OLD01OLD02NEW01NEW02NEW03", false},
    {"no target, before the rename", nullptr, true},
};

TEST(PowerCut, RecoveryAtGoingOnLineCutAnywhereCompletesTheAppendOnce) {
  for (const LeftByACrash& left : kLeftByACrash) {
    const std::string before = left.target != nullptr ? "OLD01OLD02" : "";
    auto lay_out = [&](FakeFileSystem& fs) {
      LayOutSite(fs, {.append = 'O'});
      if (left.target != nullptr) fs.PutDurably("RECU/CDE.001", left.target);
      if (left.pending) fs.PutDurably("RECU/AJOUTFIC.1", kUpload.Bytes());
      fs.PutDurably("RECU/..AJOUTFIC.1",
                    "CDE.001\n" + std::to_string(left.target != nullptr ? 10 : -1) + "\n15\n");
      fs.PutDurably("RECU/..RECUFIC.1", "a replacing upload cut short");
    };
    auto act = [](FakeFileSystem& fs, const Arm& arm) {
      Life life(fs);
      arm();
      life.GoOnLine();
      FirstLife first;
      first.acked = true;
      return first;
    };
    auto check = [&](FakeFileSystem& fs, const FirstLife& first) {
      RestartAfterUpload(fs, first, before + kUpload.Bytes(), nullptr);
      EXPECT_FALSE(fs.Contents("RECU/..RECUFIC.1").has_value());
    };
    EXPECT_GE(ExploreCrashStates((std::string("recovery at going on line, ") + left.what).c_str(),
                                 lay_out, act, check, 3),
              100);
    if (::testing::Test::HasFailure()) return;
  }
}

// The table of handheld 001 and what it lists; C.DAT is not listed.
const std::map<std::string, std::string> kToSend = {{"A.DAT", "aaaa\r\nAAAA\r\n"},
                                                    {"B.DAT", "bbbb\r\nBBBB\r\n"}};
const std::map<std::string, std::string> kAsReceived = {{"A.DAT", "aaaaAAAA"},
                                                        {"B.DAT", "bbbbBBBB"}};

TEST(PowerCut, DownloadRemovesOnlyWhatWasSentWholeAndDurablyBeforeItsRecord) {
  auto lay_out = [](FakeFileSystem& fs) {
    LayOutSite(fs, {.remove = 'O'});
    fs.PutDurably("TABLE/TABLE.001", "A       .DAT 04\r\nB       .DAT 04\r\n");
    for (const auto& [name, bytes] : kToSend) fs.PutDurably("TRANS/" + name, bytes);
    fs.PutDurably("TRANS/C.DAT", "not listed");
  };
  auto act = [](FakeFileSystem& fs, const Arm& arm) {
    Life life(fs);
    EXPECT_TRUE(life.GoOnLine());
    arm();
    FirstLife first;
    first.download_done = RequestDownload(life, &first.whole);
    first.ended = life.seen.ended;
    return first;
  };
  auto check = [](FakeFileSystem& fs, const FirstLife& first) {
    for (const auto& [name, bytes] : first.whole) EXPECT_EQ(kAsReceived.at(name), bytes) << name;
    const int survived = WholeRecords(fs) - 1;
    EXPECT_GE(survived, first.ended) << "an ended exchange lost its record";
    const bool table_gone = !fs.Contents("TABLE/TABLE.001").has_value();
    for (const auto& [name, bytes] : kToSend) {
      const bool gone = !fs.Contents("TRANS/" + name).has_value();
      if (gone) {
        EXPECT_TRUE(first.whole.count(name)) << name << " removed, never received whole";
      }
      // The exchange counts as ended once its record is in: its removals
      // must not come back after that.
      if (survived == 1) {
        EXPECT_TRUE(gone) << name << " back after its exchange ended";
      }
      if (table_gone) {
        EXPECT_TRUE(first.whole.count(name)) << "table gone, " << name << " unsent";
      }
    }
    if (survived == 1) {
      EXPECT_TRUE(table_gone) << "the table back after its exchange ended";
    }

    // The handheld asks again when it did not see the end of its table, and
    // once more on its next call whatever happened.
    Life life(fs);
    ASSERT_TRUE(life.GoOnLine());
    std::map<std::string, std::string> whole = first.whole;
    if (!first.download_done) {
      EXPECT_TRUE(RequestDownload(life, &whole));
    }
    EXPECT_TRUE(RequestDownload(life, &whole));
    for (const auto& [name, bytes] : kToSend) {
      EXPECT_EQ(kAsReceived.at(name), whole[name]) << name;
      EXPECT_FALSE(fs.Contents("TRANS/" + name).has_value()) << name;
    }
    EXPECT_FALSE(fs.Contents("TABLE/TABLE.001").has_value());
    EXPECT_EQ("not listed", fs.Contents("TRANS/C.DAT"));
    const int exchanges = (first.download_done ? 0 : 1) + 1;
    EXPECT_EQ(exchanges, life.seen.ended);
    ExpectResultLog(fs, survived + exchanges);
  };
  EXPECT_GE(ExploreCrashStates("download, SUP_FIC and SUP_TAB O", lay_out, act, check), 100);
}

TEST(PowerCut, ConfigSetLeavesEachSettingsFileOldOrNew) {
  auto lay_out = [](FakeFileSystem& fs) {
    LayOutSite(fs, {.append = 'N'});
    fs.MakeDirectoriesDurably("IN");
  };
  std::map<std::string, std::string> old_images, new_images;
  {
    FakeFileSystem fs;
    lay_out(fs);
    for (const auto& f : fs.ListFiles()) old_images[f] = *fs.Contents(f);
  }
  const std::vector<std::string> args = {"set", "files.append=yes", "dir.received=IN/",
                                         "files.remove_sent=yes"};
  auto act = [&args](FakeFileSystem& fs, const Arm& arm) {
    TestStation t(&fs);
    arm();
    std::string out, err;
    const int status = RunConfigCommand(t.st, args, &out, &err);
    if (!fs.PowerIsOff()) {
      EXPECT_EQ(0, status) << err;
    }
    return FirstLife{};
  };
  {
    FakeFileSystem fs;
    lay_out(fs);
    act(fs, [] {});
    for (const auto& f : fs.ListFiles()) new_images[f] = *fs.Contents(f);
  }
  ASSERT_NE(old_images["CONF_FIC.CFG"], new_images["CONF_FIC.CFG"]);
  ASSERT_NE(old_images["CHEMIN.CFG"], new_images["CHEMIN.CFG"]);
  ASSERT_EQ(old_images["CONF_COM.CFG"], new_images["CONF_COM.CFG"]);
  auto check = [&](FakeFileSystem& fs, const FirstLife&) {
    for (const auto& [name, image] : old_images) {
      if (name.find(".CFG") == std::string::npos) continue;
      const std::string now = fs.Contents(name).value_or("<missing>");
      EXPECT_TRUE(now == image || now == new_images[name]) << name << " is neither image";
    }
    // The station still goes on line on them.
    Life life(fs);
    EXPECT_TRUE(life.GoOnLine());
    const char append = life.ts.st.Options.APPEND;
    EXPECT_TRUE(append == 'N' || append == 'O');
  };
  EXPECT_GE(ExploreCrashStates("config set", lay_out, act, check), 100);
}

}  // namespace
}  // namespace kavelin2
