// The Win32 back end: a port is an overlapped communications handle; a wait
// is WaitForMultipleObjects on one pending one-byte "look-ahead" read per
// line.
//
// Why a look-ahead read: of the ways Windows offers to wait for a byte,
// only a read that returns at its first byte both blocks and works under
// Wine (measured, see docs/platform-windows.md): an overlapped WaitCommEvent
// completes at once there with no event, and a read of an empty queue stays
// pending whatever its time-outs say. So the wait keeps one overlapped
// one-byte read pending per line, and the byte it brings is handed out
// before what is queued behind it. Every other read asks only for what
// ClearCommError reports queued, and therefore completes at once.
// Winsock before windows.h, which would otherwise bring the old winsock.h.
#include <winsock2.h>
// clang-format off
#include <windows.h>
// clang-format on

#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/comm_settings_win32.h"
#include "platform/device_path.h"
#include "platform/net_port.h"
#include "platform/output_queue.h"
#include "platform/serial_port.h"
#include "platform/wire_trace.h"

namespace kavelin2 {
namespace {

// How long a purge lets a write already begun finish before it drops the
// input: the closing EOT of an exchange is gone in a few milliseconds even
// at 1200 baud. A write still going after that goes on by itself.
constexpr DWORD kPurgeDrainMs = 100;

// Look-ahead reads in a row that end at once without a byte before the
// line counts as gone.
constexpr int kEarlyEndsOfALostLine = 3;

std::string SystemMessage(DWORD error) {
  char text[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           error, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) --n;
  if (n == 0) return "error " + std::to_string(error);
  return std::string(text, n);
}

class Win32SerialPort;
// Open ports by the number their WaitHandle gives, so that a wait reaches
// the port behind a tracing wrapper. Shared by the system and its ports.
using PortRegistry = std::map<int, Win32SerialPort*>;

class Win32SerialPort : public SerialPort {
 public:
  Win32SerialPort(HANDLE h, int id, std::shared_ptr<PortRegistry> registry)
      : h_(h), id_(id), registry_(std::move(registry)) {
    look_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    io_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    wr_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    (*registry_)[id_] = this;
  }

  ~Win32SerialPort() override {
    registry_->erase(id_);
    StopLookahead();
    if (writing_) {
      // The write points into pending_: it must have ended before that goes.
      CancelIo(h_);
      DWORD sent = 0;
      GetOverlappedResult(h_, &wr_, &sent, TRUE);
    }
    CloseHandle(h_);
    CloseHandle(look_.hEvent);
    CloseHandle(io_.hEvent);
    CloseHandle(wr_.hEvent);
  }

  void Configure(const LineFormat& format) override {
    if (dead_) return;
    DCB current{};
    current.DCBlength = sizeof current;
    if (!GetCommState(h_, &current)) return;
    DCB wanted = BuildCommState(format, current);
    SetCommState(h_, &wanted);
    EscapeCommFunction(h_, SETDTR);
    EscapeCommFunction(h_, SETRTS);
  }

  int QueuedInput() override {
    if (dead_) return 0;
    CollectLookahead();
    return (have_look_ ? 1 : 0) + static_cast<int>(Queued());
  }

  int Read(uint8_t* buf, int n) override {
    if (dead_ || n <= 0) return 0;
    CollectLookahead();
    // A byte may reach the queue while the look-ahead read is still
    // pending (Wine queues it there): take the look-ahead's byte, if it got
    // one, first, so that the order stays the line's order.
    if (look_pending_ && Queued() > 0) StopLookahead();
    int done = 0;
    if (have_look_) {
      buf[done++] = look_byte_;
      have_look_ = false;
    }
    if (look_pending_) return done;
    DWORD queued = Queued();
    DWORD want = static_cast<DWORD>(n - done);
    if (queued < want) want = queued;
    if (want == 0) return done;
    DWORD got = 0;
    ResetEvent(io_.hEvent);
    if (!ReadFile(h_, buf + done, want, nullptr, &io_)) {
      if (GetLastError() != ERROR_IO_PENDING) return Failed(done);
    }
    if (!GetOverlappedResult(h_, &io_, &got, TRUE)) return Failed(done);
    return done + static_cast<int>(got);
  }

