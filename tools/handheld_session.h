// The handheld's side of the protocol: uploads, the download request, and
// the answers to every frame of the station, with deliberate faults on
// request. One Session runs the exchanges of one line in turn.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "handheld_frames.h"
#include "handheld_options.h"
#include "handheld_port.h"

namespace kavelin2::handheld {

struct DownloadedFile {
  std::string name;
  std::string name_frame;   // text of the name frame
  std::string header;       // text of the header frame
  int announced = 0;        // block count of the name frame
  int header_count = 0;     // block count of the header frame
  int blocks = 0;           // data frames received
  std::string stored_path;  // empty when not stored
};

struct ExchangeResult {
  bool complete = false;
  std::string failure;  // why the exchange did not complete
  int steps = 0;
  int resends = 0;        // frames of ours sent again after a NAK
  int naks_received = 0;  // refusals by the station
  int naks_sent = 0;
  int prompts = 0;                   // ENQ prompts of the station while we were silent
  std::vector<std::string> uploads;  // "NAME (N records)"
  std::vector<std::string> refused;  // name fields of uploads left out
  std::vector<DownloadedFile> downloads;
  // Persistent mode on a noisy line: uploads (name fields) and downloads
  // (names) of which a frame carried errors its XOR check byte cannot see.
  std::vector<std::string> unseen_uploads;
  std::vector<std::string> unseen_downloads;
};

// Answer times, in microseconds, from the last byte of a frame to the first
// byte of the station's answer: the ACK of an upload data frame, the next
// data frame after our ACK in a download.
struct Latencies {
  std::vector<double> upload_us;
  std::vector<double> download_us;
};

class Report {
 public:
  Report(FILE* out, bool verbose);
  // One line, prefixed with the seconds since the start.
  void Line(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Printed even when quiet.
  void Summary(const char* format, ...) __attribute__((format(printf, 2, 3)));
  bool verbose() const { return verbose_; }

 private:
  FILE* out_;
  bool verbose_;
  int64_t start_us_;
};

class Session {
 public:
  Session(HandheldPort& port, const Timing& timing, Report& report, std::string receive_dir);
  ExchangeResult Run(const ExchangePlan& plan);
  // Persistent mode, as a real handheld on a noisy line: a frame is sent
  // again on NAK or silence (up to kPersistentTries times), bytes that fit no
  // answer are taken for noise, a station frame that is not received whole
  // and right is asked again with NAK, and a frame received twice (our ACK
  // was lost) is acknowledged again. An EOT met by silence three times is
  // taken as accepted: the station ignores an EOT once it has taken it.
  void SetPersistent(bool on) { persistent_ = on; }
  static constexpr int kPersistentTries = 30;
  const Latencies& latencies() const { return latencies_; }

 private:
  struct StationFrame {
    Bytes bytes;  // as received, lead byte first
    bool check_ok = true;
    int error = 0;  // HandheldPort::kTimeout or kHangUp when nothing came
  };
  enum class Expect { kName, kEnq, kHeader, kData };

  bool Upload(const UploadSpec& desc);
  bool Download(const std::string& id);
  // Sends one step's frame and reads the answer byte; repeats the frame on
  // NAK when |resend_on_nak|. Returns the final answer byte, or a port error.
  int SendStep(const Bytes& frame, bool resend_on_nak);
  int PersistentStep(const Bytes& frame);
  void NoteUnseen(std::vector<std::string>* list, const std::string& name);
  // One station frame, read whole by its lead byte.
  StationFrame ReadFrame(int timeout_ms);
  // Answers |frame| with the ACK of a new step (after any NAKs asked for).
  // False when the exchange ended meanwhile.
  bool Acknowledge(const StationFrame& frame);
  bool Send(const Bytes& bytes);
  int Await(int timeout_ms, double* latency_us);
  bool Fail(const std::string& why);
  // After each step: falls silent when asked to. False when the exchange
  // has ended.
  bool AfterStep();
  // Falls silent: logs what the station sends until it ends the exchange.
  void Listen();
  bool SilentNow() const { return plan_->faults.silent_after == step_; }
  void StoreRecord(const uint8_t* data, size_t n);
  void CloseStoredFile();

  HandheldPort& port_;
  Timing timing_;
  Report& report_;
  std::string receive_dir_;
  Latencies latencies_;

  const ExchangePlan* plan_ = nullptr;
  ExchangeResult result_;
  int step_ = 0;
  bool opening_ = false;  // the next step opens the exchange
  bool ended_ = false;
  bool upload_open_ = false;
  int waited_ms_ =
      0;  // how long the last unanswered step waited  // a refused header left the upload open
  int64_t last_write_us_ = 0;
  int record_length_ = 0;  // of the file being downloaded
  FILE* stored_ = nullptr;

  bool persistent_ = false;
  std::string current_upload_;  // name field of the upload being sent
  Bytes last_acked_;            // the last station frame we acknowledged
  int pending_byte_ = -1;       // a byte read ahead, taken by ReadFrame
};

}  // namespace kavelin2::handheld
