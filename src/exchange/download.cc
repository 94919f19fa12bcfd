// The download side of an exchange: the identification that opens it and the
// steps that each ACK of the handheld drives, from the table file of the
// handheld to its last RS.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "display/station_text.h"
#include "exchange/exchange.h"
#include "exchange/supervision.h"
#include "line/line.h"
#include "station/station.h"
#include "wire/codec.h"
#include "wire/table_entry.h"

namespace kavelin2 {
namespace {

// Reads up to |n| bytes, retrying short reads; 0 at the end or on failure
// (what came before a failure is kept).
size_t ReadUpTo(File* file, uint8_t* buf, size_t n) {
  if (file == nullptr) return 0;
  size_t got = 0;
  file->ReadFull(buf, n, &got);
  return got;
}

// A file opened to be sent or read as a table, or why it cannot be.
struct Opened {
  std::unique_ptr<File> file;
  SkipWhy why = SkipWhy::kMissingFile;
  std::string detail;  // the path, with what stands there or the system's reason
};

// Opens |path| for reading when a regular file stands there. The open never
// waits (a FIFO listed in a table would otherwise hold both lines until
// someone writes to it) and what the file is comes from the open handle, not
// from a look at the path before, which could have changed in between.
Opened OpenRegularFile(FileSystem& fs, const char* path) {
  Opened o;
  FsStatus s = fs.OpenForReading(path, &o.file);
  if (!s.ok()) {
    o.file.reset();
    switch (s.code()) {
      case ENOENT:
      case ENOTDIR:
        o.why = SkipWhy::kMissingFile;
        o.detail = path;
        break;
      case EISDIR:
        o.why = SkipWhy::kDirectory;
        o.detail = path;
        break;
      default:
        o.why = SkipWhy::kUnreadable;
        o.detail = s.text();  // "open trans/A.DAT: Permission denied"
        break;
    }
    return o;
  }
  const FileKind kind = o.file->Kind();
  if (kind == FileKind::kRegular) return o;
  o.file.reset();
  o.why = kind == FileKind::kDirectory ? SkipWhy::kDirectory : SkipWhy::kNotRegular;
  o.detail = std::string(path) + ": " + FileKindName(kind);
  return o;
}

// Reads |file| from its start for the check of its line ends, in large
// blocks.
int64_t FirstMisplacedLineEnd(File& file, const BlockPlan& plan) {
  if (!file.Seek(0).ok()) return 0;
  const TableReadFn read = [&file](uint8_t* buf, size_t count) {
    return ReadUpTo(&file, buf, count);
  };
  return FirstRecordWithoutLineEnd(read, plan);
}

// A control byte sent as a one-byte frame, so that a NAK sends it again.
Io SendSingleByteFrame(Station& st, LineEntry& line, uint8_t byte) {
  line.FrameBuffer[0] = byte;
  line.FrameChecked = 0;
  line.FrameLength = 1;
  return SendFrame(st, line);
}

// Puts |text| after the lead byte and sends it as a checked frame.
Io SendTextFrame(Station& st, LineEntry& line, uint8_t lead, const char* text) {
  size_t n = strnlen(text, kFrameBufferSize - 3);
  line.FrameBuffer[0] = lead;
  std::memcpy(line.FrameBuffer + 1, text, n);
  line.FrameChecked = 1;
  line.FrameLength = static_cast<int32_t>(n + 1);
  return SendFrame(st, line);
}

// |value| (0..99999) as five digits with leading zeros.
void FiveDigits(int32_t value, char out[6]) {
  if (value < 0) value = 0;
  if (value > 99999) value = 99999;
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", static_cast<int>(value));
  std::memcpy(out, digits, 6);
  out[5] = 0;
  PadZero5(out);
}

// An identifier that may name a table file: no control characters and no
// byte that could leave the table directory or change the name's shape.
bool IsSafeIdentifier(const uint8_t id[3]) {
  for (int i = 0; i < 3; ++i) {
    uint8_t c = id[i];
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == '.') return false;
  }
  return true;
}

// The table is done: RS tells the handheld that nothing more comes.
Io EndOfTable(Station& st, LineEntry& line) {
  line.LineState = kStateTableDone;
  line.TableFile.reset();
  return SendSingleByteFrame(st, line, RS);
}

// Entries of the table looked at in one pass of the loop.
constexpr int kEntriesPerPass = 256;

// State '3': announces the next sendable file of the table, or ends the table.
Io AnnounceNextFile(Station& st, LineEntry& line) {
  const int n = line.Number();
  const TableReadFn read = [&line](uint8_t* buf, size_t count) {
    return ReadUpTo(line.TableFile.get(), buf, count);
  };
  // Shown once per step, not once per entry: a table of thousands of
  // entries that cannot be sent would otherwise send the UI as many
  // identical commands while both lines wait.
  bool phase_shown = line.StepResumes;  // by the part of the step before
  line.StepResumes = false;
  for (int looked_at = 0;; ++looked_at) {
    // Each entry that cannot be sent costs an open; past a few hundred the
    // step lets the other line have its turn and goes on at the next pass.
    // The handheld only waits longer for its answer.
    if (looked_at == kEntriesPerPass) {
      line.StepResumes = true;
      return Io::kOk;
    }
    TableEntry entry;
    if (!ReadTableEntry(read, &entry)) return EndOfTable(st, line);
    if (!phase_shown) st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, Text(st, Msg::kToHandheld));
    phase_shown = true;
    std::memcpy(line.TableEntryName, entry.name, sizeof line.TableEntryName);
    std::memcpy(line.EntryKind, entry.kind, sizeof line.EntryKind);
    std::memcpy(line.BlockSizeText, entry.block_size, sizeof line.BlockSizeText);
    if (entry.kind[0] == 'T' && !entry.pd3) {
      std::memcpy(line.FieldCountText, entry.field_count, sizeof line.FieldCountText);
      std::memcpy(line.FieldWidthsText, entry.field_widths, sizeof line.FieldWidthsText);
    }

    // Files are only ever read from the directory of files to transmit: an
    // entry whose name could reach elsewhere is skipped like a missing file.
    char trimmed[13];
    std::memcpy(trimmed, entry.name, sizeof trimmed);
    TrimFileName(trimmed);
    if (!IsSafeFileName(trimmed)) {
      st.Report(line.index, event::EntrySkipped{trimmed, SkipWhy::kUnsafeName, "", -1, ""});
      continue;
    }
    std::snprintf(line.SendFilePath, sizeof line.SendFilePath, "%s%s", st.Paths.TRANS, trimmed);
    line.DataFile.reset();
    Opened opened = OpenRegularFile(st.fs, line.SendFilePath);
    if (opened.file == nullptr) {  // the handheld never hears of it
      st.Report(line.index, event::EntrySkipped{trimmed, opened.why, opened.detail, -1, ""});
      continue;
    }
    line.DataFile = std::move(opened.file);
    int64_t size = 0;
    BlockPlan plan;
    if (!line.DataFile->Size(&size).ok() || !PlanBlocks(entry, size, &plan)) {
      // An entry that cannot be sent (no block size, too many blocks, a
      // frame too large for the buffer) is skipped like a missing file.
      line.DataFile.reset();
      st.Report(line.index,
                event::EntrySkipped{trimmed, SkipWhy::kUnsendableSize, "", size,
                                    std::string(entry.block_size, strnlen(entry.block_size, 3))});
      continue;
    }
    const std::string block_field(entry.block_size, strnlen(entry.block_size, 3));
    // Text lines: a record that does not end in CR LF where the block size
    // puts it means the size is not the file's (lines of 62 listed as 64):
    // sent, every record would be shifted and the handheld would store
    // garbage. The handheld never hears of it.
    if (plan.line_ends && FirstMisplacedLineEnd(*line.DataFile, plan) >= 0) {
      line.DataFile.reset();
      st.Report(line.index, event::EntrySkipped{trimmed, SkipWhy::kMisaligned, line.SendFilePath,
                                                size, block_field});
      continue;
    }
    if (plan.tail > 0) {
      st.Report(line.index, event::EntryTailNotSent{trimmed, line.SendFilePath, size,
                                                    plan.block_size, plan.tail});
    }

    st.ui.UiCall("AFFICHE, FICHIER,%d=%s", n, trimmed);
    std::memcpy(line.DatFileName, trimmed, sizeof line.DatFileName);
    size_t len = std::strlen(line.DatFileName);
    size_t ext = len >= 3 ? len - 3 : 0;  // a shorter name becomes "DAT"
    std::memcpy(line.DatFileName + ext, "DAT", 4);
    std::memset(line.HeaderName, ' ', 12);
    std::memcpy(line.HeaderName, line.DatFileName, std::strlen(line.DatFileName));
    line.HeaderName[12] = 0;

    line.BlockTotal = plan.total;
    line.DataFile->Seek(plan.start);
    FiveDigits(line.BlockTotal, line.BlockTotalText);
    std::memcpy(line.BlockCountText, line.BlockTotalText, sizeof line.BlockCountText);

    char text[32];
    if (line.EntryKind[1] == 'S') {
      std::snprintf(text, sizeof text, "%.8s.DAT%sS", line.TableEntryName, line.BlockTotalText);
    } else if (line.EntryKind[1] == kKindPd3) {
      std::snprintf(text, sizeof text, "%.8s.PD3%s", line.TableEntryName, line.BlockTotalText);
    } else if (line.EntryKind[0] == 'T') {
      std::snprintf(text, sizeof text, "%s%s", line.DatFileName, line.BlockTotalText);
    } else {
      std::snprintf(text, sizeof text, "%.8s.DAT%s", line.TableEntryName, line.BlockTotalText);
    }
    line.LineState = kStateNameSent;
    return SendTextFrame(st, line, SOH, text);
  }
}

