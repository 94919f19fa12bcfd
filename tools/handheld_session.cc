#include "handheld_session.h"

#include <errno.h>
#include <time.h>

#include <algorithm>
#include <cstdarg>
#include <fstream>
#include <iterator>

#include "wire/codec.h"

namespace kavelin2::handheld {

namespace {

int64_t NowUs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

void SleepMs(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
  }
}

// Indentation of the lines that show what the station sent.
constexpr const char* kIn = "          <- ";

// Why a step that the station had to acknowledge failed.
std::string AnswerProblem(int b, int step, int timeout_ms) {
  char text[160];
  if (b == HandheldPort::kTimeout)
    snprintf(text, sizeof text, "no answer from the station within %d ms at step %d", timeout_ms,
             step);
  else if (b == HandheldPort::kHangUp)
    snprintf(text, sizeof text, "the line was lost at step %d", step);
  else if (b == kEot)
    snprintf(text, sizeof text, "the station ended the exchange (EOT) at step %d", step);
  else if (b == kNak)
    snprintf(text, sizeof text, "the station kept refusing step %d (NAK)", step);
  else
    snprintf(text, sizeof text, "unexpected answer %s at step %d",
             ControlName(static_cast<uint8_t>(b)).c_str(), step);
  return text;
}

}  // namespace

Report::Report(FILE* out, bool verbose) : out_(out), verbose_(verbose), start_us_(NowUs()) {}

void Report::Line(const char* format, ...) {
  if (!verbose_) return;
  fprintf(out_, "[%8.3f] ", static_cast<double>(NowUs() - start_us_) / 1e6);
  va_list args;
  va_start(args, format);
  vfprintf(out_, format, args);
  va_end(args);
  fputc('\n', out_);
  fflush(out_);
}

void Report::Summary(const char* format, ...) {
  va_list args;
  va_start(args, format);
  vfprintf(out_, format, args);
  va_end(args);
  fputc('\n', out_);
  fflush(out_);
}

Session::Session(HandheldPort& port, const Timing& timing, Report& report, std::string receive_dir)
    : port_(port), timing_(timing), report_(report), receive_dir_(std::move(receive_dir)) {}

ExchangeResult Session::Run(const ExchangePlan& plan) {
  plan_ = &plan;
  result_ = ExchangeResult{};
  step_ = 0;
  opening_ = true;
  ended_ = false;
  upload_open_ = false;
  record_length_ = 0;
  current_upload_.clear();
  last_acked_.clear();
  pending_byte_ = -1;
  for (const auto& upload : plan.uploads) {
    if (!Upload(upload)) break;
  }
  if (!ended_) {
    if (plan.download) {
      Download(plan.download_id);
    } else {
      report_.Line("no download asked: the station ends this exchange by time-out");
      result_.complete = true;
    }
  }
  CloseStoredFile();
  if (result_.complete && !result_.refused.empty()) {
    result_.complete = false;
    result_.failure =
        "the station refused " + std::to_string(result_.refused.size()) + " upload(s)";
  }
  result_.steps = step_;
  return result_;
}

bool Session::Fail(const std::string& why) {
  if (!ended_) {
    result_.failure = why;
    report_.Line("exchange not complete: %s", why.c_str());
  }
  ended_ = true;
  return false;
}

bool Session::Send(const Bytes& bytes) {
  if (!port_.Write(bytes.data(), bytes.size())) return Fail("the line was lost");
  last_write_us_ = NowUs();
  if (port_.last_write_noise().Unseen() && !current_upload_.empty())
    NoteUnseen(&result_.unseen_uploads, current_upload_);
  return true;
}

void Session::NoteUnseen(std::vector<std::string>* list, const std::string& name) {
  if (std::find(list->begin(), list->end(), name) == list->end()) list->push_back(name);
}

