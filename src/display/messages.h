// Every text the station shows on its screen or writes to its log, in the
// three languages it speaks, looked up by an identifier. This file depends on
// nothing else of the station, so that any part of it can name a text.
//
// The texts are the station's own and go out byte for byte as written here:
// the UI runtime and whoever reads the log see exactly these bytes (UTF-8),
// old spellings included. UI command keywords ("AFFICHE", "OUINON",
// "JOURNAL"...) and field names are not texts: the callers keep them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kavelin2 {

// The station's language, as read from the language setting.
enum class Language : uint8_t { kFrench, kEnglish, kSpanish, kUnknown };

// The language named by a language setting field of |size| bytes ("Francais",
// "Anglais", "Espagnol", compared within the field's bounds); kUnknown for
// any other content.
Language LanguageNamed(const char* field, size_t size);
template <size_t N>
Language LanguageNamed(const char (&field)[N]) {
  return LanguageNamed(field, N);
}

// The language of the log: the log never stays silent, so a language the
// station does not know writes English.
Language LogLanguage(Language language);

enum class Msg : uint16_t {
  // Values of a line's state and phase fields.
  kWaiting,
  kOffLine,
  kInit,
  kModem,
  kIdentification,
  kFromHandheld,
  kToHandheld,
  kHeader,
  kInProgress,
  kEnd,
  kErrorState,
  kTimeoutState,
  kAppending,
  kAppendFailedState,
  kDisconnected,

  // Message boxes, questions and captions.
  kPortUnavailableBox,
  kCreatePathQuestion,
  kCannotCreateDirectory,
  kQuitQuestion,
  kEmptyResultFile,
  kDeleteResultsQuestion,
  kTableLineTooLong,
  kTablePathCaption,
  kReceivedPathCaption,
  kTransmitPathCaption,
  kLogPathCaption,
  kVersion,

  // Log lines about settings, lines and directories.
  kPortUnavailableLog,
  kNotAPortName,
  kUnknownLanguageSetting,
  kDirectoryNotCreated,
  kCreationDeclined,
  kDeviceLostLog,
  kDeviceBackLog,
  kUploadStuck,

  // The summary line of an exchange and its parts.
  kExchangeSummary,
  kNoFiles,
  kFileItem,
  kMoreFiles,
  kHeaderRefused,
  kGenericError,

  // Why an exchange failed.
  kTimeoutsInARow,
  kNaksInARow,
  kReceivedFileRejected,
  kDeviceLost,
  kWriteFailure,
  kUploadNotStored,

  // Warnings about what a handheld was not sent or an upload kept aside.
  kWarning,
  kEntrySkipped,
  kUnsafeName,
  kMissingFile,
  kUnsendableSize,
  kUnsendableSizeDetail,
  kNoTable,
  kAppendFailedLog,
  kRepeatKeptLog,

  kCount  // not a text: the number of texts
};

inline constexpr size_t kMsgCount = static_cast<size_t>(Msg::kCount);

// The text |id| in |language|; printf-style where the text takes values.
// nullptr for a text that is translated when the language is kUnknown: the
// station then shows nothing. A text that reads the same in every language
// comes whatever the language. Never nullptr for a known language.
const char* Text(Language language, Msg id);

}  // namespace kavelin2
