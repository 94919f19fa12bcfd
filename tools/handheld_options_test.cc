#include "handheld_options.h"

#include <gtest/gtest.h>

#include <vector>

namespace kavelin2::handheld {
namespace {

bool Parse(std::vector<std::string> args, Options* o, std::string* error) {
  std::vector<char*> argv;
  static char program[] = "kavelin2-handheld";
  argv.push_back(program);
  for (auto& a : args) argv.push_back(a.data());
  return ParseOptions(static_cast<int>(argv.size()), argv.data(), o, error);
}

TEST(HandheldOptions, FaultsBelongToTheExchangeTheyFollow) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--pty", "/tmp/l", "--upload", "A.001:4", "--nak", "9:3", "--download", "001",
                     "--next", "--download=002", "--silent-after", "6", "--bad-id"},
                    &o, &error))
      << error;
  ASSERT_EQ(2u, o.exchanges.size());
  EXPECT_EQ(3, o.exchanges[0].faults.nak_steps.at(9));
  EXPECT_EQ(0, o.exchanges[0].faults.silent_after);
  EXPECT_FALSE(o.exchanges[0].faults.bad_id);
  EXPECT_EQ("002", o.exchanges[1].download_id);
  EXPECT_EQ(6, o.exchanges[1].faults.silent_after);
  EXPECT_TRUE(o.exchanges[1].faults.bad_id);
}

TEST(HandheldOptions, NameFieldReplacesTheLastUploadsNameExactly) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--pty", "l", "--upload", "x:4", "--name-field", "../../EVIL"}, &o, &error));
  EXPECT_EQ("../../EVIL  ", o.exchanges[0].uploads[0].name_field);
}

TEST(HandheldOptions, UsageErrorsAreReported) {
  Options o;
  std::string error;
  EXPECT_FALSE(Parse({"--upload", "A.001:4"}, &o, &error));  // no line
  EXPECT_NE(std::string::npos, error.find("--pty"));
  EXPECT_FALSE(Parse({"--pty", "l", "--device", "/dev/ttyS0", "--download", "001"}, &o, &error));
  EXPECT_FALSE(Parse({"--pty", "l"}, &o, &error));  // nothing to do
  EXPECT_FALSE(Parse({"--pty", "l", "--download", "0001"}, &o, &error));
  EXPECT_FALSE(Parse({"--device", "d", "--speed", "12345", "--download", "001"}, &o, &error));
  EXPECT_FALSE(Parse({"--pty", "l", "--download", "001", "--nak", "x"}, &o, &error));
  EXPECT_FALSE(Parse({"--pty", "l", "--download", "001", "--frobnicate"}, &o, &error));
  EXPECT_FALSE(Parse({"--pty", "l", "--download"}, &o, &error));
  EXPECT_NE(std::string::npos, error.find("needs a value"));
  for (const char* ber : {"2", "-1e-3", "1e-3x", "", "nan"}) {
    EXPECT_FALSE(Parse({"--pty", "l", "--download", "001", "--ber", ber}, &o, &error)) << ber;
  }
}

TEST(HandheldOptions, NoisyLineAndPersistentHandheld) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse({"--pty", "l", "--download", "001"}, &o, &error)) << error;
  EXPECT_EQ(0, o.ber);  // a quiet line and the plain handheld by default
  EXPECT_FALSE(o.persistent);
  ASSERT_TRUE(
      Parse({"--pty", "l", "--download", "001", "--ber=1e-3", "--persistent", "--seed", "42"}, &o,
            &error))
      << error;
  EXPECT_DOUBLE_EQ(1e-3, o.ber);
  EXPECT_TRUE(o.persistent);
  EXPECT_EQ(42u, o.seed);
}

TEST(HandheldOptions, DeviceSpeedAndFormat) {
  Options o;
  std::string error;
  ASSERT_TRUE(Parse(
      {"--device", "/dev/ttyUSB0", "--speed", "115200", "--format", "7e2", "--download", "001"}, &o,
      &error))
      << error;
  EXPECT_EQ(115200, o.speed);
  EXPECT_EQ(7, o.format.data_bits);
  EXPECT_EQ('E', o.format.parity);
  EXPECT_EQ(2, o.format.stop_bits);
}

}  // namespace
}  // namespace kavelin2::handheld