int Session::PersistentStep(const Bytes& frame) {
  // The station sends ENQ or RS only after it accepted an identification.
  const bool identification = frame[0] == kRs;
  port_.DropUnreadInput();
  if (!Send(frame)) return HandheldPort::kHangUp;
  int tries = 1;
  int64_t deadline = NowUs() + int64_t{timing_.answer_timeout_ms} * 1000 * kPersistentTries;
  for (;;) {
    int b = Await(timing_.answer_timeout_ms, nullptr);
    if (b == kAck) return b;
    if (identification && (b == kEnq || b == kRs)) {
      pending_byte_ = b;
      return kAck;
    }
    if (b == HandheldPort::kHangUp) return b;
    if (b == kNak) ++result_.naks_received;
    if (NowUs() > deadline) return b == kNak ? kNak : HandheldPort::kTimeout;
    if (b == HandheldPort::kTimeout && frame.size() == 1 && frame[0] == kEot && tries >= 3) {
      // A station that took our EOT ignores it from then on: silence after
      // three tries means its ACK was lost, not our EOT (a lost or damaged
      // EOT is answered at the next try).
      report_.Line("          (no answer to EOT three times: taken as accepted)");
      return kAck;
    }
    if (b == kNak || b == HandheldPort::kTimeout) {
      if (tries >= kPersistentTries) return b;
      ++tries;
      ++result_.resends;
      report_.Line("step %-4d -> %s   (again, after %s)", step_, Describe(frame).c_str(),
                   b == kNak ? "NAK" : "silence");
      port_.DropUnreadInput();
      if (!Send(frame)) return HandheldPort::kHangUp;
    }
    // Any other byte is noise on the line: keep listening.
  }
}

int Session::Await(int timeout_ms, double* latency_us) {
  int b = port_.ReadByte(timeout_ms);
  if (b >= 0 && latency_us) *latency_us = static_cast<double>(NowUs() - last_write_us_);
  return b;
}

int Session::SendStep(const Bytes& frame, bool resend_on_nak) {
  ++step_;
  if (persistent_) return PersistentStep(frame);
  if (timing_.pace_ms > 0) SleepMs(timing_.pace_ms);
  const Faults& faults = plan_->faults;
  bool spoil = faults.corrupt_steps.count(step_) > 0 || (faults.bad_id && frame[0] == kRs);
  bool opening = opening_;
  opening_ = false;
  int64_t open_deadline = NowUs() + int64_t{timing_.connect_timeout_ms} * 1000;
  Bytes out = spoil ? WithBadCheck(frame) : frame;
  if (report_.verbose())
    report_.Line("step %-4d -> %s%s", step_, Describe(out).c_str(),
                 spoil ? "   (check byte spoiled on purpose)" : "");
  if (!Send(out)) return HandheldPort::kHangUp;
  int resends = 0;
  for (;;) {
    double latency = 0;
    int b = Await(opening ? timing_.retry_ms : timing_.answer_timeout_ms, &latency);
    if (b == HandheldPort::kTimeout && opening && NowUs() < open_deadline) {
      // The station may not listen yet. Take back the unread request first,
      // so that it is never queued twice.
      port_.DropUnreadOutput();
      report_.Line("          (no answer yet; asking again)");
      if (!Send(out)) return HandheldPort::kHangUp;
      continue;
    }
    if (b < 0) {
      waited_ms_ = opening ? timing_.connect_timeout_ms : timing_.answer_timeout_ms;
      return b;
    }
    opening = false;
    if (report_.verbose()) report_.Line("%s%s", kIn, ControlName(static_cast<uint8_t>(b)).c_str());
    if (b == kAck && frame[0] == kStx) latencies_.upload_us.push_back(latency);
    if (b == kNak) {
      ++result_.naks_received;
      if (resend_on_nak && resends < 10) {
        ++resends;
        ++result_.resends;
        out = frame;
        if (report_.verbose())
          report_.Line("step %-4d -> %s   (again)", step_, Describe(out).c_str());
        if (!Send(out)) return HandheldPort::kHangUp;
        continue;
      }
    }
    return b;
  }
}

