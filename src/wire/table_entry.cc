#include "wire/table_entry.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "wire/codec.h"

namespace kavelin2 {
namespace {

// Reads exactly |n| bytes unless the table ends first; returns the count.
size_t ReadUpTo(const TableReadFn& read, char* out, size_t n) {
  size_t got = 0;
  while (got < n) {
    size_t r = read(reinterpret_cast<uint8_t*>(out) + got, n - got);
    if (r == 0) break;
    got += r;
  }
  return got;
}

// Reads |n| characters into a field of at least n + 1 bytes and ends it with
// NUL after what came.
size_t ReadText(const TableReadFn& read, char* field, size_t n) {
  size_t got = ReadUpTo(read, field, n);
  field[got] = 0;
  return got;
}

void Skip(const TableReadFn& read, size_t n) {
  char scratch[4];
  ReadUpTo(read, scratch, n);
}

// Skips up to and including the next LF; the end of the table counts as LF.
void SkipLine(const TableReadFn& read) {
  uint8_t b = 0;
  while (read(&b, 1) == 1 && b != '\n') {
  }
}

// A decimal field of exactly |n| characters as the protocol reads numbers:
// leading blanks skipped (" 8" is 8, as a "%2d" writes it), then at least one
// digit and nothing but digits to the end of the field.
bool DecimalField(const char* text, size_t n, int32_t* value = nullptr) {
  if (std::strlen(text) != n) return false;
  size_t i = 0;
  while (i < n && text[i] == ' ') ++i;
  if (i == n) return false;
  int32_t v = 0;
  for (; i < n; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  if (value != nullptr) *value = v;
  return true;
}

}  // namespace

bool ReadTableEntry(const TableReadFn& read, TableEntry* e) {
  *e = TableEntry{};
  if (ReadUpTo(read, e->name, 12) < 12) return false;
  e->name[12] = 0;

  if (std::memcmp(e->name + 9, "PD3", 3) == 0) {
    std::memcpy(e->block_size, "128", 4);
    e->kind[0] = ' ';
    e->kind[1] = kKindPd3;
    e->pd3 = true;
    Skip(read, 2);
    return true;
  }

  Skip(read, 1);  // separator
  char x[3] = {};
  ReadText(read, x, 2);
  if (x[0] == 'T') {
    std::memcpy(e->kind, x, 3);
    ReadText(read, e->block_size, 3);
    ReadText(read, e->field_count, 2);
    int32_t n = 0;
    e->well_formed = DecimalField(e->block_size, 3) && DecimalField(e->field_count, 2, &n);
    if (n > kMaxEntryFields) {
      // FieldWidthsText holds 16 widths: such an entry cannot be described
      // to the handheld, so it is skipped (the rest of its line goes below).
      e->well_formed = false;
    } else if (e->well_formed) {
      size_t want = static_cast<size_t>(2 * n);
      ReadText(read, e->field_widths, want);
      for (size_t i = 0; e->well_formed && i < want; i += 2) {
        char width[3] = {e->field_widths[i], e->field_widths[i + 1], 0};
        e->well_formed = DecimalField(width, 2);
      }
      if (std::strlen(e->field_widths) != want) e->well_formed = false;
    }
    SkipLine(read);
    return true;
  }

  std::memcpy(e->block_size, x, 3);
  e->well_formed = DecimalField(e->block_size, 2);
  ReadText(read, e->kind, 2);
  if (e->kind[1] == 'S' || e->kind[1] == 'B') Skip(read, 2);
  return true;
}

bool PlanBlocks(const TableEntry& e, int64_t file_size, BlockPlan* plan) {
  *plan = BlockPlan{};
  if (!e.well_formed) return false;
  size_t digits = (e.pd3 || e.kind[0] == 'T') ? 3 : 2;
  int32_t b = 0;
  if (!DecimalField(e.block_size, digits, &b)) return false;
  // STX, five digits, the data, ETX and BCC must fit the frame buffer.
  if (b <= 0 || static_cast<size_t>(b) + 8 > kFrameBufferSize) return false;
  if (file_size < 0) file_size = 0;

  int64_t total;
  if (e.kind[1] == 'S') {
    // A file shorter than its 4-byte header has no blocks (not a negative count).
    total = file_size >= 4 ? (file_size - 4) / b : 0;
    plan->start = 4;
  } else if (e.kind[1] == 'B') {
    total = file_size / b;
  } else {
    total = file_size / (b + 2);
    plan->line_ends = true;
  }
  if (total > 99999) return false;  // the block fields have five digits
  plan->block_size = b;
  plan->total = static_cast<int32_t>(total);
  const int64_t stride = plan->line_ends ? b + 2 : b;
  plan->tail = file_size >= plan->start ? file_size - plan->start - total * stride : file_size;
  return true;
}

int64_t FirstRecordWithoutLineEnd(const TableReadFn& read, const BlockPlan& plan) {
  if (!plan.line_ends || plan.total <= 0) return -1;
  const int64_t stride = static_cast<int64_t>(plan.block_size) + 2;
  const int64_t end = stride * plan.total;  // the line ends checked lie before this
  std::vector<uint8_t> block(64 * 1024);
  int64_t at = 0;  // file offset of block[0]
  int64_t record = 0;
  // A line end may straddle two blocks: its CR seen in one, its LF due next.
  bool lf_due = false;
  while (at < end) {
    size_t want =
        static_cast<size_t>(std::min<int64_t>(end - at, static_cast<int64_t>(block.size())));
    size_t got = read(block.data(), want);
    if (got == 0) return record;  // the file ended (or failed) before this record's line end
    const int64_t stop = at + static_cast<int64_t>(got);
    if (lf_due) {
      if (block[0] != '\n') return record;
      lf_due = false;
      ++record;
    }
    for (int64_t cr = record * stride + plan.block_size; cr < stop; cr += stride) {
      if (block[static_cast<size_t>(cr - at)] != '\r') return record;
      if (cr + 1 == stop) {
        lf_due = true;
        break;
      }
      if (block[static_cast<size_t>(cr + 1 - at)] != '\n') return record;
      ++record;
    }
    at = stop;
  }
  return lf_due ? record : -1;
}

}  // namespace kavelin2
