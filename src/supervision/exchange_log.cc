#include "supervision/exchange_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "station/station.h"

namespace kavelin2 {
namespace {

// Appends printf-style text to |out| (of |size| bytes), never past its end.
void Append(char* out, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
void Append(char* out, size_t size, const char* format, ...) {
  size_t used = strnlen(out, size);
  if (used + 1 >= size) return;
  va_list args;
  va_start(args, format);
  std::vsnprintf(out + used, size - used, format, args);
  va_end(args);
}

void Note(LineEntry::FileNote (&list)[LineEntry::kNotedFiles], int32_t& count, const char* name,
          int32_t records, int64_t bytes) {
  if (count >= 0 && count < LineEntry::kNotedFiles) {
    LineEntry::FileNote& note = list[count];
    std::snprintf(note.name, sizeof note.name, "%s", name);
    note.records = records;
    note.bytes = bytes;
  }
  if (count < INT32_MAX) ++count;
}

// "A (2 records, 30 bytes), B (...)" or "none".
void ListFiles(const Station& st, const LineEntry::FileNote (&list)[LineEntry::kNotedFiles],
               int32_t count, char* out, size_t size) {
  out[0] = 0;
  if (count <= 0) {
    Append(out, size, "%s", LogText(st, "aucun", "none", "ninguno"));
    return;
  }
  const char* item = LogText(st, "%s (%d enreg., %lld octets)", "%s (%d records, %lld bytes)",
                             "%s (%d registros, %lld bytes)");
  int32_t shown = count < LineEntry::kNotedFiles ? count : LineEntry::kNotedFiles;
  for (int32_t i = 0; i < shown; ++i) {
    if (i > 0) Append(out, size, ", ");
    char one[96];
    std::snprintf(one, sizeof one, item, list[i].name, static_cast<int>(list[i].records),
                  static_cast<long long>(list[i].bytes));
    Append(out, size, "%s", one);
  }
  if (count > shown) {
    Append(out, size, LogText(st, " et %d autres", " and %d more", " y %d mas"),
           static_cast<int>(count - shown));
  }
}

// The handheld's identifier as far as the exchange made it known.
void HandheldText(const LineEntry& line, char (&out)[4]) {
  for (int i = 0; i < 3; ++i) {
    unsigned char c = static_cast<unsigned char>(line.HandheldId[i]);
    out[i] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
  out[3] = 0;
}

const char* WarningWord(const Station& st) { return LogText(st, "ATTENTION", "WARNING", "AVISO"); }

}  // namespace

const char* LogText(const Station& st, const char* fr, const char* en, const char* es) {
  const char* text = Localized(st, fr, en, es);
  return text != nullptr ? text : en;
}

void SetFailReason(Station& st, const char* fr, const char* en, const char* es,
                   const char* detail) {
  LineEntry& line = st.Line();
  if (line.FailReason[0] != 0) return;
  const char* text = LogText(st, fr, en, es);
  if (detail != nullptr && detail[0] != 0) {
    std::snprintf(line.FailReason, sizeof line.FailReason, "%s (%s)", text, detail);
  } else {
    std::snprintf(line.FailReason, sizeof line.FailReason, "%s", text);
  }
}

void NoteFileReceived(Station& st, const char* name, int32_t records, int64_t bytes) {
  LineEntry& line = st.Line();
  Note(line.Received, line.ReceivedCount, name, records, bytes);
}

void NoteFileSent(Station& st, const char* name, int32_t records, int64_t bytes) {
  LineEntry& line = st.Line();
  Note(line.Sent, line.SentCount, name, records, bytes);
}

void NoteRefusedHeader(Station& st, const char* name) {
  LineEntry& line = st.Line();
  std::snprintf(line.RefusedHeader, sizeof line.RefusedHeader, "%s", name);
}

void ClearExchangeNotes(LineEntry& line) {
  line.ReceivedCount = 0;
  line.SentCount = 0;
  line.FailReason[0] = 0;
  line.RefusedHeader[0] = 0;
}

void LogExchangeSummary(Station& st, int result, long elapsed_seconds) {
  LineEntry& line = st.Line();
  static const char* const kCodes[] = {"OK", "TO", "ER"};
  const char* code = (result >= 0 && result <= 2) ? kCodes[result] : "ER";

  char reason[sizeof line.LastReason] = {};
  if (result != kResultOk) {
    if (line.FailReason[0] != 0) {
      Append(reason, sizeof reason, "%s", line.FailReason);
    } else if (result == kResultTimeout) {
      Append(reason, sizeof reason, "%s",
             LogText(st, "11 time-out de suite", "11 time-outs in a row", "11 time-out seguidos"));
    } else {
      Append(reason, sizeof reason, "%s", LogText(st, "erreur", "error", "error"));
    }
    if (line.RefusedHeader[0] != 0) {
      Append(reason, sizeof reason,
             LogText(st, "; entete %s refusee", "; header %s refused", "; encabezado %s rechazado"),
             line.RefusedHeader);
    }
  }
  std::snprintf(line.LastResult, sizeof line.LastResult, "%s", code);
  std::snprintf(line.LastReason, sizeof line.LastReason, "%s", reason);

  char received[480];
  char sent[480];
  ListFiles(st, line.Received, line.ReceivedCount, received, sizeof received);
  ListFiles(st, line.Sent, line.SentCount, sent, sizeof sent);
  char id[4];
  HandheldText(line, id);
  char result_text[sizeof reason + 8];
  std::snprintf(result_text, sizeof result_text, reason[0] != 0 ? "%s (%s)" : "%s", code, reason);
  if (elapsed_seconds < 0) elapsed_seconds = 0;
  LogEvent(st,
           LogText(st, "Ligne %d, portable %s : %s, %ld s ; recus : %s ; envoyes : %s",
                   "Line %d, handheld %s: %s, %ld s; received: %s; sent: %s",
                   "Linea %d, portatil %s: %s, %ld s; recibidos: %s; enviados: %s"),
           st.LineNumber(), id, result_text, elapsed_seconds, received, sent);
  ClearExchangeNotes(line);
}

void WarnSkippedEntry(Station& st, const char* entry, SkipWhy why, const char* detail) {
  char id[4];
  HandheldText(st.Line(), id);
  const char* because = nullptr;
  switch (why) {
    case SkipWhy::kUnsafeName:
      because = LogText(st, "nom refuse", "unsafe name", "nombre rechazado");
      break;
    case SkipWhy::kMissingFile:
      because = LogText(st, "fichier absent", "missing file", "fichero ausente");
      break;
    case SkipWhy::kUnsendableSize:
      because = LogText(st, "taille impossible a envoyer", "size cannot be sent",
                        "tamano imposible de enviar");
      break;
  }
  char why_text[160];
  std::snprintf(why_text, sizeof why_text, detail != nullptr ? "%s (%s)" : "%s", because, detail);
  LogEvent(st,
           LogText(st, "%s Ligne %d, portable %s : entree '%s' de la table ignoree : %s",
                   "%s Line %d, handheld %s: table entry '%s' skipped: %s",
                   "%s Linea %d, portatil %s: entrada '%s' de la tabla omitida: %s"),
           WarningWord(st), st.LineNumber(), id, entry, why_text);
}

void WarnNoTable(Station& st, const char* table_path) {
  char id[4];
  HandheldText(st.Line(), id);
  LogEvent(st,
           LogText(st, "%s Ligne %d, portable %s : pas de fichier table %s, rien a envoyer",
                   "%s Line %d, handheld %s: no table file %s, nothing to send",
                   "%s Linea %d, portatil %s: sin fichero de tabla %s, nada que enviar"),
           WarningWord(st), st.LineNumber(), id, table_path);
}

void WarnAppendFailed(Station& st, const char* name, const char* kept) {
  char id[4];
  HandheldText(st.Line(), id);
  LogEvent(st,
           LogText(st, "%s Ligne %d, portable %s : ajout de %s impossible, fichier garde sous %s",
                   "%s Line %d, handheld %s: append of %s failed, upload kept as %s",
                   "%s Linea %d, portatil %s: anadido de %s imposible, fichero guardado como %s"),
           WarningWord(st), st.LineNumber(), id, name, kept);
}

}  // namespace kavelin2
