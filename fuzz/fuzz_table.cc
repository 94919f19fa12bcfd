// Hostile table files: the entry reader and the block planner on the raw
// bytes, then a whole download driven by a handheld that acknowledges every
// frame, with the removal of sent files and tables switched on by the input.
//
// Input: byte 0 the file options (one bit each); the rest is the table file.
// Checks: no crash or sanitizer report; each entry consumes input and its
// texts stay inside their fields; a plan fits the frame buffer and the block
// fields; every checked frame the station sends carries ETX and a correct
// check byte; nothing is written or removed outside the station's
// directories; no descriptor left open.
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "exchange/exchange.h"
#include "exchange/supervision.h"
#include "fuzz_station.h"
#include "fuzz_support.h"
#include "line/line.h"
#include "wire/table_entry.h"

using namespace kavelin2;
using namespace kavelin2::fuzz;

namespace {

constexpr uint8_t kSoh = 0x01, kStx = 0x02, kEtx = 0x03, kAck = 0x06, kNak = 0x15, kRs = 0x1E;

void CheckEntries(const uint8_t* data, size_t size) {
  size_t pos = 0;
  TableReadFn read = [&](uint8_t* buf, size_t n) {
    size_t k = size - pos < n ? size - pos : n;
    std::memcpy(buf, data + pos, k);
    pos += k;
    return k;
  };
  TableEntry e;
  for (;;) {
    size_t before = pos;
    if (!ReadTableEntry(read, &e)) break;
    Check(pos >= before + 12, "an entry consumed less than its name field");
    Check(std::memchr(e.name, 0, sizeof e.name) != nullptr, "name field not terminated");
    Check(std::memchr(e.kind, 0, sizeof e.kind) != nullptr, "kind not terminated");
    Check(std::memchr(e.block_size, 0, sizeof e.block_size) != nullptr, "size not terminated");
    Check(std::memchr(e.field_count, 0, sizeof e.field_count) != nullptr, "count not terminated");
    Check(std::memchr(e.field_widths, 0, sizeof e.field_widths) != nullptr,
          "widths not terminated");
    for (int64_t file_size : {int64_t{0}, int64_t{3}, int64_t{1000}, int64_t{1} << 40}) {
      BlockPlan plan;
      if (!PlanBlocks(e, file_size, &plan)) continue;
      Check(plan.block_size > 0 && static_cast<size_t>(plan.block_size) + 8 <= kFrameBufferSize,
            "a planned block does not fit the frame buffer");
      Check(plan.total >= 0 && plan.total <= 99999, "a planned count outside five digits");
      Check(plan.start >= 0, "a planned start before the file");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  const uint8_t flags = in.Byte();
  const std::string table(reinterpret_cast<const char*>(in.rest()), in.rest_size());
  CheckEntries(in.rest(), in.rest_size());

  const int fds_before = OpenDescriptors();
  {
    ConfinedDir dir;
    FuzzStation fs;
    Station& st = fs.st;
    FakeLine& line = fs.serial.AddLine("COM1");
    st.LineTable[0].PortHandle = fs.serial.Open("COM1");
    std::strcpy(st.CurrentLanguage, "Francais");
    std::strcpy(st.Paths.TABLE, "TABLE/");
    std::strcpy(st.Paths.RECU, "RECU/");
    std::strcpy(st.Paths.TRANS, "TRANS/");
    std::strcpy(st.Paths.FICLOG, "LOG/");
    st.Options.SUP_TAB = flags & 1 ? 'O' : 'N';
    st.Options.PORTABLE = flags & 2 ? 'O' : 'N';
    st.Options.SUP_FIC = flags & 4 ? 'O' : 'N';
    st.Options.DOS = flags & 8 ? 'O' : 'N';
    st.Options.APPEND = 'N';
    st.Options.ADD_CRLF = 'N';
    st.Schedule.SELC = st.Schedule.SELD = st.Schedule.SELFIN = st.Schedule.AVANT = 'N';

    WriteFile("TRANS/ARTICLES.DAT", std::string(3 * 66, 'A'));
    WriteFile("TRANS/A.B", "0123456789\r\n0123456789\r\n");
    WriteFile("TRANS/PRIX.PD3", std::string(300, 'P'));
    ::mkdir("TRANS/DIR.DAT", 0700);
    WriteFile("TABLE/TABLE.001", table);
    WriteFile("TABLE/TABLE.002", "ARTICLES.DAT 64\r\n");
    WriteFile("RECU/KEEP.001", "kept");

    // The handheld acknowledges every frame (not the station's own ACK and
    // NAK answers), a little later, as long as the exchange goes on.
    int answers = 0;
    line.on_write = [&answers](FakeLine& l, const std::vector<uint8_t>& bytes) {
      if (bytes.size() == 1 && (bytes[0] == kAck || bytes[0] == kNak)) return;
      if (++answers > 200000) return;
      l.Arrive(l.clock().now() + 1, {kAck});
    };
    line.Arrive(0, {kRs, '0', '0', '1', '0' ^ '0' ^ '1'});

    fs.ServeLine(line, 2000000);
    const LineEntry& l = st.LineTable[0];
    Check(l.LinePhase == kPhaseNone, "the download never ended");
    Check(l.DataFile == nullptr && l.TableFile == nullptr, "a file stayed open after the download");

    // Frames are built in one buffer and sent whole: each checked one must
    // end with ETX and the XOR of its body and ETX.
    std::vector<uint8_t> frame;
    for (const auto& w : line.writes()) {
      const std::vector<uint8_t>& b = w.bytes;
      Check(b.size() <= kFrameBufferSize, "a write larger than the frame buffer");
      if (b.size() < 3 || (b[0] != kSoh && b[0] != kStx)) continue;
      uint8_t bcc = 0;
      for (size_t i = 1; i + 1 < b.size(); ++i) bcc ^= b[i];
      Check(b[b.size() - 2] == kEtx && bcc == b.back(), "a frame with a wrong check byte");
    }

    dir.CheckConfined({"LOG", "RECU", "STAT.TXT", "TABLE", "TRANS", "UNLINK.TXT"});
    Check(ReadFile("RECU/KEEP.001") == "kept", "a received file was touched");
    Check(ReadFile("TABLE/TABLE.002") == "ARTICLES.DAT 64\r\n", "another table was touched");
    struct stat sb;
    Check(::stat("TRANS/DIR.DAT", &sb) == 0 && S_ISDIR(sb.st_mode), "a directory was removed");
    if (st.Options.SUP_FIC != 'O') {
      Check(ListDir("TRANS").size() == 4, "a file to transmit was removed without SUP_FIC");
    }
  }
  Check(OpenDescriptors() == fds_before, "a descriptor was left open");
  return 0;
}
