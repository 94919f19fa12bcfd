// The handheld's end of the line on Windows: a serial port (COMn) through
// the Win32 communications calls, independent of the station's own back end
// so that the simulator checks the station rather than sharing its faults.
// Windows has no pseudo-terminals: --pty is refused.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "handheld_port.h"

namespace kavelin2::handheld {

namespace {

constexpr int kSpeeds[] = {300,   600,   1200,   2400,   4800,   9600,  19200,
                           38400, 57600, 115200, 230400, 256000, 460800};

std::string LastError(const std::string& what) {
  char text[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           GetLastError(), 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) --n;
  return what + ": " + std::string(text, n);
}

}  // namespace

struct HandheldPort::Native {
  HANDLE h = INVALID_HANDLE_VALUE;
  DWORD read_timeout = MAXDWORD - 1;  // the time-out the port has now
};

// Ctrl-C ends the program as it is; there is no link to remove.
void InstallSignalHandlers(const std::string& /*link*/) {}

bool IsSupportedSpeed(int speed) {
  for (int s : kSpeeds)
    if (s == speed) return true;
  return false;
}

std::unique_ptr<HandheldPort> HandheldPort::OpenDevice(const std::string& path, int speed,
                                                       const LineFormat& format,
                                                       std::string* error) {
  // "COM12" is only reachable as "\\.\COM12".
  std::string device = path.rfind("\\\\", 0) == 0 ? path : "\\\\.\\" + path;
  std::unique_ptr<HandheldPort> port(new HandheldPort());
  port->native_ = std::make_unique<Native>();
  port->peer_path_ = path;
  HANDLE h = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    *error = LastError(device);
    return nullptr;
  }
  port->native_->h = h;
  DCB d{};
  d.DCBlength = sizeof d;
  if (!GetCommState(h, &d)) {
    *error = LastError(device + ": not a serial port");
    return nullptr;
  }
  d.BaudRate = static_cast<DWORD>(speed);
  d.ByteSize = static_cast<BYTE>(format.data_bits);
  d.Parity = format.parity == 'E' ? EVENPARITY : format.parity == 'O' ? ODDPARITY : NOPARITY;
  d.StopBits = format.stop_bits == 2 ? TWOSTOPBITS : ONESTOPBIT;
  d.fBinary = TRUE;
  d.fParity = format.parity != 'N';
  d.fOutxCtsFlow = d.fOutxDsrFlow = d.fDsrSensitivity = FALSE;
  d.fOutX = d.fInX = d.fNull = d.fErrorChar = d.fAbortOnError = FALSE;
  d.fDtrControl = DTR_CONTROL_ENABLE;
  d.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetupComm(h, 4096, 4096) || !SetCommState(h, &d)) {
    *error = LastError(device + ": cannot set " + std::to_string(speed) + " baud");
    return nullptr;
  }
  PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
  return port;
}

std::unique_ptr<HandheldPort> HandheldPort::CreatePty(const std::string& /*link*/,
                                                      std::string* error) {
  *error = "Windows has no pseudo-terminals: use --device COMn";
  return nullptr;
}

HandheldPort::~HandheldPort() {
  if (native_ && native_->h != INVALID_HANDLE_VALUE) {
    WaitUntilDelivered(3000);
    CloseHandle(native_->h);
  }
}

bool HandheldPort::WriteRaw(const uint8_t* data, size_t n) {
  size_t done = 0;
  while (done < n) {
    DWORD w = 0;
    if (!WriteFile(native_->h, data + done, static_cast<DWORD>(n - done), &w, nullptr)) {
      return false;
    }
    if (w == 0) return false;
    done += w;
  }
  if (sent_log_) fwrite(data, 1, n, sent_log_);
  return true;
}

int HandheldPort::FillBuffer(int timeout_ms) {
  // What is queued at once, or the first byte to come within the time-out.
  DWORD wanted = timeout_ms <= 0 ? 0 : static_cast<DWORD>(timeout_ms);
  if (wanted != native_->read_timeout) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = wanted == 0 ? 0 : MAXDWORD;
    t.ReadTotalTimeoutConstant = wanted;
    SetCommTimeouts(native_->h, &t);
    native_->read_timeout = wanted;
  }
  DWORD got = 0;
  if (!ReadFile(native_->h, buffer_, sizeof buffer_, &got, nullptr)) return kHangUp;
  if (got == 0) return kTimeout;
  buffered_ = got;
  next_ = 0;
  return 0;
}

void HandheldPort::DropUnreadOutput() { PurgeComm(native_->h, PURGE_TXCLEAR); }

void HandheldPort::DropUnreadInput() {
  next_ = buffered_ = 0;
  PurgeComm(native_->h, PURGE_RXCLEAR);
}

void HandheldPort::WaitUntilDelivered(int /*max_ms*/) { FlushFileBuffers(native_->h); }

// Nothing can be seen of the station on a serial line.
bool HandheldPort::WaitForStation(int /*max_ms*/) { return true; }

}  // namespace kavelin2::handheld
