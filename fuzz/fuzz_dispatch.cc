// Hostile bytes on a line: the dispatcher and every exchange handler behind
// it, in the upload and the download states, on a fake line and a fake clock.
//
// Input: byte 0 the file options (one bit each), byte 1 the starting point
// (0 idle, 1 upload with a header accepted, 2 download started, 3 download
// with a header frame sent), byte 2 the gap between arriving bytes (4 ms
// steps, 0: all at once); the rest arrives on line 1 byte by byte. The line
// is served like the poll loop serves it until the exchange has ended (by its
// own end or by time-outs). Checks: no crash, no sanitizer report, nothing
// written outside the station's directories, no descriptor left open, the
// files to transmit untouched unless the options remove them, the line back
// in a valid state.
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "exchange/exchange.h"
#include "exchange/supervision.h"
#include "fuzz_station.h"
#include "fuzz_support.h"
#include "line/line.h"
#include "wire/codec.h"

namespace kavelin2::fuzz {
namespace {

constexpr uint8_t kSoh = 0x01, kEtx = 0x03, kEnq = 0x05, kAck = 0x06, kRs = 0x1E;

struct TransFile {
  const char* name;
  std::string bytes;
};

std::vector<TransFile> TransFiles() {
  std::string articles, clients, pd3(256, 'P'), fields;
  for (int i = 0; i < 3; ++i) articles += std::string(64, static_cast<char>('a' + i)) + "\r\n";
  for (int i = 0; i < 2; ++i) clients += std::string(32, static_cast<char>('0' + i)) + "\r\n";
  for (int i = 0; i < 2; ++i) fields += "ART0000" + std::to_string(i) + "QTY005\r\n";
  return {{"ARTICLES.DAT", articles},
          {"CLIENTS.TXT", clients},
          {"PRIX.PD3", pd3},
          {"CHAMPS.DAT", fields}};
}

// Plain, kind 'S', PD3 and field-described entries, and one naming a file
// that is not there.
constexpr const char* kTable =
    "ARTICLES.DAT 64\r\n"
    "CLIENTS .TXT 32 S\r\n"
    "PRIX    .PD3\r\n"
    "CHAMPS  .DAT T 014021004\r\n"
    "ABSENT  .DAT 10\r\n";

std::vector<uint8_t> Frame(uint8_t lead, const std::string& body) {
  std::vector<uint8_t> f{lead};
  uint8_t bcc = 0;
  for (char c : body) {
    f.push_back(static_cast<uint8_t>(c));
    bcc ^= static_cast<uint8_t>(c);
  }
  f.push_back(kEtx);
  f.push_back(static_cast<uint8_t>(bcc ^ kEtx));
  return f;
}

std::vector<uint8_t> Prelude(int mode) {
  std::vector<uint8_t> out;
  auto add = [&out](const std::vector<uint8_t>& b) { out.insert(out.end(), b.begin(), b.end()); };
  switch (mode) {
    case 1:  // an upload of three 15-byte records, header accepted
      add({kEnq});
      add(Frame(kSoh, "COMMANDE.00100003021005"));
      break;
    case 2:  // identification accepted: the station sent ENQ
      add({kRs, '0', '0', '1', '0' ^ '0' ^ '1'});
      break;
    case 3:  // ... and the name frame, ENQ and header frame went out
      add({kRs, '0', '0', '1', '0' ^ '0' ^ '1', kAck, kAck, kAck});
      break;
    default:
      break;
  }
  return out;
}

bool ValidState(char s) { return std::strchr("20813456 7", s) != nullptr && s != ' '; }

}  // namespace
}  // namespace kavelin2::fuzz

