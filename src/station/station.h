// The station context: every piece of state the station shares between its
// subsystems lives here, in one object passed by reference, so that a test
// can build as many independent stations as it likes.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "config/settings.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/launcher.h"
#include "platform/serial_port.h"
#include "station/events.h"
#include "ui/ui_channel.h"
#include "wire/codec.h"

namespace kavelin2 {

class ServiceNotifier;

constexpr int kLineCount = 2;
constexpr size_t kPathSize = 93;
// A running exchange whose handheld stays silent this long has timed out.
constexpr int32_t kSilenceMs = 3000;

// LineState values.
constexpr char kStateIdle = '2';
constexpr char kStateUploadOpen = '0';
constexpr char kStateHeaderAccepted = '8';
constexpr char kStateReceiving = '1';
constexpr char kStateNextEntry = '3';
constexpr char kStateNameSent = '4';
constexpr char kStateEnqSent = '5';
constexpr char kStateSendingData = '6';
constexpr char kStateTableDone = '7';

// LinePhase values.
constexpr char kPhaseNone = '2';
constexpr char kPhaseUpload = '0';
constexpr char kPhaseDownload = '3';

// One line's entry in LineTable. Text members are NUL-terminated fixed-width
// fields; every copy into them is bounded by their width.
struct LineEntry {
  // Which line this is: its index in LineTable (0 or 1), set once by the
  // station; the line's number on screens, logs and files is index + 1.
  int index = 0;
  int Number() const { return index + 1; }

  // Serial link.
  std::unique_ptr<SerialPort> PortHandle;  // null when the line is not open
  uint8_t FrameBuffer[kFrameBufferSize] = {};
  int32_t FrameLength = 0;   // lead byte included, ETX and BCC excluded
  int32_t FrameChecked = 0;  // nonzero: SendFrame appends ETX and BCC
  uint8_t LastSentByte = 0;

  // Poll loop and dispatcher.
  char LineState = kStateIdle;
  char LinePhase = kPhaseNone;
  int32_t EnqCount = 0;
  Deadline LineDeadline;
  // A step of the exchange stopped part way to let the other line be
  // served (a table of thousands of entries that cannot be sent): the loop
  // resumes it on its next pass, without waiting for a byte.
  bool StepResumes = false;
  char HandheldId[4] = "???";
  char ExchangeDate[9] = {};  // MM/DD/YY, empty when no exchange is stamped
  char ExchangeTime[9] = {};  // hh:mm:ss
  int64_t ExchangeStart = 0;  // calendar seconds

  // Upload.
  char UploadName[13] = {};
  char BlockCountText[6] = {};
  int32_t RecordLength = 0;
  int32_t NextBlockNumber = 0;
  char RecvFilePath[kPathSize] = {};
  std::unique_ptr<File> DataFile;  // the data file being received or sent, or null
  // True from an accepted end of file until the handheld opens its next file
  // or its download: an EOT meanwhile repeats the one whose ACK it lost.
  bool EndOfFileAccepted = false;

  // Download.
  std::unique_ptr<File> TableFile;  // the table being read, or null
  char TablePath[kPathSize] = {};
  // True once the current exchange reached its own download start, so that a
  // failed exchange never deletes the table of an earlier one.
  bool ReachedDownloadStart = false;
  char TableEntryName[13] = {};
  char EntryKind[3] = {};
  char BlockSizeText[4] = {};
  int32_t BlockSize = 0;
  char FieldCountText[3] = {};
  char FieldWidthsText[33] = {};
  char SendFilePath[kPathSize] = {};
  char DatFileName[13] = {};
  char HeaderName[13] = {};
  int32_t BlockTotal = 0;
  char BlockTotalText[6] = {};
  int32_t BlocksSent = 0;
  // Names of the files this download sent whole (the handheld acknowledged
  // their last block): the only files the removal of sent files may delete.
  std::vector<std::string> SentFiles;

  // The last ended exchange of the line, for the displays and the service
  // status: "OK", "TO" or "ER" ("" before the first), and for a failure a
  // short reason in the station's language. Kept by the journal.
  char LastResult[3] = {};
  char LastReason[64] = {};

  // Supervision.
  int32_t NakCount = 0;
  int32_t TimeoutCount = 0;

  // Recovery of a lost device. While Disconnected the port is closed and the
  // station tries to open it again at ReopenAt (station clock), waiting
  // ReopenDelayMs longer after each failure. A reopened modem line is served
  // only once its initialisation is done: ModemStep 1 after the reset, 2
  // after its own command, the next step due at ModemStepAt.
  bool Disconnected = false;
  Deadline ReopenAt;
  int32_t ReopenDelayMs = 0;
  int32_t ModemStep = 0;
  Deadline ModemStepAt;

  // Closes the data file and the table file of the exchange, whichever is
  // open.
  void CloseExchangeFiles();
};

// The platform services a station runs on. Not owned by the station.
struct Platform {
  Clock* clock = nullptr;
  SerialSystem* serial = nullptr;
  ProgramLauncher* launcher = nullptr;
  // Every file the station reads or writes goes through it.
  FileSystem* fs = nullptr;
  // Reports to a service manager; none by default (station/service_notify.h).
  ServiceNotifier* notifier = nullptr;
};

// The settings records come first in the context: the settings code works on
// them alone (config/settings.h).
struct Station : Settings {
  Station(Platform platform, std::unique_ptr<UiRuntimeLink> ui_link)
      : clock(*platform.clock),
        serial(*platform.serial),
        launcher(*platform.launcher),
        fs(*platform.fs),
        notifier(platform.notifier),
        ui(std::move(ui_link)) {
    for (int i = 0; i < kLineCount; ++i) LineTable[i].index = i;
  }

  Clock& clock;
  SerialSystem& serial;
  ProgramLauncher& launcher;
  FileSystem& fs;
  ServiceNotifier* notifier;  // may be null
  UiChannel ui;

  LineEntry LineTable[kLineCount];
  int32_t PendingProgram = 0;
  int32_t ProgCLaunched = 0;
  int32_t ProgDLaunched = 0;

  // The consumers of the station's events, in the order they hear them.
  std::vector<std::unique_ptr<EventSink>> consumers;
  // Result log records that could not be written since the station started
  // (kept by the result log, for whoever watches the station).
  int64_t ResultLogWriteErrors = 0;
  // A result log file that cannot take its records, while the outage lasts
  // (kept by the result log, shown by the service status): the file, the
  // system's reason and how many records wait in memory. |file| is empty
  // when every record is written.
  struct ResultLogOutage {
    std::string file;
    std::string reason;
    int64_t waiting = 0;
  };
  ResultLogOutage ResultLogOutages[2];
  // The locks held on the working and received-files directories while on
  // line, so that no second station serves them meanwhile.
  std::vector<std::unique_ptr<FileLock>> DirectoryLocks;

  // Tells every consumer what happened on line |line| (0 or 1).
  void Report(int line, EventBody body) {
    const Event event{line, std::move(body)};
    for (auto& consumer : consumers) consumer->OnEvent(event);
  }
  // Tells every consumer that a pass of the on-line loop is done.
  void ReportPass() {
    for (auto& consumer : consumers) consumer->OnPass();
  }
  // Tells every consumer that the program is about to end.
  void ReportStop() {
    for (auto& consumer : consumers) consumer->OnStop();
  }
};

// Sends one line to the station's log ("JOURNAL,<text>"): the headless
// front end writes it with a time stamp, the terminal one may show it. The
// text is formatted printf-style and cut to what one command carries.
void LogEvent(Station& st, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace kavelin2
