#include <gtest/gtest.h>

#include "wire/codec.h"
#include "wire/reserved_names.h"

namespace kavelin2 {
namespace {

TEST(ReservedNamesOnWindows, DeviceNamesAndStreamsAreNeverReceivedFileNames) {
  // Device names, whatever their case or extension: writing to them would
  // acknowledge data that goes nowhere.
  for (const char* name :
       {"NUL", "NUL.001", "nul.txt", "CON.001", "PRN", "AUX.DAT", "COM1.001", "com9", "LPT1.TXT",
        "NUL .001", "CONOUT$", "A:B.001", "CDE.00?", "A|B", "A<B", "A\"B"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(IsReservedFileName(name));
    EXPECT_FALSE(IsSafeFileName(name));
  }
  for (const char* name : {"CDE.001", "NULL.001", "CONS.DAT", "COM10.001", "COM0", "LPT.TXT",
                           "COMMANDE.001", "AUXI", "N.U.L"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(IsReservedFileName(name));
    EXPECT_TRUE(IsSafeFileName(name));
  }
}

}  // namespace
}  // namespace kavelin2