using namespace kavelin2;
using namespace kavelin2::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t flags = in.Byte();
  const int mode = in.Byte() & 3;
  const int gap_ms = in.Byte() * 4;
  const int fds_before = OpenDescriptors();
  {
    ConfinedDir dir;
    FuzzStation fs;
    Station& st = fs.st;
    FakeLine& line = fs.serial.AddLine("COM1");
    st.LineTable[0].PortHandle = fs.serial.Open("COM1");
    std::strcpy(st.CurrentLanguage, "Anglais");
    std::strcpy(st.Paths.TABLE, "TABLE/");
    std::strcpy(st.Paths.RECU, "RECU/");
    std::strcpy(st.Paths.TRANS, "TRANS/");
    std::strcpy(st.Paths.FICLOG, "LOG/");
    auto flag = [flags](int bit) { return (flags >> bit) & 1 ? 'O' : 'N'; };
    st.Options.SUP_TAB = flag(0);
    st.Options.APPEND = flag(1);
    st.Options.PORTABLE = flag(2);
    st.Options.SUP_FIC = flag(3);
    st.Options.ADD_CRLF = flag(4);
    st.Options.DOS = flag(5);
    st.LineTable[0].LineDeadline = Deadline::After(st.clock.NowMs(), kSilenceMs);
    st.Ports.line[0].ACTIVE = 'O';
    st.Ports.line[1].ACTIVE = 'N';
    st.Schedule.AVANT = 'N';
    st.Schedule.SELC = 'N';
    st.Schedule.SELD = 'N';
    st.Schedule.SELFIN = 'N';

    const std::vector<TransFile> trans = TransFiles();
    for (const TransFile& f : trans) WriteFile(std::string("TRANS/") + f.name, f.bytes);
    WriteFile("TABLE/TABLE.001", kTable);
    WriteFile("RECU/COMMANDE.001", "an earlier upload\r\n");

    std::vector<uint8_t> wire = Prelude(mode);
    wire.insert(wire.end(), in.rest(), in.rest() + in.rest_size());
    if (gap_ms == 0) {
      line.Arrive(0, wire);
    } else {
      for (size_t i = 0; i < wire.size(); ++i)
        line.Arrive(static_cast<int64_t>(i) * gap_ms, {wire[i]});
    }

    fs.ServeLine(line, 1000000, [&] {
      Check(ValidState(st.LineTable[0].LineState), "LineState left the states of the protocol");
      Check(std::strchr("203", st.LineTable[0].LinePhase) != nullptr, "LinePhase is not a phase");
    });
    const LineEntry& l = st.LineTable[0];
    Check(l.LinePhase == kPhaseNone && l.LineState == kStateIdle, "the exchange never ended");
    Check(l.DataFile == nullptr && l.TableFile == nullptr,
          "an exchange file stayed open after the exchange");
    Check(l.FrameLength >= 0 && l.FrameLength <= static_cast<int32_t>(kFrameBufferSize),
          "FrameLength outside the frame buffer");
    for (const auto& w : line.writes())
      Check(w.bytes.size() <= kFrameBufferSize, "a write larger than a frame");

    dir.CheckConfined({"LOG", "RECU", "STAT.TXT", "TABLE", "TRANS", "UNLINK.TXT"});
    for (const std::string& name : ListDir("RECU")) {
      struct stat sb;
      Check(::lstat(("RECU/" + name).c_str(), &sb) == 0 && S_ISREG(sb.st_mode),
            "something other than a plain file in RECU");
    }
    for (const TransFile& f : trans) {
      std::string path = std::string("TRANS/") + f.name;
      struct stat sb;
      if (::stat(path.c_str(), &sb) != 0) {
        Check(st.Options.SUP_FIC == 'O', "a file to transmit vanished without SUP_FIC");
        continue;
      }
      Check(ReadFile(path) == f.bytes, "a file to transmit was changed");
    }
    Check(ListDir("TRANS").size() <= trans.size(), "a file appeared in TRANS");
    std::string table = ReadFile("TABLE/TABLE.001");
    Check(table == kTable || (table.empty() && st.Options.SUP_TAB == 'O'),
          "the table file was changed");
  }
  Check(OpenDescriptors() == fds_before, "a descriptor was left open");
  return 0;
}