bool Session::Upload(const UploadSpec& desc) {
  std::ifstream in(desc.path, std::ios::binary);
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return Fail("cannot read " + desc.path);
  const size_t length = static_cast<size_t>(desc.record_length);
  const int records = static_cast<int>(data.size() / length);
  report_.Line("upload of '%s': %d records of %zu bytes", desc.name_field.c_str(), records, length);
  current_upload_ = desc.name_field;

  auto step_acked = [&](const Bytes& frame) {
    int b = SendStep(frame, true);
    if (b != kAck) return Fail(AnswerProblem(b, step_, waited_ms_));
    return AfterStep();
  };
  auto block = [&](int k) {
    return DataFrame(k, data.data() + static_cast<size_t>(k - 1) * length, length);
  };

  // After a refused header the station still waits for a header: the next
  // upload goes on from there without a new ENQ.
  if (upload_open_) {
    upload_open_ = false;
  } else if (!step_acked(Bytes{kEnq})) {
    return false;
  }
  int b = SendStep(HeaderFrame(desc.name_field, records, desc.widths), true);
  if (b == kNak && plan_->keep_going) {
    report_.Line("the station refuses '%s': leaving it out", desc.name_field.c_str());
    result_.refused.push_back(desc.name_field);
    upload_open_ = true;
    return true;
  }
  if (b != kAck) return Fail(AnswerProblem(b, step_, waited_ms_));
  if (!AfterStep()) return false;
  for (int k = 1; k <= records; ++k) {
    if (plan_->faults.skip_blocks.count(k)) {
      report_.Line("leaving out block %d on purpose", k);
      b = SendStep(k < records ? block(k + 1) : Bytes{kEot}, false);
      if (b == kAck)
        return Fail("the station accepted what follows block " + std::to_string(k) +
                    " although that block was missing");
      if (b != kNak) return Fail(AnswerProblem(b, step_, waited_ms_));
      report_.Line("refused, as block %d is missing: going back to it", k);
      if (!AfterStep()) return false;
    }
    if (!step_acked(block(k))) return false;
    if (plan_->faults.repeat_blocks.count(k)) {
      report_.Line("sending block %d again on purpose", k);
      if (!step_acked(block(k))) return false;
    }
  }
  if (!step_acked(Bytes{kEot})) return false;
  char text[64];
  std::string name = desc.name_field;
  snprintf(text, sizeof text, " (%d records)", records);
  result_.uploads.push_back(name + text);
  return true;
}

Session::StationFrame Session::ReadFrame(int timeout_ms) {
  StationFrame f;
  double latency = 0;
  port_.StartReadNoise();
  int b = pending_byte_;
  pending_byte_ = -1;
  if (b < 0) b = Await(timeout_ms, &latency);
  if (b < 0) {
    f.error = b;
    return f;
  }
  f.bytes.push_back(static_cast<uint8_t>(b));
  size_t expected = 0;  // bytes after the lead byte, for a data frame
  if (b == kStx) {
    latencies_.download_us.push_back(latency);
    expected = 5 + static_cast<size_t>(record_length_) + 2;
  }
  if (b == kSoh || b == kStx) {
    for (;;) {
      int c = port_.ReadByte(timing_.answer_timeout_ms);
      if (c < 0) {
        f.error = c;
        return f;
      }
      f.bytes.push_back(static_cast<uint8_t>(c));
      size_t got = f.bytes.size() - 1;
      if (b == kStx && got == expected) break;
      // A text frame holds no ETX before its end: the byte after ETX is
      // its check byte.
      if (b == kSoh && got >= 2 && f.bytes[f.bytes.size() - 2] == kEtx) break;
      if (got > 1031) {
        f.check_ok = false;
        break;
      }
    }
    size_t n = f.bytes.size();
    f.check_ok = f.check_ok && n >= 3 && XorBytes(f.bytes.data() + 1, n - 2) == f.bytes[n - 1];
  }
  if (report_.verbose())
    report_.Line("%s%s%s", kIn, Describe(f.bytes).c_str(), f.check_ok ? "" : "   (bad check byte)");
  return f;
}

bool Session::Acknowledge(const StationFrame& frame) {
  ++step_;
  if (timing_.pace_ms > 0) SleepMs(timing_.pace_ms);
  auto nak = plan_->faults.nak_steps.find(step_);
  int naks = nak == plan_->faults.nak_steps.end() ? 0 : nak->second;
  for (int i = 1; i <= naks; ++i) {
    report_.Line("step %-4d -> NAK   (refusing on purpose, %d of %d)", step_, i, naks);
    ++result_.naks_sent;
    if (!Send(Bytes{kNak})) return false;
    StationFrame again = ReadFrame(timing_.answer_timeout_ms);
    if (again.error != 0) return Fail(AnswerProblem(again.error, step_, timing_.answer_timeout_ms));
    if (again.bytes == frame.bytes) continue;
    if (again.bytes[0] == kEot && frame.bytes[0] != kEot)
      return Fail("the station ended the exchange (EOT) after " + std::to_string(i) +
                  " NAKs in a row at step " + std::to_string(step_));
    return Fail("the station answered a NAK with another frame: " + Describe(again.bytes));
  }
  report_.Line("step %-4d -> ACK", step_);
  if (!Send(Bytes{kAck})) return false;
  return AfterStep();
}

