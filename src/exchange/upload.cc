// Upload of one file from the handheld: ENQ, header frame, one data frame per
// record, EOT. Everything read from the line is checked before it names a
// file or sizes a copy.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "display/station_text.h"
#include "exchange/exchange.h"
#include "exchange/supervision.h"
#include "line/line.h"
#include "platform/crash_point.h"
#include "platform/durable_file.h"
#include "station/station.h"
#include "wire/codec.h"

namespace kavelin2 {
namespace {

// Header frame offsets (after the SOH).
constexpr size_t kNameOffset = 0;
constexpr size_t kNameWidth = 12;
constexpr size_t kCountOffset = 12;
constexpr size_t kCountWidth = 5;
constexpr size_t kFieldCountOffset = 17;
constexpr size_t kWidthsOffset = 19;
// A data frame after the STX is the record plus 7 bytes (number, ETX, BCC)
// and is read whole into FrameBuffer.
constexpr int32_t kDataFrameOverhead = 7;
constexpr int32_t kMaxRecordLength = static_cast<int32_t>(kFrameBufferSize) - kDataFrameOverhead;

struct Header {
  char name[13] = {};
  char count_text[6] = {};
  int32_t record_length = 0;
};

// The lines' temporary files of the append step ("AJOUTFIC.1", "AJOUTFIC.2")
// share the received-files directory: an upload of one of these names would
// be merged with a line's upload in progress, or emptied by its next header.
bool IsTemporaryName(const char* name) {
  for (int n = 1; n <= kLineCount; ++n) {
    char temp[16];
    std::snprintf(temp, sizeof temp, "AJOUTFIC.%d", n);
    if (std::strcmp(name, temp) == 0) return true;
  }
  return false;
}

// Decodes the header body (the |n| bytes before its ETX). False for a header
// that must be refused: a frame too short for its fields, a name that could
// leave the received-files directory or is a line's temporary file, a
// negative number, or records that could not fit FrameBuffer.
bool ParseHeader(const uint8_t* body, size_t n, Header* h) {
  if (n < kWidthsOffset) return false;
  for (size_t i = 0; i < kNameWidth; ++i) {
    if (body[kNameOffset + i] < 0x20 || body[kNameOffset + i] == 0x7F) return false;
  }
  std::memcpy(h->name, body + kNameOffset, kNameWidth);
  h->name[kNameWidth] = 0;
  TrimFileName(h->name);
  if (!IsSafeFileName(h->name) || IsTemporaryName(h->name)) return false;

  std::memcpy(h->count_text, body + kCountOffset, kCountWidth);
  h->count_text[kCountWidth] = 0;
  if (DecimalValue(h->count_text, kCountWidth) < 0) return false;

  int32_t fields = DecimalValue(reinterpret_cast<const char*>(body + kFieldCountOffset), 2);
  if (fields < 0 || n < kWidthsOffset + 2 * static_cast<size_t>(fields)) return false;
  int32_t sum = 0;
  for (int32_t i = 0; i < fields; ++i) {
    int32_t width = DecimalValue(reinterpret_cast<const char*>(body + kWidthsOffset + 2 * i), 2);
    if (width < 0) return false;
    sum += width;  // at most 99 fields of 99
  }
  if (sum > kMaxRecordLength) return false;
  h->record_length = sum;
  return true;
}

// The identifier is the end of the trimmed name; a name shorter than three
// characters keeps the unknown marks in front ("AB" gives "?AB").
void TakeHandheldId(const char* name, char id[4]) {
  char padded[3 + sizeof Header::name];
  std::snprintf(padded, sizeof padded, "???%.12s", name);
  size_t len = std::strlen(padded);
  std::memcpy(id, padded + len - 3, 3);
  id[3] = 0;
}

// Where an upload of |name| ends up: the received-files directory (a plain
// prefix, at most 80 characters) followed by the name.
bool ReceivedFilePath(const Station& st, const char* name, char (&path)[kPathSize]) {
  int w = std::snprintf(path, sizeof path, "%.80s%s", st.Paths.RECU, name);
  return w >= 0 && static_cast<size_t>(w) < sizeof path;
}

// Where line |n| writes an upload while it arrives. A replacing upload goes to
// the line's partial file, so that the earlier file of its name stays whole
// until the new one is complete: "..RECUFIC.n" begins with "..", which no
// header name can (they are refused), nor AJOUTFIC.n or the names the append
// step keeps; at 11 characters it fits wherever a 12-character name fits.
// Any other upload goes to the line's temporary file for the append step.
bool ReceivingPath(const Station& st, int n, char (&path)[kPathSize]) {
  int w = st.Options.APPEND == 'N'
              ? std::snprintf(path, sizeof path, "%.80s..RECUFIC.%d", st.Paths.RECU, n)
              : std::snprintf(path, sizeof path, "%.80sAJOUTFIC.%d", st.Paths.RECU, n);
  return w >= 0 && static_cast<size_t>(w) < sizeof path;
}

// Makes the received file stand durably under its name. The handheld may
// erase its copy once it has our ACK, so this runs before it. A replacing
// upload takes the final name only here: the earlier file is replaced in one
// step, never left missing or half written. An appending upload stays in the
// line's temporary file beside a durable record of where it goes.
// |why| gets the file system's failure, when one was the cause.
bool PutInPlace(Station& st, LineEntry& line, int64_t upload_size, FsStatus* why) {
  *why = st.fs.SyncParentDirectory(line.RecvFilePath);
  if (!why->ok()) return false;
  if (st.Options.APPEND == 'O') {
    bool kept = false;
    if (!KeepRepeatAside(st, line, upload_size, &kept, why)) return false;
    return kept || RecordAppendIntent(st, line, upload_size, why);
  }
  if (st.Options.APPEND != 'N') return true;
  char final_path[kPathSize];
  if (!ReceivedFilePath(st, line.UploadName, final_path)) return false;
  return RenameDurably(st.fs, line.RecvFilePath, final_path, why);
}

// Failures after which the same write will fail again: the handheld is told
// at once (EOT, nothing acknowledged, it keeps its copy) and the exchange
// ends with the system's reason, rather than refusing frame after frame
// until the time-outs end it with no word of the disk.
bool DiskWillNotTake(int code) {
  switch (code) {
    case ENOSPC:
    case EROFS:
    case EACCES:
    case EPERM:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return true;
    default:
      return false;
  }
}

// Ends the exchange for an upload that was not stored, with the system's
// reason when a file operation was the cause.
void AbortNotStored(Station& st, LineEntry& line, const FsStatus& why) {
  if (why.ok()) {
    AbortWithError(st, line, FailWhy::kRejectedFile);
  } else {
    AbortWithError(st, line, FailWhy::kNotStored, FsCodeText(why.code()));
  }
}

// Refuses the header in FrameBuffer: its name field opens the frame, shown
// printable as the handheld sent it.
Io RefuseHeader(Station& st, LineEntry& line) {
  char name[13];
  for (int i = 0; i < 12; ++i) {
    uint8_t c = line.FrameBuffer[i];
    name[i] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  name[12] = 0;
  TrimFileName(name);
  st.Report(line.index, event::HeaderRefused{name});
  return SendByte(st, line, NAK);
}

void ShowHeaderState(Station& st, LineEntry& line) {
  const char* word = Text(st, Msg::kHeader);
  if (word != nullptr) st.ui.UiCall("AFFICHE, ETAT,%d=%s", line.Number(), word);
}

}  // namespace

Io StartUpload(Station& st, LineEntry& line) {
  int n = line.Number();
  line.LinePhase = kPhaseUpload;
  line.LineState = kStateUploadOpen;
  line.EndOfFileAccepted = false;
  st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, Text(st, Msg::kFromHandheld));
  st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, Text(st, Msg::kIdentification));
  st.ui.UiCall("AFFICHE, PORTABLE,%d=%.3s", n, line.HandheldId);
  st.ui.UiCall("AFFICHE, FICHIER,%d=              ", n);
  st.ui.UiCall("AFFICHE, BLOCS,%d=0", n);
  st.ui.UiCall("AFFICHE, TRANS,%d=0", n);
  st.ui.UiCall("AFFICHE, TEMPS,%d=     ", n);
  return SendByte(st, line, ACK);
}