// State '5': the header frame, in the layout of an upload header (PD3 aside).
Io SendHeader(Station& st, LineEntry& line) {
  const int n = line.Number();
  if (const char* s = Text(st, Msg::kHeader)) {
    st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, s);
  }
  line.BlocksSent = 0;
  line.BlockSize = DecimalValue(line.BlockSizeText, 3);
  line.LineState = kStateSendingData;

  char text[80];
  if (line.EntryKind[1] == kKindPd3) {
    std::snprintf(text, sizeof text, "%.8s.PD3%s", line.TableEntryName, line.BlockTotalText);
  } else if (line.EntryKind[0] == 'T') {
    std::snprintf(text, sizeof text, "%s%s%s%s", line.HeaderName, line.BlockTotalText,
                  line.FieldCountText, line.FieldWidthsText);
  } else {
    std::snprintf(text, sizeof text, "%.8s.DAT%s01%s", line.TableEntryName, line.BlockTotalText,
                  line.BlockSizeText);
  }
  return SendTextFrame(st, line, SOH, text);
}

// State '6': the next data frame, or EOT when the file is done.
Io SendNextBlock(Station& st, LineEntry& line) {
  const int n = line.Number();
  // The block size was checked against the buffer when the entry was read;
  // the bound here only keeps the buffer safe whatever happens in between.
  int32_t size = line.BlockSize;
  if (size < 0 || static_cast<size_t>(size) + 8 > kFrameBufferSize) size = 0;
  line.FrameBuffer[0] = STX;
  line.FrameLength = size + 6;

  st.ui.UiCall("AFFICHE, BLOCS,%d=%d", n, line.BlocksSent);
  int32_t announced = DecimalValue(line.BlockCountText, sizeof line.BlockCountText);
  if (announced != 0) {
    st.ui.UiCall("AFFICHE, TRANS,%d=%d %%", n, line.BlocksSent * 100 / announced);
  } else {
    st.ui.UiCall("AFFICHE, TRANS,%d=0", n);
  }

  size_t got = ReadUpTo(line.DataFile.get(), line.FrameBuffer + 6, static_cast<size_t>(size));
  if (size > 0 && got == static_cast<size_t>(size) && line.BlocksSent < line.BlockTotal) {
    if (line.EntryKind[1] != 'S' && line.EntryKind[1] != 'B') {
      line.DataFile->Skip(2);  // the record's line end
    }
    ++line.BlocksSent;
    char number[6];
    FiveDigits(line.BlocksSent, number);
    std::memcpy(line.FrameBuffer + 1, number, 5);
    line.FrameChecked = 1;
    const Io io = SendFrame(st, line);
    if (const char* s = Text(st, Msg::kInProgress)) {
      st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, s);
    }
    return io;
  }

  // Done, or the file ended early: the handheld gets EOT at once either way.
  // Only a file whose every announced block was acknowledged counts as sent.
  if (line.BlocksSent == line.BlockTotal) line.SentFiles.emplace_back(line.SendFilePath);
  line.LineState = kStateNextEntry;
  line.DataFile.reset();
  const Io io = SendSingleByteFrame(st, line, EOT);
  char name[sizeof line.TableEntryName];
  std::memcpy(name, line.TableEntryName, sizeof name);
  name[sizeof name - 1] = 0;
  TrimFileName(name);
  st.Report(line.index,
            event::EntrySent{name, line.BlocksSent,
                             static_cast<int64_t>(line.BlocksSent) * std::max(line.BlockSize, 0)});
  const char* state = Text(st, Msg::kEnd);
  const char* phase = Text(st, Msg::kWaiting);
  if (state != nullptr && phase != nullptr) {
    st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, state);
    st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, phase);
  }
  return io;
}

}  // namespace

