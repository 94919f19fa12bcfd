// The result log: one record per ended exchange, one per upload that could
// not be removed after a failure.
#include <variant>

#include "journal/exchange_log.h"
#include "journal/records.h"
#include "station/station.h"

namespace kavelin2 {
namespace {

class ResultLog : public EventSink {
 public:
  explicit ResultLog(Station& st) : st_(st) {}

  void OnEvent(const Event& e) override {
    const LineEntry& line = st_.LineTable[e.line];
    if (const auto* ended = std::get_if<event::ExchangeEnded>(&e.body)) {
      char record[kStatRecordSize];
      BuildStatRecord(static_cast<int>(ended->result), line, e.line + 1,
                      static_cast<long>(ended->elapsed_seconds), record);
      // A lost record is not shown on the station; it is counted for the
      // office, which may raise an alert.
      if (!AppendRecord(st_.fs, kStatFileName, record, sizeof record)) ++st_.ResultLogWriteErrors;
    } else if (std::holds_alternative<event::UploadLeftOnDisk>(e.body)) {
      char record[kUnlinkRecordSize];
      BuildUnlinkRecord(line, e.line + 1, record);
      AppendRecord(st_.fs, kUnlinkFileName, record, sizeof record);
    }
  }

 private:
  Station& st_;
};

}  // namespace

std::unique_ptr<EventSink> NewResultLog(Station& st) { return std::make_unique<ResultLog>(st); }

}  // namespace kavelin2