Io ReceiveHeader(Station& st, LineEntry& line) {
  int n = line.Number();
  line.NextBlockNumber = 1;

  // Read up to ETX; the body and its BCC must fit FrameBuffer.
  size_t len = 0;
  uint8_t check = 0;
  bool ended = false;
  while (len < kFrameBufferSize - 1) {
    ByteRead r = WaitByte(st, line);
    if (r.io != Io::kOk) return EndOfRead(st, line, r.io);
    uint8_t b = r.byte;
    line.FrameBuffer[len++] = b;
    check ^= b;
    if (b == ETX) {
      ended = true;
      break;
    }
  }
  if (!ended) {
    return RefuseHeader(st, line);
  }
  ByteRead bcc = WaitByte(st, line);
  if (bcc.io != Io::kOk) return EndOfRead(st, line, bcc.io);
  Header h;
  if (bcc.byte != check || !ParseHeader(line.FrameBuffer, len - 1, &h)) {
    return RefuseHeader(st, line);
  }

  // Both names must fit before anything is created.
  char path[kPathSize];
  char final_path[kPathSize];
  if (!ReceivingPath(st, n, path) || !ReceivedFilePath(st, h.name, final_path)) {
    return RefuseHeader(st, line);
  }
  line.DataFile.reset();
  line.RecvFilePath[0] = 0;
  // The line's temporary file may still hold an acknowledged upload whose
  // append did not complete (a crash, a full disk): it goes to its target or
  // aside first, and when neither is possible the header is refused.
  if (!RecoverLineFiles(st, n, false)) {
    return RefuseHeader(st, line);
  }
  st.fs.Remove(path);
  // Exclusive creation: never write through a name planted after the removal.
  // Written by appends only (AppendAll), the file stays positioned at its end.
  if (FsStatus created = st.fs.Create(path, CreateMode::kExclusive, &line.DataFile);
      !created.ok()) {
    line.DataFile.reset();
    if (!DiskWillNotTake(created.code())) return RefuseHeader(st, line);
    AbortNotStored(st, line, created);
    return Io::kOk;
  }
  std::memcpy(line.RecvFilePath, path, sizeof path);
  std::memcpy(line.UploadName, h.name, sizeof line.UploadName);
  TakeHandheldId(h.name, line.HandheldId);
  std::memcpy(line.BlockCountText, h.count_text, sizeof line.BlockCountText);
  line.RecordLength = h.record_length;

  st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, Text(st, Msg::kFromHandheld));
  ShowHeaderState(st, line);
  st.ui.UiCall("AFFICHE, FICHIER,%d=%s", n, line.UploadName);
  st.ui.UiCall("AFFICHE, PORTABLE,%d=%.3s", n, line.HandheldId);
  st.ui.UiCall("AFFICHE, BLOCS,%d=0", n);
  st.ui.UiCall("AFFICHE, TRANS,%d=0", n);
  st.ui.UiCall("AFFICHE, TEMPS,%d=     ", n);

  line.LineState =
      DecimalValue(line.BlockCountText, kCountWidth) == 0 ? kStateReceiving : kStateHeaderAccepted;
  st.Report(line.index, event::HeaderAccepted{line.UploadName});
  return SendByte(st, line, ACK);
}

