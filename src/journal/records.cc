#include "journal/records.h"

#include <cstdio>
#include <cstring>

#include "station/station.h"

namespace kavelin2 {
namespace {

// Offsets of the "STAT.TXT" record.
constexpr size_t kStatResult = 0;
constexpr size_t kStatHandheld = 3;
constexpr size_t kStatLine = 7;
constexpr size_t kStatDate = 9;
constexpr size_t kStatTime = 18;
constexpr size_t kStatElapsed = 27;
constexpr size_t kStatEnd = 35;

// Offsets of the "UNLINK.TXT" record.
constexpr size_t kUnlinkHandheld = 0;
constexpr size_t kUnlinkLine = 4;
constexpr size_t kUnlinkDate = 6;
constexpr size_t kUnlinkTime = 15;
constexpr size_t kUnlinkPath = 24;
constexpr size_t kUnlinkPathWidth = 92;
constexpr size_t kUnlinkEnd = 116;

// The first |width| characters of |text|, NUL bytes after its end.
void PutPadded(char* out, const char* text, size_t max_text, size_t width) {
  size_t n = strnlen(text, max_text);
  if (n > width) n = width;
  std::memcpy(out, text, n);
  std::memset(out + n, 0, width - n);
}

// The MM/DD/YY date of the exchange written day first: DD/MM/YY (8 bytes).
void PutDayFirstDate(char* out, const char date[9]) {
  std::memcpy(out, date + 3, 3);
  std::memcpy(out + 3, date, 3);
  std::memcpy(out + 6, date + 6, 2);
}

char LineDigit(int line_number) { return static_cast<char>('0' + line_number % 10); }

}  // namespace

void FormatElapsed(long seconds, char out[9]) {
  if (seconds < 0) seconds = 0;
  long h = seconds / 3600;
  long m = seconds / 60 - h * 60;
  long s = seconds - (seconds / 60) * 60;
  if (h > 99) {
    h = 99;
    m = 59;
    s = 59;
  }
  // Each part is within 0..99 here, so the text is exactly 8 characters.
  const long parts[3] = {h, m, s};
  const char separators[3] = {'.', '\'', 0};
  for (int i = 0; i < 3; ++i) {
    out[3 * i] = static_cast<char>('0' + parts[i] / 10);
    out[3 * i + 1] = static_cast<char>('0' + parts[i] % 10);
    out[3 * i + 2] = separators[i];
  }
}

void BuildStatRecord(int result, const LineEntry& line, int line_number, long elapsed_seconds,
                     char out[37]) {
  std::memset(out, ' ', kStatRecordSize);
  static const char* const kResultText[] = {"OK", "TO", "ER"};
  if (result >= 0 && result <= 2) std::memcpy(out + kStatResult, kResultText[result], 2);
  PutPadded(out + kStatHandheld, line.HandheldId, sizeof line.HandheldId, 3);
  out[kStatLine] = LineDigit(line_number);
  PutDayFirstDate(out + kStatDate, line.ExchangeDate);
  std::memcpy(out + kStatTime, line.ExchangeTime, 8);
  char elapsed[9];
  FormatElapsed(elapsed_seconds, elapsed);
  std::memcpy(out + kStatElapsed, elapsed, 8);
  out[kStatEnd] = '\r';
  out[kStatEnd + 1] = '\n';
}

void BuildUnlinkRecord(const LineEntry& line, int line_number, char out[118]) {
  std::memset(out, ' ', kUnlinkRecordSize);
  PutPadded(out + kUnlinkHandheld, line.HandheldId, sizeof line.HandheldId, 3);
  out[kUnlinkLine] = LineDigit(line_number);
  PutDayFirstDate(out + kUnlinkDate, line.ExchangeDate);
  std::memcpy(out + kUnlinkTime, line.ExchangeTime, 8);
  // The file left on disk, then the upload it held under the name it was to
  // take in the same directory: "recu/..RECUFIC.1 CDE.001". The path comes
  // whole first (it is what must be removed by hand); a name that no longer
  // fits after a long directory is cut at the end of the field.
  char text[sizeof line.RecvFilePath + 1 + sizeof line.UploadName];
  size_t path_len = strnlen(line.RecvFilePath, sizeof line.RecvFilePath - 1);
  size_t name_len = strnlen(line.UploadName, sizeof line.UploadName - 1);
  std::memcpy(text, line.RecvFilePath, path_len);
  size_t len = path_len;
  const char* base = std::strrchr(line.RecvFilePath, '/');
  base = base != nullptr ? base + 1 : line.RecvFilePath;
  bool same =
      strnlen(base, path_len) == name_len && std::memcmp(base, line.UploadName, name_len) == 0;
  if (name_len > 0 && !same) {
    text[len++] = ' ';
    std::memcpy(text + len, line.UploadName, name_len);
    len += name_len;
  }
  text[len] = 0;
  PutPadded(out + kUnlinkPath, text, sizeof text, kUnlinkPathWidth);
  out[kUnlinkEnd] = '\r';
  out[kUnlinkEnd + 1] = '\n';
}

bool AppendRecord(FileSystem& fs, const char* path, const char* data, size_t n) {
  std::unique_ptr<File> file;
  if (!fs.Create(path, CreateMode::kAppend, &file).ok()) return false;
  int64_t size = 0;
  bool ok = file->Size(&size).ok();
  if (ok && !file->Write(data, n).ok()) {
    // A partial record would shift every later one: take it back. Should
    // that fail too, the record is lost either way.
    file->Truncate(size);
    ok = false;
  }
  if (!file->Sync().ok()) ok = false;
  return ok;
}

}  // namespace kavelin2
