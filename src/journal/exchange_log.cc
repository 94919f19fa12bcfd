#include "journal/exchange_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

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

// The files of one way of an exchange: only the first kNotedFiles are named,
// the count goes on.
struct FileList {
  static constexpr size_t kNotedFiles = 16;
  struct Note {
    std::string name;
    int32_t records;
    int64_t bytes;
  };
  std::vector<Note> named;
  int64_t count = 0;

  void Add(const std::string& name, int32_t records, int64_t bytes) {
    if (named.size() < kNotedFiles) named.push_back({name.substr(0, 12), records, bytes});
    ++count;
  }
};

// "A (2 records, 30 bytes), B (...)" or "none".
void ListFiles(const Station& st, const FileList& list, char* out, size_t size) {
  out[0] = 0;
  if (list.count <= 0) {
    Append(out, size, "%s", LogText(st, "aucun", "none", "ninguno"));
    return;
  }
  const char* item = LogText(st, "%s (%d enreg., %lld octets)", "%s (%d records, %lld bytes)",
                             "%s (%d registros, %lld bytes)");
  for (size_t i = 0; i < list.named.size(); ++i) {
    if (i > 0) Append(out, size, ", ");
    char one[96];
    std::snprintf(one, sizeof one, item, list.named[i].name.c_str(),
                  static_cast<int>(list.named[i].records),
                  static_cast<long long>(list.named[i].bytes));
    Append(out, size, "%s", one);
  }
  if (list.count > static_cast<int64_t>(list.named.size())) {
    Append(out, size, LogText(st, " et %d autres", " and %d more", " y %d mas"),
           static_cast<int>(list.count - static_cast<int64_t>(list.named.size())));
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

const char* FailText(const Station& st, FailWhy why, ExchangeResult result) {
  switch (why) {
    case FailWhy::kTimeouts:
      return LogText(st, "11 time-out de suite", "11 time-outs in a row", "11 time-out seguidos");
    case FailWhy::kNaks:
      return LogText(st, "11 NAK de suite", "11 NAKs in a row", "11 NAK seguidos");
    case FailWhy::kRejectedFile:
      return LogText(st, "fichier recu rejete (taille ou disque)",
                     "received file rejected (size or disk)",
                     "fichero recibido rechazado (tamano o disco)");
    case FailWhy::kDeviceLost:
      return LogText(st, "appareil perdu", "device lost", "dispositivo perdido");
    case FailWhy::kWriteFailure:
      return LogText(st, "echec d'ecriture", "write failure", "fallo de escritura");
    case FailWhy::kNone:
      break;
  }
  return result == ExchangeResult::kTimeout
             ? LogText(st, "11 time-out de suite", "11 time-outs in a row", "11 time-out seguidos")
             : LogText(st, "erreur", "error", "error");
}

class ExchangeJournal : public EventSink {
 public:
  explicit ExchangeJournal(Station& st) : st_(st) {}

  void OnEvent(const Event& e) override {
    Notes& notes = notes_[e.line];
    std::visit(
        [&](const auto& body) {
          using T = std::decay_t<decltype(body)>;
          if constexpr (std::is_same_v<T, event::HeaderRefused>) {
            notes.refused_header = body.name;
          } else if constexpr (std::is_same_v<T, event::HeaderAccepted>) {
            notes.refused_header.clear();  // accepted after all
          } else if constexpr (std::is_same_v<T, event::FileReceived>) {
            notes.received.Add(body.name, body.records, body.bytes);
          } else if constexpr (std::is_same_v<T, event::EntrySent>) {
            notes.sent.Add(body.name, body.records, body.bytes);
          } else if constexpr (std::is_same_v<T, event::ExchangeEnded>) {
            Summarise(e.line, body);
            notes = Notes{};
          } else if constexpr (std::is_same_v<T, event::EntrySkipped>) {
            WarnSkippedEntry(e.line, body);
          } else if constexpr (std::is_same_v<T, event::NoTable>) {
            Warn(e.line,
                 LogText(st_, "%s Ligne %d, portable %s : pas de fichier table %s, rien a envoyer",
                         "%s Line %d, handheld %s: no table file %s, nothing to send",
                         "%s Linea %d, portatil %s: sin fichero de tabla %s, nada que enviar"),
                 body.table_path.c_str());
          } else if constexpr (std::is_same_v<T, event::AppendKeptAside>) {
            Warn(e.line,
                 LogText(st_,
                         "%s Ligne %d, portable %s : ajout de %s impossible, fichier garde sous %s",
                         "%s Line %d, handheld %s: append of %s failed, upload kept as %s",
                         "%s Linea %d, portatil %s: anadido de %s imposible, fichero guardado "
                         "como %s"),
                 body.name.c_str(), body.kept.c_str());
          } else if constexpr (std::is_same_v<T, event::AppendStuck>) {
            LogEvent(st_,
                     "line %d: append to %s failed and %s cannot be kept aside; the line takes "
                     "no upload until it can",
                     e.line + 1, body.target.c_str(), body.pending.c_str());
          } else if constexpr (std::is_same_v<T, event::DeviceLost>) {
            LogEvent(
                st_,
                LogText(st_, "Ligne %d : appareil %s perdu : %s ; il sera rouvert des son retour",
                        "Line %d: device %s lost: %s; it is reopened as soon as it is back",
                        "Linea %d: dispositivo %s perdido: %s; se reabrira en cuanto vuelva"),
                e.line + 1, body.device.c_str(), body.reason.c_str());
          } else if constexpr (std::is_same_v<T, event::DeviceBack>) {
            LogEvent(st_,
                     LogText(st_, "Ligne %d : appareil %s de nouveau ouvert, la ligne est servie",
                             "Line %d: device %s open again, the line is served",
                             "Linea %d: dispositivo %s abierto de nuevo, la linea se sirve"),
                     e.line + 1, body.device.c_str());
          }
        },
        e.body);
  }

 private:
  struct Notes {
    FileList received;
    FileList sent;
    std::string refused_header;  // the last upload header refused
  };

  // One warning line: the warning word, the line, its handheld, then the
  // rest of |format| (one more %s) with |arg|, and |arg2| when it has two.
  void Warn(int line, const char* format, const char* arg, const char* arg2 = nullptr) {
    char id[4];
    HandheldText(st_.LineTable[line], id);
    LogEvent(st_, format, WarningWord(st_), line + 1, id, arg, arg2);
  }

  void WarnSkippedEntry(int line, const event::EntrySkipped& skip) {
    const char* because = nullptr;
    switch (skip.why) {
      case SkipWhy::kUnsafeName:
        because = LogText(st_, "nom refuse", "unsafe name", "nombre rechazado");
        break;
      case SkipWhy::kMissingFile:
        because = LogText(st_, "fichier absent", "missing file", "fichero ausente");
        break;
      case SkipWhy::kUnsendableSize:
        because = LogText(st_, "taille impossible a envoyer", "size cannot be sent",
                          "tamano imposible de enviar");
        break;
    }
    char detail[128] = {};
    if (skip.why == SkipWhy::kUnsendableSize) {
      std::snprintf(detail, sizeof detail,
                    LogText(st_, "%lld octets, blocs de '%.3s'", "%lld bytes, blocks of '%.3s'",
                            "%lld bytes, bloques de '%.3s'"),
                    static_cast<long long>(skip.size), skip.block_size.c_str());
    } else {
      std::snprintf(detail, sizeof detail, "%s", skip.detail.c_str());
    }
    char why_text[160];
    std::snprintf(why_text, sizeof why_text, detail[0] != 0 ? "%s (%s)" : "%s", because, detail);
    char id[4];
    HandheldText(st_.LineTable[line], id);
    LogEvent(st_,
             LogText(st_, "%s Ligne %d, portable %s : entree '%s' de la table ignoree : %s",
                     "%s Line %d, handheld %s: table entry '%s' skipped: %s",
                     "%s Linea %d, portatil %s: entrada '%s' de la tabla omitida: %s"),
             WarningWord(st_), line + 1, id, skip.entry.c_str(), why_text);
  }

  void Summarise(int line_index, const event::ExchangeEnded& ended) {
    LineEntry& line = st_.LineTable[line_index];
    const Notes& notes = notes_[line_index];
    static const char* const kCodes[] = {"OK", "TO", "ER"};
    const char* code = kCodes[static_cast<int>(ended.result)];

    char reason[sizeof line.LastReason] = {};
    if (ended.result != ExchangeResult::kOk) {
      const char* text = FailText(st_, ended.why, ended.result);
      if (!ended.detail.empty()) {
        Append(reason, sizeof reason, "%s (%s)", text, ended.detail.c_str());
      } else {
        Append(reason, sizeof reason, "%s", text);
      }
      if (!notes.refused_header.empty()) {
        Append(
            reason, sizeof reason,
            LogText(st_, "; entete %s refusee", "; header %s refused", "; encabezado %s rechazado"),
            notes.refused_header.c_str());
      }
    }
    std::snprintf(line.LastResult, sizeof line.LastResult, "%s", code);
    std::snprintf(line.LastReason, sizeof line.LastReason, "%s", reason);

    char received[480];
    char sent[480];
    ListFiles(st_, notes.received, received, sizeof received);
    ListFiles(st_, notes.sent, sent, sizeof sent);
    char id[4];
    HandheldText(line, id);
    char result_text[sizeof reason + 8];
    std::snprintf(result_text, sizeof result_text, reason[0] != 0 ? "%s (%s)" : "%s", code, reason);
    long elapsed = ended.elapsed_seconds < 0 ? 0 : static_cast<long>(ended.elapsed_seconds);
    LogEvent(st_,
             LogText(st_, "Ligne %d, portable %s : %s, %ld s ; recus : %s ; envoyes : %s",
                     "Line %d, handheld %s: %s, %ld s; received: %s; sent: %s",
                     "Linea %d, portatil %s: %s, %ld s; recibidos: %s; enviados: %s"),
             line_index + 1, id, result_text, elapsed, received, sent);
  }

  Station& st_;
  Notes notes_[kLineCount];
};

}  // namespace

const char* LogText(const Station& st, const char* fr, const char* en, const char* es) {
  const char* text = Localized(st, fr, en, es);
  return text != nullptr ? text : en;
}

std::unique_ptr<EventSink> NewExchangeJournal(Station& st) {
  return std::make_unique<ExchangeJournal>(st);
}

}  // namespace kavelin2