Io ReceiveBlock(Station& st, LineEntry& line) {
  int n = line.Number();
  int32_t length = line.RecordLength;
  if (length < 0 || length > kMaxRecordLength) {
    return SendByte(st, line, NAK);
  }
  uint8_t* frame = line.FrameBuffer;
  if (Io io = ReadBytes(st, line, frame, static_cast<uint32_t>(length + kDataFrameOverhead));
      io != Io::kOk) {
    return EndOfRead(st, line, io);
  }
  if (XorBytes(frame, static_cast<size_t>(length) + 6) != frame[length + 6]) {
    return SendByte(st, line, NAK);
  }
  int32_t k = DecimalValue(reinterpret_cast<const char*>(frame), 5);
  if (k > line.NextBlockNumber) {
    return SendByte(st, line, NAK);  // a block is missing
  }
  if (k < line.NextBlockNumber) {
    return SendByte(st, line, ACK);  // our ACK was lost; the block is stored already
  }

  size_t to_write = static_cast<size_t>(length);
  if (st.Options.ADD_CRLF == 'O') {
    frame[5 + length] = '\r';
    frame[6 + length] = '\n';
    to_write += 2;
  }
  const int64_t stored = static_cast<int64_t>(k - 1) * static_cast<int64_t>(to_write);
  if (line.DataFile == nullptr) return SendByte(st, line, NAK);
  if (FsStatus why; !AppendAll(*line.DataFile, stored, frame + 5, to_write, &why)) {
    if (!DiskWillNotTake(why.code())) return SendByte(st, line, NAK);  // it may go through again
    AbortNotStored(st, line, why);
    return Io::kOk;
  }
  CrashPoint(line, "block");

  st.ui.UiCall("AFFICHE, BLOCS,%d=%d", n, k);
  int32_t total = DecimalValue(line.BlockCountText, kCountWidth);
  if (total != 0) {
    st.ui.UiCall("AFFICHE, TRANS,%d=%d %%", n,
                 static_cast<int>(static_cast<int64_t>(k) * 100 / total));
  } else {
    st.ui.UiCall("AFFICHE, TRANS,%d=0", n);
  }
  const char* word = Text(st, Msg::kInProgress);
  if (word != nullptr) st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, word);

  ++line.NextBlockNumber;
  line.LineState = kStateReceiving;
  return SendByte(st, line, ACK);
}