bool Session::AfterStep() {
  if (!SilentNow()) return true;
  Listen();
  return false;
}

bool Session::Download(const std::string& id) {
  current_upload_.clear();
  int b = SendStep(Identification(id), true);
  if (b != kAck) return Fail(AnswerProblem(b, step_, waited_ms_));
  if (!AfterStep()) return false;
  Expect expect = Expect::kName;
  int next_block = 1;
  DownloadedFile* current = nullptr;
  bool first = true;
  int failures = 0;  // persistent mode: station frames asked again in a row
  for (;;) {
    StationFrame f = ReadFrame(timing_.answer_timeout_ms);
    if (persistent_ && f.error != HandheldPort::kHangUp) {
      bool asked_again = false;
      if (f.error != 0 || !f.check_ok) {
        asked_again = true;  // not received whole and right: ask again
      } else if (!last_acked_.empty() && f.bytes == last_acked_) {
        // Our ACK was lost and the station sent the frame again.
        ++result_.prompts;
        if (!Send(Bytes{kAck})) return false;
        continue;
      } else {
        uint8_t l = f.bytes[0];
        bool fits = first ? (l == kEnq || l == kRs)
                          : (expect == Expect::kName && (l == kSoh || l == kRs)) ||
                                (expect == Expect::kEnq && l == kEnq) ||
                                (expect == Expect::kHeader && l == kSoh) ||
                                (expect == Expect::kData && (l == kStx || l == kEot));
        if (!fits) {
          // A prompt of the station (it missed something): ask for its frame
          // again rather than let an ACK skip it. Other bytes are noise.
          if (l != kEnq) continue;
          asked_again = true;
        }
      }
      if (asked_again) {
        if (++failures > kPersistentTries)
          return Fail("the station's frames kept arriving damaged or not at all after step " +
                      std::to_string(step_));
        ++result_.naks_sent;
        port_.DropUnreadInput();
        if (!Send(Bytes{kNak})) return false;
        continue;
      }
      failures = 0;
      if (port_.read_noise().Unseen() && current != nullptr)
        NoteUnseen(&result_.unseen_downloads, current->name);
      last_acked_ = f.bytes;
    }
    if (f.error != 0) return Fail(AnswerProblem(f.error, step_, timing_.answer_timeout_ms));
    uint8_t lead = f.bytes[0];
    if (first) {
      // Right after the identification: ENQ when files follow, RS when not.
      first = false;
      if (lead != kEnq && lead != kRs)
        return Fail("expected ENQ or RS after the identification, got " + Describe(f.bytes));
      if (lead == kEnq) {
        if (!Acknowledge(f)) return false;
        continue;
      }
    } else if (lead == kEnq && expect != Expect::kEnq) {
      // The station missed our answer and asks again.
      ++result_.prompts;
      report_.Line("step %-4d -> ACK   (again, after the station's prompt)", step_);
      if (!Send(Bytes{kAck})) return false;
      continue;
    }
    bool fits = (expect == Expect::kName && (lead == kSoh || lead == kRs)) ||
                (expect == Expect::kEnq && lead == kEnq) ||
                (expect == Expect::kHeader && lead == kSoh) ||
                (expect == Expect::kData && (lead == kStx || lead == kEot));
    if (!fits) {
      if (lead == kEot)
        return Fail("the station ended the exchange (EOT) at step " + std::to_string(step_));
      return Fail("unexpected " + Describe(f.bytes) + " after step " + std::to_string(step_));
    }
    if (!f.check_ok) {
      report_.Line("step %-4d -> NAK   (bad check byte)", step_ + 1);
      ++result_.naks_sent;
      if (!Send(Bytes{kNak})) return false;
      continue;
    }
    std::string text(f.bytes.begin() + 1, f.bytes.end() - (lead == kSoh ? 2 : 0));
    if (lead == kRs) {
      // The last step: its ACK ends the exchange. Closing the line before the
      // station has read it would throw the ACK away.
      if (!Acknowledge(f)) return false;
      port_.WaitUntilDelivered(timing_.linger_ms);
      result_.complete = true;
      return true;
    }
    if (!Acknowledge(f)) return false;
    switch (expect) {
      case Expect::kName: {
        DownloadedFile file;
        file.name_frame = text;
        file.name = NameFrameFileName(text, &file.announced);
        result_.downloads.push_back(file);
        current = &result_.downloads.back();
        if (persistent_ && port_.read_noise().Unseen())
          NoteUnseen(&result_.unseen_downloads, current->name);
        if (!receive_dir_.empty()) {
          std::string name = current->name;
          if (!IsSafeFileName(name.c_str())) {
            name = "unsafe-name-" + std::to_string(result_.downloads.size());
            report_.Line("the name '%s' is not a safe file name: storing as %s",
                         current->name.c_str(), name.c_str());
          }
          current->stored_path = receive_dir_ + "/" + name;
          stored_ = fopen(current->stored_path.c_str(), "wb");
          if (!stored_) return Fail("cannot create " + current->stored_path);
        }
        expect = Expect::kEnq;
        break;
      }
      case Expect::kEnq:
        expect = Expect::kHeader;
        break;
      case Expect::kHeader: {
        DownloadHeader h = ParseDownloadHeader(text);
        if (!h.ok) return Fail("cannot read the header frame '" + text + "'");
        current->header = text;
        current->header_count = h.block_count;
        record_length_ = h.record_length;
        next_block = 1;
        expect = Expect::kData;
        break;
      }
      case Expect::kData:
        if (lead == kEot) {
          CloseStoredFile();
          report_.Line("received '%s': %d blocks (announced %d)", current->name.c_str(),
                       current->blocks, current->header_count);
          expect = Expect::kName;
          break;
        }
        if (DecimalValue(reinterpret_cast<const char*>(f.bytes.data()) + 1, 5) != next_block)
          return Fail("data frame out of order: expected block " + std::to_string(next_block));
        StoreRecord(f.bytes.data() + 6, static_cast<size_t>(record_length_));
        ++current->blocks;
        ++next_block;
        break;
    }
  }
}

