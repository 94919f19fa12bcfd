// The entries of a handheld's table file, read one at a time, and the plan
// for cutting the file an entry names into data blocks. Pure: bytes come from
// a reader function, so the tests feed strings.
//
// An entry: a 12-character name field ("ARTICLES.DAT"), then
//   - extension "PD3": the line end (2 bytes); block size 128, kind 'P';
//   - otherwise one separator byte and two characters X1 X2:
//     X1 'T': X1 X2 is the kind, then a 3-digit block size, a 2-digit field
//             count n, 2n width digits, and everything up to the next LF;
//     else:   X1 X2 is the 2-digit block size, then 2 kind characters, and
//             when the second of them is 'S' or 'B' 2 more (the line end).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace kavelin2 {

// Reads up to |n| bytes into |buf|; returns the count read (0 at the end of
// the table or on a read failure).
using TableReadFn = std::function<size_t(uint8_t* buf, size_t n)>;

constexpr int kMaxEntryFields = 16;

struct TableEntry {
  char name[13] = {};          // name field, untrimmed, NUL-terminated
  char kind[3] = {};           // EntryKind
  char block_size[4] = {};     // BlockSizeText as read
  char field_count[3] = {};    // FieldCountText ('T' entries)
  char field_widths[33] = {};  // FieldWidthsText ('T' entries)
  // False when the entry's fields are unusable as read: non-digit or short
  // numbers, more than 16 fields. Such an entry is consumed whole and skipped.
  bool well_formed = true;
  bool pd3 = false;  // extension "PD3": fixed block size 128, kind 'P'
};

// Reads the next entry. Returns false at the end of the table (fewer than 12
// bytes left for a name field).
bool ReadTableEntry(const TableReadFn& read, TableEntry* entry);

// Second kind character of a PD3 entry.
constexpr char kKindPd3 = 'P';

// How the file of an entry is cut into data blocks.
struct BlockPlan {
  int32_t block_size = 0;  // data bytes per frame
  int32_t total = 0;       // number of data blocks
  int64_t start = 0;       // file position of the first block
  bool line_ends = false;  // a 2-byte line end follows every record
  int64_t tail = 0;        // bytes after the last whole record (or a short 4-byte header): not sent
};

// Plans the blocks of a file of |file_size| bytes for |entry|. Returns false
// when the entry cannot be sent: malformed, block size 0, a data frame that
// would not fit the 1032-byte frame buffer, or more than 99999 blocks.
bool PlanBlocks(const TableEntry& entry, int64_t file_size, BlockPlan* plan);

// For a plan with line ends: reads the file from its start (|read| as for the
// table, asked for large blocks) and checks that every record of the plan is
// followed by CR LF. Returns -1 when they all are, else the number (from 0)
// of the first record that is not, or is cut short by the end of the file.
int64_t FirstRecordWithoutLineEnd(const TableReadFn& read, const BlockPlan& plan);

}  // namespace kavelin2