Io ReceiveEndOfFile(Station& st, LineEntry& line) {
  int n = line.Number();
  if (line.LineState != kStateReceiving) {
    return SendByte(st, line, NAK);
  }
  int32_t announced = DecimalValue(line.BlockCountText, kCountWidth);
  int32_t received = line.NextBlockNumber - 1;
  if (announced > received) {
    return SendByte(st, line, NAK);  // blocks are missing; the handheld goes on sending
  }
  int64_t unit = line.RecordLength + (st.Options.ADD_CRLF == 'O' ? 2 : 0);
  int64_t size = 0;
  bool size_ok = announced == received && line.DataFile != nullptr &&
                 line.DataFile->Size(&size).ok() && size == unit * announced;
  if (!size_ok) {
    AbortWithError(st, line, FailWhy::kRejectedFile);
    return Io::kOk;
  }
  CrashPoint(line, "eof");
  // The handheld may erase its copy once it has our ACK: the file and its
  // name must be on stable storage first.
  FsStatus why = line.DataFile->Sync();
  if (!why.ok() || !PutInPlace(st, line, size, &why)) {
    AbortNotStored(st, line, why);
    return Io::kOk;
  }
  CrashPoint(line, "durable");

  line.LineState = kStateIdle;  // LinePhase stays: the exchange goes on
  line.EndOfFileAccepted = true;
  line.DataFile.reset();
  line.RecvFilePath[0] = 0;  // no longer a partial file that a failure would delete
  const Io acked = SendByte(st, line, ACK);
  CrashPoint(line, "ack");
  st.Report(line.index, event::FileReceived{line.UploadName, received, unit * received});

  const char* state = Text(st, Msg::kEnd);
  const char* phase = Text(st, Msg::kWaiting);
  if (state != nullptr) st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, state);
  if (phase != nullptr) st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);

  if (st.Options.APPEND == 'O') AppendReceivedFile(st, line);
  return acked;
}

Io RepeatEndOfFile(Station& st, LineEntry& line) {
  // Only the EOT of the file just accepted, in the same exchange: the file
  // stands durably already, so the answer is all that was missing.
  if (!line.EndOfFileAccepted || line.LinePhase != kPhaseUpload) return Io::kOk;
  return SendByte(st, line, ACK);
}

}  // namespace kavelin2