  bool Write(const uint8_t* buf, int n) override {
    if (dead_ || write_failed_) return false;
    if (n <= 0) return true;
    if (!pending_.Push(std::span<const uint8_t>(buf, static_cast<size_t>(n)))) return false;
    FlushOutput();
    return !dead_ && !write_failed_;
  }

  int PendingOutput() const override { return dead_ ? 0 : static_cast<int>(pending_.size()); }

  // One overlapped write at a time, of the oldest pending bytes; it is left
  // running, and its end is collected here or by a wait on its event.
  void FlushOutput() override {
    while (!dead_ && !pending_.empty()) {
      if (writing_) {
        DWORD sent = 0;
        if (!GetOverlappedResult(h_, &wr_, &sent, FALSE)) {
          const DWORD error = GetLastError();
          if (error == ERROR_IO_INCOMPLETE) return;
          writing_ = false;
          WriteFailed(error);
          return;
        }
        writing_ = false;
        pending_.Taken(sent);
        // Nothing taken without a failure: try again at the next flush,
        // not in a loop here.
        if (sent == 0) return;
        continue;
      }
      const std::span<const uint8_t> front = pending_.Front();
      ResetEvent(wr_.hEvent);
      if (!WriteFile(h_, front.data(), static_cast<DWORD>(front.size()), nullptr, &wr_)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
          WriteFailed(error);
          return;
        }
      }
      writing_ = true;
    }
  }

  // The event of the write running, or null.
  HANDLE WriteEvent() const { return writing_ && !dead_ ? wr_.hEvent : nullptr; }

  void Purge() override {
    if (dead_) return;
    // What was just sent (the EOT of an aborted exchange) must still reach
    // the handheld: a write begun is given a moment to end, then what came
    // in is dropped. Pending writes not begun are dropped: a far end that
    // stopped reading is not waited for.
    FlushOutput();
    if (writing_ && WaitForSingleObject(wr_.hEvent, kPurgeDrainMs) == WAIT_OBJECT_0) {
      FlushOutput();
    }
    pending_.DropUnbegun();
    write_failed_ = false;
    StopLookahead();
    have_look_ = false;
    PurgeComm(h_, PURGE_RXABORT | PURGE_RXCLEAR);
  }

  void DropControlLines() override {
    if (dead_) return;
    EscapeCommFunction(h_, CLRDTR);
    EscapeCommFunction(h_, CLRRTS);
  }

  int WaitHandle() const override { return dead_ ? -1 : id_; }
  bool Lost() const override { return dead_; }
  std::string LostReason() const override { return lost_reason_; }

  // For the wait: true when input is there already; otherwise a look-ahead
  // read is pending and |*event| is the event to wait on.
  bool ArmLookahead(HANDLE* event) {
    *event = nullptr;
    if (dead_) return false;
    CollectLookahead();
    if (have_look_) return true;
    if (look_pending_) {
      *event = look_.hEvent;
      return false;
    }
    if (Queued() > 0) return true;
    ResetEvent(look_.hEvent);
    look_started_ = GetTickCount64();
    DWORD got = 0;
    if (ReadFile(h_, &look_byte_, 1, &got, &look_)) {
      LookaheadEnded(true, got, 0);
      return have_look_;
    }
    DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      LookaheadEnded(false, 0, error);
      return false;
    }
    look_pending_ = true;
    *event = look_.hEvent;
    return false;
  }

 private:
  DWORD Queued() {
    DWORD errors = 0;
    COMSTAT stat{};
    // Also clears a framing, parity or overrun error, which would otherwise
    // hold up the port's I/O.
    if (!ClearCommError(h_, &errors, &stat)) {
      Failed(0);
      return 0;
    }
    return stat.cbInQue;
  }

  // Takes the look-ahead read's result when it has completed.
  void CollectLookahead() {
    if (!look_pending_) return;
    DWORD got = 0;
    if (GetOverlappedResult(h_, &look_, &got, FALSE)) {
      look_pending_ = false;
      LookaheadEnded(true, got, 0);
      return;
    }
    DWORD error = GetLastError();
    if (error == ERROR_IO_INCOMPLETE) return;
    look_pending_ = false;
    LookaheadEnded(false, 0, error);
  }

