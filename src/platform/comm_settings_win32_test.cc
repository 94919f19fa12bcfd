// The DCB of every LineFormat code: under Wine the ports are pseudo-terminals,
// which drop data bits and parity, so the settings are checked here.
#include "platform/comm_settings_win32.h"

#include <gtest/gtest.h>

namespace kavelin2 {
namespace {

LineFormat Entry(int32_t speed, int32_t data, int32_t parity, int32_t stop) {
  return LineFormat{speed, data, parity, stop};
}

// A DCB as a driver might hand it over: flow control on, odd settings.
DCB Current() {
  DCB d{};
  d.DCBlength = sizeof d;
  d.BaudRate = 4800;
  d.ByteSize = 6;
  d.Parity = SPACEPARITY;
  d.StopBits = TWOSTOPBITS;
  d.fOutxCtsFlow = TRUE;
  d.fOutxDsrFlow = TRUE;
  d.fDtrControl = DTR_CONTROL_HANDSHAKE;
  d.fRtsControl = RTS_CONTROL_HANDSHAKE;
  d.fOutX = TRUE;
  d.fInX = TRUE;
  d.fNull = TRUE;
  d.fAbortOnError = TRUE;
  d.fDsrSensitivity = TRUE;
  return d;
}

TEST(CommState, EveryCodeOfTheTableGivesItsSettingAndNoFlowControlEver) {
  struct Row {
    int32_t speed, data, parity, stop;
    DWORD baud;
    BYTE bits, par, stopbits;
  };
  const Row rows[] = {
      {1, 1, 1, 1, 256000, 7, NOPARITY, ONESTOPBIT},
      {2, 2, 2, 2, 115200, 8, EVENPARITY, ONE5STOPBITS},
      {3, 1, 3, 3, 57600, 7, ODDPARITY, TWOSTOPBITS},
      {4, 2, 4, 1, 38400, 8, MARKPARITY, ONESTOPBIT},
      {5, 2, 1, 1, 19200, 8, NOPARITY, ONESTOPBIT},
      {6, 2, 1, 1, 9600, 8, NOPARITY, ONESTOPBIT},
      {7, 1, 2, 3, 2400, 7, EVENPARITY, TWOSTOPBITS},
      {8, 2, 3, 2, 1200, 8, ODDPARITY, ONE5STOPBITS},
      // Codes outside the tables keep what the port had (data bits: 8).
      {0, 0, 0, 0, 4800, 8, SPACEPARITY, TWOSTOPBITS},
      {9, 5, 7, 4, 4800, 8, SPACEPARITY, TWOSTOPBITS},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << "codes " << r.speed << r.data << r.parity << r.stop);
    DCB d = BuildCommState(Entry(r.speed, r.data, r.parity, r.stop), Current());
    EXPECT_EQ(sizeof(DCB), d.DCBlength);
    EXPECT_EQ(r.baud, d.BaudRate);
    EXPECT_EQ(r.bits, d.ByteSize);
    EXPECT_EQ(r.par, d.Parity);
    EXPECT_EQ(r.stopbits, d.StopBits);
    EXPECT_TRUE(d.fBinary);
    EXPECT_TRUE(d.fParity);
    EXPECT_FALSE(d.fOutxCtsFlow);
    EXPECT_FALSE(d.fOutxDsrFlow);
    EXPECT_FALSE(d.fDsrSensitivity);
    EXPECT_FALSE(d.fOutX);
    EXPECT_FALSE(d.fInX);
    EXPECT_FALSE(d.fNull);
    EXPECT_FALSE(d.fAbortOnError);
    EXPECT_EQ(static_cast<DWORD>(DTR_CONTROL_ENABLE), d.fDtrControl);
    EXPECT_EQ(static_cast<DWORD>(RTS_CONTROL_ENABLE), d.fRtsControl);
  }
}

TEST(CommState, ReadsReturnQueuedBytesAtOnceOrWaitForTheFirstOne) {
  COMMTIMEOUTS t = StationCommTimeouts();
  // MAXDWORD, MAXDWORD, constant: the documented "return at once with what
  // is queued, else at the first byte or after the constant" combination.
  EXPECT_EQ(MAXDWORD, t.ReadIntervalTimeout);
  EXPECT_EQ(MAXDWORD, t.ReadTotalTimeoutMultiplier);
  EXPECT_GT(t.ReadTotalTimeoutConstant, 0u);
  EXPECT_LT(t.ReadTotalTimeoutConstant, MAXDWORD);
  EXPECT_EQ(0u, t.WriteTotalTimeoutMultiplier);
  EXPECT_EQ(0u, t.WriteTotalTimeoutConstant);
}

}  // namespace
}  // namespace kavelin2
