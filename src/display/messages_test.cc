#include "display/messages.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace kavelin2 {
namespace {

constexpr Language kKnown[] = {Language::kFrench, Language::kEnglish, Language::kSpanish};

std::vector<Msg> AllIds() {
  std::vector<Msg> ids;
  for (size_t i = 0; i < kMsgCount; ++i) ids.push_back(static_cast<Msg>(i));
  return ids;
}

// The printf conversions of |text| in order, each as written ("%d", "%.3s",
// "%lld"); "%%" is no conversion. A conversion that does not end in a
// conversion character is reported as written, marked "?".
std::vector<std::string> Conversions(const char* text) {
  std::vector<std::string> out;
  for (const char* p = text; *p != 0; ++p) {
    if (*p != '%') continue;
    const char* start = p++;
    if (*p == '%') continue;
    while (*p != 0 && std::strchr("-+ #0", *p) != nullptr) ++p;
    while (*p != 0 && (std::isdigit(static_cast<unsigned char>(*p)) || *p == '.' || *p == '*')) ++p;
    while (*p != 0 && std::strchr("hljztL", *p) != nullptr) ++p;
    if (*p == 0 || std::strchr("diouxXcsfeEgGp", *p) == nullptr) {
      out.push_back(std::string(start, p) + "?");
      if (*p == 0) break;
      continue;
    }
    out.emplace_back(start, p + 1);
  }
  return out;
}

TEST(Conversions, ReadsWhatPrintfReads) {
  struct Case {
    const char* text;
    std::vector<std::string> want;
  };
  const Case cases[] = {
      {"no values", {}},
      {"%d %% done", {"%d"}},
      {"PORT%d: \"%.40s\" %s", {"%d", "%.40s", "%s"}},
      {"%s (%d records, %lld bytes)", {"%s", "%d", "%lld"}},
      {"%ld s", {"%ld"}},
      {"50%", {"%?"}},
      {"%q and %d", {"%?", "%d"}},
  };
  for (const Case& c : cases) EXPECT_EQ(Conversions(c.text), c.want) << c.text;
}

TEST(Messages, EveryIdHasATextInEachLanguageTakingTheSameValues) {
  for (Msg id : AllIds()) {
    SCOPED_TRACE(static_cast<int>(id));
    const char* fr = Text(Language::kFrench, id);
    const char* en = Text(Language::kEnglish, id);
    const char* es = Text(Language::kSpanish, id);
    ASSERT_NE(fr, nullptr);
    ASSERT_NE(en, nullptr);
    ASSERT_NE(es, nullptr);
    EXPECT_NE(fr[0], 0);
    EXPECT_NE(en[0], 0);
    EXPECT_NE(es[0], 0);
    // The callers pass one set of values whatever the language.
    const std::vector<std::string> want = Conversions(en);
    EXPECT_EQ(Conversions(fr), want) << fr;
    EXPECT_EQ(Conversions(es), want) << es;
    for (const std::string& c : want) EXPECT_EQ(c.find('?'), std::string::npos) << en;
  }
}

TEST(Messages, AnUnknownLanguageGetsOnlyTheTextsThatAreNotTranslated) {
  int untranslated = 0;
  for (Msg id : AllIds()) {
    SCOPED_TRACE(static_cast<int>(id));
    const char* text = Text(Language::kUnknown, id);
    if (text == nullptr) continue;
    ++untranslated;
    for (Language l : kKnown) EXPECT_STREQ(Text(l, id), text);
  }
  // Both kinds exist: a lookup that answered nullptr (or a text) for every
  // id would pass the loop above.
  EXPECT_GT(untranslated, 0);
  EXPECT_LT(untranslated, static_cast<int>(kMsgCount));
  EXPECT_EQ(Text(Language::kUnknown, Msg::kWaiting), nullptr);
  EXPECT_STREQ(Text(Language::kUnknown, Msg::kToHandheld), "PC -> PORTABLE");
}

TEST(Messages, NoTextForAnIdOutsideTheTable) {
  for (Language l : kKnown) EXPECT_EQ(Text(l, Msg::kCount), nullptr);
}

// The bytes the station has always sent, spellings and UTF-8 accents
// included: the UI runtime shows them and the log is read as written.
TEST(Messages, TextsAreTheBytesTheStationSends) {
  struct Case {
    Language language;
    Msg id;
    const char* bytes;
  };
  const Case cases[] = {
      {Language::kFrench, Msg::kWaiting, "ATTENTE"},
      {Language::kEnglish, Msg::kWaiting, "WAITING"},
      {Language::kSpanish, Msg::kWaiting, "ESPERA"},
      {Language::kEnglish, Msg::kOffLine, "OFF LINE"},
      {Language::kSpanish, Msg::kEnd, "FINAL"},
      {Language::kEnglish, Msg::kHeader, "HEAD"},
      {Language::kSpanish, Msg::kInProgress, "EN PROCESO"},
      {Language::kFrench, Msg::kAppendFailedState, "AJOUT IMPOSSIBLE"},
      {Language::kSpanish, Msg::kDisconnected, "DESCONECTADO"},
      {Language::kSpanish, Msg::kFromHandheld, "PORTABLE -> PC"},
      {Language::kEnglish, Msg::kPortUnavailableBox, "Unvailable port %s."},
      {Language::kSpanish, Msg::kPortUnavailableBox, "Puerto %s inalienable."},
      {Language::kFrench, Msg::kCreatePathQuestion,
       "Chemin inexistant. Voulez vous le cr\xC3\xA9"
       "er?"},
      {Language::kFrench, Msg::kCannotCreateDirectory,
       "Cr\xC3\xA9"
       "ation imposible du r\xC3\xA9pertoire "},
      {Language::kEnglish, Msg::kQuitQuestion, "Are you sure to quit KAVELIN2 ?"},
      {Language::kSpanish, Msg::kEmptyResultFile, "Fichero de resultados vasillo."},
      {Language::kFrench, Msg::kTableLineTooLong,
       "Format de la table incorrect \n Taille limit\xC3\xA9"
       "e \xC3\xA0 60."},
      {Language::kSpanish, Msg::kTableLineTooLong,
       "Formato de la tabla incorrecto \n el tama\xC3\xB1o no puede superar los 60."},
      {Language::kSpanish, Msg::kTablePathCaption, "Camino de acceso a la tablas"},
      {Language::kFrench, Msg::kNotAPortName,
       "PORT%d: \"%.40s\" n'est pas un nom de port, %s reste"},
      {Language::kFrench, Msg::kUnknownLanguageSetting,
       "LANGUE.CFG ne contient aucune langue connue (Francais, Anglais, Espagnol): "
       "Francais utilise"},
      {Language::kFrench, Msg::kUploadStuck,
       "line %d: append to %s failed and %s cannot be kept aside; the line takes no upload "
       "until it can"},
      {Language::kFrench, Msg::kFileItem, "%s (%d enreg., %lld octets)"},
      {Language::kSpanish, Msg::kMoreFiles, " y %d mas"},
      {Language::kEnglish, Msg::kTimeoutsInARow, "11 time-outs in a row"},
      {Language::kSpanish, Msg::kGenericError, "error"},
      {Language::kFrench, Msg::kWarning, "ATTENTION"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(Text(c.language, c.id), c.bytes) << static_cast<int>(c.id);
  }
}

// Whole log lines as the station writes them once their values are in.
TEST(Messages, FormattedLinesAreTheOnesTheStationLogs) {
  char line[256];
  std::snprintf(line, sizeof line, Text(Language::kFrench, Msg::kExchangeSummary), 2, "A01", "OK",
                12L, "CDE.001 (3 enreg., 90 octets)", "aucun");
  EXPECT_STREQ(line,
               "Ligne 2, portable A01 : OK, 12 s ; recus : CDE.001 (3 enreg., 90 octets) ; "
               "envoyes : aucun");
  std::snprintf(line, sizeof line, Text(Language::kSpanish, Msg::kNoTable),
                Text(Language::kSpanish, Msg::kWarning), 1, "007", "TABLE/TABLE.007");
  EXPECT_STREQ(line,
               "AVISO Linea 1, portatil 007: sin fichero de tabla TABLE/TABLE.007, nada que "
               "enviar");
  std::snprintf(line, sizeof line, Text(Language::kEnglish, Msg::kDeviceLostLog), 1,
                "COM1 (/dev/ttyUSB0)", "gone");
  EXPECT_STREQ(line,
               "Line 1: device COM1 (/dev/ttyUSB0) lost: gone; it is reopened as soon as it is "
               "back");
}

TEST(LanguageNamed, ReadsTheLanguageSettingField) {
  struct Case {
    const char* field;
    size_t size;
    Language want;
  };
  const Case cases[] = {
      {"Francais", 9, Language::kFrench},
      {"Anglais", 9, Language::kEnglish},
      {"Espagnol", 9, Language::kSpanish},
      // A name that fills the field needs no terminator.
      {"Espagnol", 8, Language::kSpanish},
      // What follows the terminator is not read.
      {"Anglais\0X", 9, Language::kEnglish},
      {"FrancaisX", 9, Language::kUnknown},
      {"francais", 9, Language::kUnknown},
      {"Franc", 9, Language::kUnknown},
      {"Francais", 5, Language::kUnknown},
      {"", 9, Language::kUnknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LanguageNamed(c.field, c.size), c.want) << c.field << " in " << c.size;
  }
  char field[9] = "Anglais";
  EXPECT_EQ(LanguageNamed(field), Language::kEnglish);
}

TEST(LogLanguage, IsEnglishForAnUnknownLanguage) {
  EXPECT_EQ(LogLanguage(Language::kUnknown), Language::kEnglish);
  for (Language l : kKnown) EXPECT_EQ(LogLanguage(l), l);
}

}  // namespace
}  // namespace kavelin2