  // A look-ahead read asks for one byte and, with the station's time-outs,
  // ends without one only after ReadTotalTimeoutConstant. One that ends
  // empty or failed much sooner, several times in a row, is on a line that
  // has gone (a USB adapter pulled out; under Wine, a pseudo-terminal whose
  // other end closed): waiting on it again would return at once, forever.
  void LookaheadEnded(bool ok, DWORD got, DWORD error) {
    if (ok && got == 1) {
      have_look_ = true;
      early_ends_ = 0;
      return;
    }
    if (!ok && error == ERROR_OPERATION_ABORTED) return;  // cancelled here
    if (!ok) {
      SetLastError(error);
      Failed(0);
    }
    if (dead_) return;
    if (GetTickCount64() - look_started_ >= StationCommTimeouts().ReadTotalTimeoutConstant / 2) {
      early_ends_ = 0;
      return;
    }
    if (++early_ends_ >= kEarlyEndsOfALostLine) {
      dead_ = true;
      lost_reason_ = ok ? "the line hung up" : SystemMessage(error);
    }
  }

  // Cancels a pending look-ahead read and waits until it has ended; a byte
  // it got in the meantime is kept.
  void StopLookahead() {
    if (!look_pending_) return;
    CancelIo(h_);
    DWORD got = 0;
    BOOL ok = GetOverlappedResult(h_, &look_, &got, TRUE);
    look_pending_ = false;
    if (ok && got == 1) have_look_ = true;  // the byte came before the cancel
  }

  void WriteFailed(DWORD error) {
    SetLastError(error);
    Failed(0);
    if (!dead_) write_failed_ = true;
    pending_.Clear();
  }

  int Failed(int done) {
    DWORD error = GetLastError();
    // A port whose device has gone (a USB adapter pulled out) answers
    // these; it stays silent from now on.
    if (error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND ||
        error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_GEN_FAILURE ||
        error == ERROR_INVALID_HANDLE || error == ERROR_FILE_NOT_FOUND) {
      dead_ = true;
      lost_reason_ = SystemMessage(error);
    }
    return done > 0 ? done : -1;
  }

  HANDLE h_;
  int id_;
  std::shared_ptr<PortRegistry> registry_;
  OVERLAPPED look_{};
  OVERLAPPED io_{};
  OVERLAPPED wr_{};  // the write running, when writing_
  bool writing_ = false;
  // Written, not taken by the driver yet; the oldest is the write running.
  OutputQueue pending_;
  // A write failed while the device stayed: the next Write says so. Ends
  // with the exchange's purge.
  bool write_failed_ = false;
  uint8_t look_byte_ = 0;
  ULONGLONG look_started_ = 0;
  int early_ends_ = 0;
  bool look_pending_ = false;
  bool have_look_ = false;
  bool dead_ = false;
  std::string lost_reason_;
};

class Win32SerialSystem : public SerialSystem {
 public:
  explicit Win32SerialSystem(Clock& clock) : clock_(clock) {
    trace_ = OpenWireTraceFromEnvironment(clock_);
  }