void Session::Listen() {
  report_.Line("falling silent after step %d on purpose; listening for up to %d ms", step_,
               timing_.listen_ms);
  int64_t deadline = NowUs() + int64_t{timing_.listen_ms} * 1000;
  for (;;) {
    int64_t left_ms = (deadline - NowUs()) / 1000;
    if (left_ms <= 0) break;
    int b = port_.ReadByte(static_cast<int>(left_ms));
    if (b < 0) break;
    if (b == kEnq) {
      ++result_.prompts;
      report_.Line("%sENQ   (prompt %d)", kIn, result_.prompts);
    } else if (b == kEot) {
      report_.Line("%sEOT   (the station ended the exchange)", kIn);
      Fail("silent on purpose after step " + std::to_string(step_) +
           "; the station ended the exchange with EOT after " + std::to_string(result_.prompts) +
           " prompts");
      return;
    } else if (b == kSoh) {
      // A text frame the station sent before we fell silent: show it whole.
      Bytes frame{kSoh};
      while (frame.size() < 1032 && !(frame.size() >= 3 && frame[frame.size() - 2] == kEtx)) {
        int c = port_.ReadByte(timing_.answer_timeout_ms);
        if (c < 0) break;
        frame.push_back(static_cast<uint8_t>(c));
      }
      if (report_.verbose()) report_.Line("%s%s", kIn, Describe(frame).c_str());
    } else {
      report_.Line("%s%s", kIn, ControlName(static_cast<uint8_t>(b)).c_str());
    }
  }
  Fail("silent on purpose after step " + std::to_string(step_) +
       "; the station did not end the exchange");
}

void Session::StoreRecord(const uint8_t* data, size_t n) {
  if (stored_) fwrite(data, 1, n, stored_);
}

void Session::CloseStoredFile() {
  if (stored_) {
    fclose(stored_);
    stored_ = nullptr;
  }
  if (!result_.downloads.empty() && !receive_dir_.empty()) {
    const DownloadedFile& f = result_.downloads.back();
    if (f.stored_path.empty()) return;
    FILE* h = fopen((f.stored_path + ".header").c_str(), "wb");
    if (h) {
      fprintf(h, "name frame: %s\nheader: %s\nblocks received: %d\n", f.name_frame.c_str(),
              f.header.c_str(), f.blocks);
      fclose(h);
    }
  }
}

}  // namespace kavelin2::handheld
