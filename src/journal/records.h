// The two fixed-width logs of the supervision: "STAT.TXT" (one 37-byte
// record per exchange) and "UNLINK.TXT" (one 118-byte record per partly
// received file that could not be deleted: the file left on disk and the
// upload it held).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file_system.h"

namespace kavelin2 {

struct LineEntry;

constexpr size_t kStatRecordSize = 37;
constexpr size_t kUnlinkRecordSize = 118;
constexpr const char* kStatFileName = "STAT.TXT";
constexpr const char* kUnlinkFileName = "UNLINK.TXT";

// Elapsed exchange time as "HH.MM'SS" (9 bytes with the NUL). Negative times
// count as 0; times of 100 hours or more are clamped to "99.59'59" so that
// the text always fills exactly its 8-character field.
void FormatElapsed(long seconds, char out[9]);

// Appends |n| bytes (whole records) to the log |path| (created readable and
// writable when absent) in one write and makes them durable: the file is
// synced, and when the log was empty before (just created), its directory
// too, so that a power cut cannot take the log's name away with its records.
// OK only once all of that succeeded. On any failure the log is cut back to
// its size before the write, so that it never holds half a record nor a
// record that was not made durable (written again later, it would be there
// twice). When even that cut fails, *torn_at (when given) is the size to cut
// back to before the next append; it is -1 otherwise. A *torn_at of 0 or more
// on entry cuts a longer log back to it first.
FsStatus AppendRecord(FileSystem& fs, const char* path, const char* data, size_t n,
                      int64_t* torn_at = nullptr);

// The two record images, from the line's stamp. |out| receives exactly 37 /
// 118 bytes. |result| is the result log's code (0 OK, 1 TO, 2 ER).
void BuildStatRecord(int result, const LineEntry& line, int line_number, long elapsed_seconds,
                     char out[37]);
void BuildUnlinkRecord(const LineEntry& line, int line_number, char out[118]);

}  // namespace kavelin2
