// The control-byte dispatcher: one table of byte x line state -> action, so
// that what each byte does in each state can be read (and tested) cell by cell.
#include <cstring>

#include "exchange/exchange.h"
#include "exchange/supervision.h"
#include "line/line.h"
#include "platform/clock.h"
#include "station/station.h"
#include "wire/codec.h"

namespace kavelin2 {
namespace {

using Handler = Io (*)(Station&, LineEntry&);

// One cell: whether EnqCount is reset first, then up to two steps in order.
struct Cell {
  bool reset = false;
  Handler first = nullptr;
  Handler second = nullptr;
};

// Columns of the table.
enum Column { kIdle, kUploadOpen, kHeaderAccepted, kReceiving, kDownload, kColumns };

int ColumnOf(char state) {
  switch (state) {
    case kStateIdle:
      return kIdle;
    case kStateUploadOpen:
      return kUploadOpen;
    case kStateHeaderAccepted:
      return kHeaderAccepted;
    case kStateReceiving:
      return kReceiving;
    case kStateNextEntry:
    case kStateNameSent:
    case kStateEnqSent:
    case kStateSendingData:
    case kStateTableDone:
      return kDownload;
    default:
      return -1;
  }
}

Io SendAck(Station& st, LineEntry& line) { return SendByte(st, line, ACK); }
Io SendNak(Station& st, LineEntry& line) { return SendByte(st, line, NAK); }
// RS on an idle line opens the download: an EOT after it no longer repeats
// the last end of file.
Io OpenDownload(Station& st, LineEntry& line) {
  line.EndOfFileAccepted = false;
  return StartDownload(st, line);
}
Io Stamp(Station& st, LineEntry& line) {
  StampExchange(st, line);
  return Io::kOk;
}

// ENQ while the line is not idle: the handheld asks what became of its last
// frame. The ninth ENQ of a run gets the last control byte sent again, every
// other one NAK; the count is not reset here.
Io EnqRule(Station& st, LineEntry& line) {
  int32_t old = line.EnqCount;
  // Only the ninth is special: an endless run must not wrap the count round.
  if (line.EnqCount < INT32_MAX) ++line.EnqCount;
  return SendByte(st, line, old == 8 ? line.LastSentByte : NAK);
}

constexpr Cell kIgnored{};
constexpr Cell Do(Handler h) { return Cell{true, h, nullptr}; }

struct Row {
  uint8_t byte;
  Cell cells[kColumns];
};

// Columns: '2' | '0' | '8' | '1' | '3' to '7'.
const Row kDispatchTable[] = {
    {SOH, {kIgnored, Do(ReceiveHeader), Do(SendAck), Do(SendNak), Do(SendNak)}},
    {STX, {kIgnored, kIgnored, Do(ReceiveBlock), Do(ReceiveBlock), kIgnored}},
    {EOT,
     {Cell{false, RepeatEndOfFile, nullptr}, Do(ReceiveEndOfFile), Do(ReceiveEndOfFile),
      Do(ReceiveEndOfFile), Do(ReceiveEndOfFile)}},
    {ENQ,
     {Cell{true, Stamp, StartUpload}, Cell{false, Stamp, EnqRule}, Cell{false, Stamp, EnqRule},
      Cell{false, Stamp, EnqRule}, Cell{false, Stamp, EnqRule}}},
    {ACK, {kIgnored, Do(DownloadStep), Do(DownloadStep), Do(DownloadStep), Do(DownloadStep)}},
    {NAK, {kIgnored, kIgnored, kIgnored, kIgnored, Do(HandleNak)}},
    // The stamp of an RS comes after StartDownload, which relies on seeing an
    // empty ExchangeDate when no upload preceded it in the exchange.
    {RS,
     {Cell{true, OpenDownload, Stamp}, Cell{false, Stamp, nullptr}, Cell{false, Stamp, nullptr},
      Cell{false, Stamp, nullptr}, Cell{false, Stamp, nullptr}}},
};

}  // namespace

Io DispatchControlByte(Station& st, LineEntry& line, uint8_t byte) {
  int column = ColumnOf(line.LineState);
  if (column < 0) return Io::kOk;
  for (const Row& row : kDispatchTable) {
    if (row.byte != byte) continue;
    const Cell& cell = row.cells[column];
    if (cell.reset) line.EnqCount = 0;
    Io io = Io::kOk;
    if (cell.first != nullptr) io = cell.first(st, line);
    if (cell.second != nullptr) {
      // The second step runs whatever came of the first (a stamp must still
      // be taken); the first outcome that is not kOk is what happened.
      Io then = cell.second(st, line);
      if (io == Io::kOk) io = then;
    }
    return io;
  }
  return Io::kOk;
}

void StampExchange(Station& st, LineEntry& line) {
  if (line.ExchangeDate[0] != 0) return;
  std::tm now = st.clock.LocalTime();
  FormatDateText(now, line.ExchangeDate);
  FormatTimeText(now, line.ExchangeTime);
  line.ExchangeStart = st.clock.NowSeconds();
  st.Report(line.index, event::ExchangeStarted{});
}

}  // namespace kavelin2