  std::unique_ptr<SerialPort> Open(const std::string& port_name) override {
    last_error_.clear();
    std::string path = DevicePathForPort(port_name);
    if (path.empty()) {
      last_error_ = port_name + ": not a port name";
      return nullptr;
    }
    if (IsNetUrl(path)) return OpenNet(port_name, path);
    // No sharing: a port the station has is the station's alone.
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      last_error_ = path + ": " + SystemMessage(GetLastError());
      return nullptr;
    }
    DCB current{};
    current.DCBlength = sizeof current;
    COMMTIMEOUTS timeouts = StationCommTimeouts();
    if (!SetupComm(h, 1032, 1032) || !GetCommState(h, &current) || !SetCommTimeouts(h, &timeouts)) {
      last_error_ = path + ": " + SystemMessage(GetLastError());
      CloseHandle(h);
      return nullptr;
    }
    PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    std::unique_ptr<SerialPort> port = std::make_unique<Win32SerialPort>(h, ++next_id_, ports_);
    if (trace_) {
      trace_->Note(port_name, "OPEN " + path);
      port = NewTracingPort(std::move(port), port_name, trace_);
    }
    return port;
  }

  std::string LastOpenError() const override { return last_error_; }

  void WaitForInput(std::span<SerialPort* const> ports, int32_t timeout_ms) override {
    if (timeout_ms <= 0) return;
    std::vector<HANDLE> events;
    // Network ports: an event per socket for the time of this wait. It is
    // set at once when bytes or the end are already there.
    std::vector<std::pair<SOCKET, WSAEVENT>> sockets;
    bool ready = false;
    for (SerialPort* port : ports) {
      if (port == nullptr) continue;
      const int handle = port->WaitHandle();
      auto it = ports_->find(handle);
      if (port->PendingOutput() > 0) {
        // Its frame has not gone: wait for room, not for an answer. Output
        // that goes now, or a line that failed taking it, is the caller's
        // to look at at once.
        if (it == ports_->end()) {
          if (handle < 0) continue;
          WSAEVENT event = WSACreateEvent();
          if (event == WSA_INVALID_EVENT) continue;
          const SOCKET s = static_cast<SOCKET>(handle);
          sockets.emplace_back(s, event);
          // Selected before the send that finds no room, so that the room
          // it then waits for sets the event.
          WSAEventSelect(s, event, FD_WRITE | FD_CLOSE);
          port->FlushOutput();
          WSANETWORKEVENTS news{};
          if (port->PendingOutput() > 0 && !port->Lost()) {
            // What the selection itself recorded is no news: the send after
            // it found no room. Cleared, so that the wait does not end at once.
            WSAEnumNetworkEvents(s, event, &news);
            if (news.lNetworkEvents & FD_WRITE) port->FlushOutput();
          }
          if (port->PendingOutput() == 0 || port->Lost() || (news.lNetworkEvents & FD_CLOSE)) {
            ready = true;
            break;
          }
          events.push_back(event);
          continue;
        }
        port->FlushOutput();
        if (port->PendingOutput() == 0 || port->Lost()) {
          ready = true;
          break;
        }
        if (HANDLE event = it->second->WriteEvent()) events.push_back(event);
        continue;
      }
      if (port->HoldsInput()) {
        ready = true;
        break;
      }
      if (it == ports_->end()) {
        if (handle < 0) continue;
        WSAEVENT event = WSACreateEvent();
        if (event == WSA_INVALID_EVENT) continue;
        const SOCKET s = static_cast<SOCKET>(handle);
        WSAEventSelect(s, event, FD_READ | FD_CLOSE);
        sockets.emplace_back(s, event);
        events.push_back(event);
        continue;
      }
      HANDLE event = nullptr;
      if (it->second->ArmLookahead(&event)) {
        ready = true;
        break;
      }
      if (event != nullptr) events.push_back(event);
    }
    if (!ready) {
      if (events.empty()) {
        // No live line to wait on: wait on the clock.
        clock_.SleepMs(timeout_ms);
      } else {
        WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE,
                               static_cast<DWORD>(timeout_ms));
      }
    }
    for (const auto& [s, event] : sockets) {
      WSAEventSelect(s, nullptr, 0);  // the socket stays non-blocking
      WSACloseEvent(event);
    }
  }

 private:
  // The port behind a device server that |url| names.
  std::unique_ptr<SerialPort> OpenNet(const std::string& port_name, const std::string& url) {
    std::unique_ptr<SerialPort> port = OpenNetLine(url, clock_, &last_error_);
    if (!port) return nullptr;
    if (trace_) {
      trace_->Note(port_name, "OPEN " + url);
      port = NewTracingPort(std::move(port), port_name, trace_);
    }
    return port;
  }

  Clock& clock_;
  std::shared_ptr<WireTrace> trace_;
  std::shared_ptr<PortRegistry> ports_ = std::make_shared<PortRegistry>();
  // Serial ports are numbered from here, far above any socket handle, so
  // that a wait tells the two apart by the number alone.
  int next_id_ = 0x40000000;
  std::string last_error_;
};

}  // namespace

std::unique_ptr<SerialSystem> NewWin32SerialSystem(Clock& clock) {
  return std::make_unique<Win32SerialSystem>(clock);
}

std::unique_ptr<SerialSystem> NewPlatformSerialSystem(Clock& clock) {
  return NewWin32SerialSystem(clock);
}

}  // namespace kavelin2
