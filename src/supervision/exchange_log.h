// What the station's log says about exchanges: one summary line when an
// exchange ends, and warnings for what a handheld was not sent or an upload
// that could not be appended. Every text is in the station's language
// (English when the language is none of the three, so the log never stays
// silent). All act on st.CurrentLine.
#pragma once

#include <cstdint>

namespace kavelin2 {

struct Station;
struct LineEntry;

// Picks the text of the station's language; |en| for an unknown language.
const char* LogText(const Station& st, const char* fr, const char* en, const char* es);

// Records why the running exchange fails (kept until it ends); |detail|, when
// given, follows in parentheses. The first reason given wins.
void SetFailReason(Station& st, const char* fr, const char* en, const char* es,
                   const char* detail = nullptr);

// Exchange bookkeeping: a file received or sent in full, and the name of an
// upload header the station refused (printable, as trimmed from its field).
void NoteFileReceived(Station& st, const char* name, int32_t records, int64_t bytes);
void NoteFileSent(Station& st, const char* name, int32_t records, int64_t bytes);
void NoteRefusedHeader(Station& st, const char* name);

// Writes the summary line of the exchange that ends with |result| (0 OK, 1 TO,
// 2 ER) after |elapsed_seconds|, fills LastResult and LastReason, and clears
// the bookkeeping for the next exchange.
void LogExchangeSummary(Station& st, int result, long elapsed_seconds);
// Forgets the bookkeeping of an exchange.
void ClearExchangeNotes(LineEntry& line);

// Why a table entry was skipped.
enum class SkipWhy { kUnsafeName, kMissingFile, kUnsendableSize };
// A warning for a table entry that the handheld will not get; |detail| is the
// path looked for or the size found (nullptr: none).
void WarnSkippedEntry(Station& st, const char* entry, SkipWhy why, const char* detail);
// A warning for a handheld that asked for its download without a table file.
void WarnNoTable(Station& st, const char* table_path);
// A warning for an upload that could not be appended to its file; it was kept
// as |kept|.
void WarnAppendFailed(Station& st, const char* name, const char* kept);

}  // namespace kavelin2
