// The control-byte dispatcher: one table of byte x line state -> action, so
// that what each byte does in each state can be read (and tested) cell by cell.
#include <cstring>

#include "link/link.h"
#include "protocol/codec.h"
#include "protocol/protocol.h"
#include "station/clock.h"
#include "station/station.h"
#include "supervision/exchange_log.h"
#include "supervision/supervision.h"

namespace kavelin2 {
namespace {

using Handler = void (*)(Station&);

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

void SendAck(Station& st) { SendByte(st, ACK); }
void SendNak(Station& st) { SendByte(st, NAK); }

// ENQ while the line is not idle: the handheld asks what became of its last
// frame. The ninth ENQ of a run gets the last control byte sent again, every
// other one NAK; the count is not reset here.
void EnqRule(Station& st) {
  LineEntry& line = st.Line();
  int32_t old = line.EnqCount;
  // Only the ninth is special: an endless run must not wrap the count round.
  if (line.EnqCount < INT32_MAX) ++line.EnqCount;
  SendByte(st, old == 8 ? line.LastSentByte : NAK);
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
     {kIgnored, Do(ReceiveEndOfFile), Do(ReceiveEndOfFile), Do(ReceiveEndOfFile),
      Do(ReceiveEndOfFile)}},
    {ENQ,
     {Cell{true, StampExchange, StartUpload}, Cell{false, StampExchange, EnqRule},
      Cell{false, StampExchange, EnqRule}, Cell{false, StampExchange, EnqRule},
      Cell{false, StampExchange, EnqRule}}},
    {ACK, {kIgnored, Do(DownloadStep), Do(DownloadStep), Do(DownloadStep), Do(DownloadStep)}},
    {NAK, {kIgnored, kIgnored, kIgnored, kIgnored, Do(HandleNak)}},
    // The stamp of an RS comes after StartDownload, which relies on seeing an
    // empty ExchangeDate when no upload preceded it in the exchange.
    {RS,
     {Cell{true, StartDownload, StampExchange}, Cell{false, StampExchange, nullptr},
      Cell{false, StampExchange, nullptr}, Cell{false, StampExchange, nullptr},
      Cell{false, StampExchange, nullptr}}},
};

// What the line looked like before a handler ran, so that what the handler
// did can be noted for the exchange's summary without the handlers knowing.
struct Before {
  char state;
  uint32_t sends;
};

void NoteWhatHappened(Station& st, uint8_t byte, const Before& before) {
  LineEntry& line = st.Line();
  if (byte == EOT && before.state == kStateReceiving && line.LineState == kStateIdle &&
      line.LinePhase == kPhaseUpload) {
    // An end of file accepted: the upload stands under its name.
    int32_t records = line.NextBlockNumber - 1;
    int64_t unit = line.RecordLength + (st.Options.ADD_CRLF == 'O' ? 2 : 0);
    NoteFileReceived(st, line.UploadName, records, unit * records);
  } else if (byte == SOH && before.state == kStateUploadOpen &&
             line.LineState == kStateUploadOpen && line.SendCount != before.sends &&
             line.LastSentByte == NAK) {
    // A header answered with NAK (not one cut short by a time-out, which
    // gets no answer): its name field opens the frame.
    char name[13];
    for (int i = 0; i < 12; ++i) {
      uint8_t c = line.FrameBuffer[i];
      name[i] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    name[12] = 0;
    TrimFileName(name);
    NoteRefusedHeader(st, name);
  } else if (byte == SOH && before.state == kStateUploadOpen && line.LineState != before.state) {
    line.RefusedHeader[0] = 0;  // accepted after all
  } else if (byte == ACK && before.state == kStateSendingData &&
             line.LineState == kStateNextEntry) {
    // The EOT after the last block of a file went out.
    char name[sizeof line.TableEntryName];
    std::memcpy(name, line.TableEntryName, sizeof name);
    name[sizeof name - 1] = 0;
    TrimFileName(name);
    NoteFileSent(st, name, line.BlocksSent,
                 static_cast<int64_t>(line.BlocksSent) * (line.BlockSize > 0 ? line.BlockSize : 0));
  }
}

}  // namespace

void DispatchControlByte(Station& st, uint8_t byte) {
  int column = ColumnOf(st.Line().LineState);
  if (column < 0) return;
  for (const Row& row : kDispatchTable) {
    if (row.byte != byte) continue;
    const Cell& cell = row.cells[column];
    const Before before{st.Line().LineState, st.Line().SendCount};
    if (cell.reset) st.Line().EnqCount = 0;
    if (cell.first != nullptr) cell.first(st);
    if (cell.second != nullptr) cell.second(st);
    NoteWhatHappened(st, byte, before);
    return;
  }
}

void StampExchange(Station& st) {
  LineEntry& line = st.Line();
  if (line.ExchangeDate[0] != 0) return;
  std::tm now = st.clock.LocalTime();
  FormatDateText(now, line.ExchangeDate);
  FormatTimeText(now, line.ExchangeTime);
  line.ExchangeStart = st.clock.NowSeconds();
  // A new exchange: the last one's result is no longer what the line shows.
  if (line.LastResult[0] != 0) st.ui.UiCall("AFFICHE, RESULTAT,%d= ", st.LineNumber());
}

}  // namespace kavelin2