Io StartDownload(Station& st, LineEntry& line) {
  const int n = line.Number();
  line.LinePhase = kPhaseDownload;
  st.ui.UiCall("AFFICHE, ETAT,%d=%s", n, Text(st, Msg::kIdentification));
  st.ui.UiCall("AFFICHE, PORTABLE,%d=%.3s", n, line.HandheldId);
  st.ui.UiCall("AFFICHE, PHASE,%d=%s", n, Text(st, Msg::kToHandheld));

  uint8_t id[3];
  uint8_t check = 0;
  for (int i = 0; i < 3; ++i) {
    ByteRead r = WaitByte(st, line);
    if (r.io != Io::kOk) return EndOfRead(st, line, r.io);
    id[i] = r.byte;
    line.FrameBuffer[i] = id[i];
    check ^= id[i];
  }
  ByteRead received = WaitByte(st, line);
  if (received.io != Io::kOk) return EndOfRead(st, line, received.io);
  // The identifier names a file: one that could not name a table file in the
  // table directory is refused like a bad check.
  if (received.byte != check || !IsSafeIdentifier(id)) {
    line.LineState = kStateIdle;
    return SendByte(st, line, NAK);
  }

  std::memcpy(line.HandheldId, id, 3);
  line.HandheldId[3] = 0;
  line.ReachedDownloadStart = true;
  st.ui.UiCall("AFFICHE, PORTABLE,%d=%.3s", n, line.HandheldId);
  if (Io io = SendByte(st, line, ACK); io != Io::kOk) return io;

  char path[kPathSize];
  std::snprintf(path, sizeof path, "%sTABLE.%.3s", st.Paths.TABLE, line.HandheldId);
  std::memcpy(line.TablePath, path, sizeof line.TablePath);
  line.TableFile.reset();
  Opened table = OpenRegularFile(st.fs, line.TablePath);
  if (table.file == nullptr) {
    if (table.why == SkipWhy::kMissingFile) {
      st.Report(line.index, event::NoTable{line.TablePath});
    } else {
      st.Report(line.index, event::TableNotRead{line.TablePath, table.why, table.detail});
    }
    if (line.ExchangeDate[0] == 0) {
      // No upload came first: clear the figures of an earlier exchange.
      st.ui.UiCall("AFFICHE, FICHIER,%d=             ", n);
      st.ui.UiCall("AFFICHE, BLOCS,%d=0", n);
      st.ui.UiCall("AFFICHE, TRANS,%d=0", n);
      st.ui.UiCall("AFFICHE, TEMPS,%d=     ", n);
    }
    line.LineState = kStateTableDone;
    return SendSingleByteFrame(st, line, RS);
  }
  // Entries are a few bytes each: read through a buffer, a table of
  // thousands of entries costs a few reads, not several per entry.
  line.TableFile = NewBufferedReader(std::move(table.file));
  line.LineState = kStateNextEntry;
  line.SentFiles.clear();
  return SendSingleByteFrame(st, line, ENQ);
}

Io ResumeStep(Station& st, LineEntry& line) {
  if (line.LinePhase != kPhaseDownload || line.LineState != kStateNextEntry) {
    line.StepResumes = false;
    return Io::kOk;
  }
  return AnnounceNextFile(st, line);
}

Io DownloadStep(Station& st, LineEntry& line) {
  line.NakCount = 0;
  switch (line.LineState) {
    case kStateNextEntry:
      return AnnounceNextFile(st, line);
    case kStateNameSent:
      st.clock.SleepMs(200);  // the handheld needs a moment before the ENQ
      line.LineState = kStateEnqSent;
      return SendSingleByteFrame(st, line, ENQ);
    case kStateEnqSent:
      return SendHeader(st, line);
    case kStateSendingData:
      return SendNextBlock(st, line);
    case kStateTableDone:
      if (st.Options.SUP_FIC == 'O') RemoveSentFiles(st, line);
      if (st.Options.SUP_TAB == 'O' && st.fs.Remove(line.TablePath).ok()) {
        MakeRemovalDurable(st, line.TablePath);
      }
      EndExchange(st, line, ExchangeResult::kOk);
      return Io::kOk;
    default:
      return Io::kOk;  // upload and idle states: an ACK there only clears the NAK count
  }
}

}  // namespace kavelin2
