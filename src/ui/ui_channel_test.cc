#include "ui/ui_channel.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "testing/fake_ui.h"

namespace kavelin2 {
namespace {

// A runtime that writes raw bytes into the block: the decoder's input exactly
// as a runtime could leave it.
class RawRuntime : public UiRuntimeLink {
 public:
  std::function<void(uint8_t*)> reply;
  std::vector<std::string> commands;
  LoadResult Load() override {
    loaded_ = true;
    return LoadResult::kOk;
  }
  bool IsLoaded() const override { return loaded_; }
  int32_t InitInstance(uint8_t*) override { return 1; }
  void FinInstance(uint8_t*) override {}
  void Call(uint8_t* block) override {
    commands.emplace_back(reinterpret_cast<const char*>(block),
                          strnlen(reinterpret_cast<const char*>(block), kExchangeBlockSize));
    std::memset(block, 0, kExchangeBlockSize);
    if (reply) reply(block);
  }
  void Unload() override { loaded_ = false; }

 private:
  bool loaded_ = false;
};

struct Decoder : ::testing::Test {
  RawRuntime* raw = new RawRuntime;
  UiChannel ui{std::unique_ptr<UiRuntimeLink>(raw)};

  // Sends one command whose reply is |flags| and the value text |value|
  // (|length| as the length byte; -1: the text's own length).
  void Value(uint8_t flags, const std::string& value, int length = -1) {
    raw->reply = [=](uint8_t* b) {
      b[kOffFlags] = flags;
      b[kOffValueLength] = static_cast<uint8_t>(length < 0 ? value.size() : length);
      std::memcpy(b + kOffValueText, value.data(), value.size());
    };
    ui.UiCall("ECRAN,RECUPERE,X");
  }
};

TEST_F(Decoder, ValueLengthAbove206LeavesAt206Characters) {
  for (int length : {206, 207, 230, 255}) {
    Value(kReplyValue | kValueInteger, std::string(static_cast<size_t>(length), 'x'));
    EXPECT_EQ(std::strlen(ui.UiReply.text), 206u) << length;
  }
  // The length byte rules even when the text is longer.
  Value(kReplyValue | kValueInteger, std::string(300, 'y'), 10);
  EXPECT_STREQ(ui.UiReply.text, "yyyyyyyyyy");
  // The copy stops early at a NUL.
  Value(kReplyValue | kValueInteger, std::string("ab\0cd", 5), 5);
  EXPECT_STREQ(ui.UiReply.text, "ab");
}

TEST_F(Decoder, AReplyWithoutStatusKeepsThePreviousStatus) {
  raw->reply = [](uint8_t* b) { PutStatus(b, "*V*"); };
  ui.UiCall("ECRAN, SAISIE");
  EXPECT_STREQ(ui.UiReply.status, "*V*");
  Value(kReplyValue | kValueInteger, "12");
  EXPECT_STREQ(ui.UiReply.status, "*V*");
  ui.SetStatus("???");
  raw->reply = nullptr;
  ui.UiCall("FERME");
  EXPECT_STREQ(ui.UiReply.status, "???");
  EXPECT_STREQ(ui.UiReply.text, "12");
  EXPECT_EQ(ui.UiReply.intValue, 12);
}

TEST_F(Decoder, FloatAndDoubleValuesAreTruncatedTowardZero) {
  for (uint8_t type : {kValueFloat, kValueDouble}) {
    Value(kReplyValue | type, "2.9");
    EXPECT_EQ(ui.UiReply.intValue, 2);
    EXPECT_EQ(ui.UiReply.longValue, 2);
    EXPECT_NEAR(ui.UiReply.doubleValue, 2.9, 1e-6);
    EXPECT_NEAR(ui.UiReply.floatValue, 2.9f, 1e-6);
    Value(kReplyValue | type, "-2.9");
    EXPECT_EQ(ui.UiReply.intValue, -2);
    EXPECT_STREQ(ui.UiReply.text, "-2.9");
  }
  Value(kReplyValue | kValueDouble, "1e300");
  EXPECT_EQ(ui.UiReply.intValue, 2147483647);  // clamped, not undefined
}

TEST_F(Decoder, IntegerAndLongValuesFillEveryNumericField) {
  Value(kReplyValue | kValueInteger, "  -42xyz");
  EXPECT_EQ(ui.UiReply.intValue, -42);
  EXPECT_EQ(ui.UiReply.longValue, -42);
  EXPECT_EQ(ui.UiReply.floatValue, -42.0f);
  EXPECT_EQ(ui.UiReply.doubleValue, -42.0);
  Value(kReplyValue | kValueLong, "+7");
  EXPECT_EQ(ui.UiReply.intValue, 7);
  EXPECT_EQ(ui.UiReply.longValue, 7);
  EXPECT_EQ(ui.UiReply.doubleValue, 7.0);
}

TEST_F(Decoder, AValueWithoutDigitsGivesZeroInEveryNumericField) {
  for (uint8_t type : {kValueInteger, kValueLong, kValueFloat, kValueDouble}) {
    Value(kReplyValue | kValueDouble, "5.5");
    ASSERT_EQ(ui.UiReply.intValue, 5);
    Value(kReplyValue | type, "COM");
    EXPECT_EQ(ui.UiReply.intValue, 0) << int(type);
    EXPECT_EQ(ui.UiReply.longValue, 0) << int(type);
    EXPECT_EQ(ui.UiReply.floatValue, 0.0f) << int(type);
    EXPECT_EQ(ui.UiReply.doubleValue, 0.0) << int(type);
    EXPECT_STREQ(ui.UiReply.text, "COM");
  }
}

TEST_F(Decoder, NumberAndTextGivesTheNumberAndTheSecondString) {
  Value(kReplyValue | kValueNumberAndText, std::string("12\0ABC\0", 7), 2);
  EXPECT_EQ(ui.UiReply.intValue, 12);
  EXPECT_STREQ(ui.UiReply.text, "ABC");
  // The second string is found behind the length byte as received, even one
  // that is larger than 206.
  std::string value(240, '9');
  value += '\0';
  value += "TAIL";
  Value(kReplyValue | kValueNumberAndText, value, 240);
  EXPECT_STREQ(ui.UiReply.text, "TAIL");
  // A second string that runs to the end of the block is cut, not overrun.
  raw->reply = [](uint8_t* b) {
    b[kOffFlags] = kReplyValue | kValueNumberAndText;
    b[kOffValueLength] = 255;
    std::memset(b + kOffValueText, '7', kExchangeBlockSize - kOffValueText);
    b[kOffValueText + 255] = 0;
  };
  ui.UiCall("X");
  EXPECT_EQ(std::strlen(ui.UiReply.text), 206u);
}

TEST_F(Decoder, PairGivesBothValuesAndAuxIsResetByTheNextReply) {
  raw->reply = [](uint8_t* b) {
    b[kOffFlags] = kReplyValue | kValuePair;
    const uint8_t aux[4] = {0x01, 0x02, 0x00, 0x00};
    const uint8_t val[4] = {0xFE, 0xFF, 0xFF, 0xFF};
    std::memcpy(b + kOffPairAux, aux, 4);
    std::memcpy(b + kOffPairInt, val, 4);
  };
  ui.UiCall("X");
  EXPECT_EQ(ui.UiReply.auxValue, 0x0201);
  EXPECT_EQ(ui.UiReply.intValue, -2);
  raw->reply = nullptr;
  ui.UiCall("Y");
  EXPECT_EQ(ui.UiReply.auxValue, 0);
  EXPECT_EQ(ui.UiReply.intValue, -2);
}

TEST_F(Decoder, ExtraTextAndTagsAreCopiedWithTheirOverlap) {
  raw->reply = [](uint8_t* b) {
    b[kOffFlags] = kReplyExtraText | kReplyTags;
    std::memcpy(b + kOffExtraText, "ABCDEFGHIJ", 10);
    b[kOffExtraValue] = 0x01;
    std::memcpy(b + kOffTag1, "TAG1XXXX", 8);
    std::memcpy(b + kOffTag2, "TAG2YYYYZ", 9);  // the ninth byte is tag 3's
    std::memcpy(b + kOffTag3, "0123456789ABCDEFG", 17);
  };
  ui.UiCall("BIBLI,DISQUE,KAVELIN2.WDL");
  ui.SetStatus("*V*");
  ui.UiCall("X");
  EXPECT_STREQ(ui.UiReply.extraText, "ABCDEFGHIJ");
  EXPECT_EQ(ui.UiReply.extraValue, int32_t(0x01 | 'T' << 8 | 'A' << 16 | uint32_t('G') << 24));
  EXPECT_STREQ(ui.UiReply.tag1, "TAG1XXXX");
  EXPECT_STREQ(ui.UiReply.tag2, "TAG2YYYY");
  EXPECT_STREQ(ui.UiReply.tag3, "0123456789ABCDE");
  EXPECT_STREQ(ui.UiReply.status, "*V*");
}

TEST_F(Decoder, ALongCommandIsCutAt1024CharactersAndTerminated) {
  std::string longer(3000, 'A');
  ui.UiCall("INFO, %s", longer.c_str());
  ASSERT_EQ(raw->commands.size(), 1u);
  EXPECT_EQ(raw->commands[0].size(), 1024u);
  EXPECT_EQ(raw->commands[0].substr(0, 7), "INFO, A");
  ui.UiCall("FERME");
  EXPECT_EQ(raw->commands[1], "FERME");
}

struct Lifecycle : ::testing::Test {
  FakeUiRuntime* fake = new FakeUiRuntime;
  UiChannel ui{std::unique_ptr<UiRuntimeLink>(fake)};
};

TEST_F(Lifecycle, AFailedStartGivesStatusEAndTheNextCallStartsAgain) {
  fake->fail_init = true;
  ui.UiCall("BIBLI,DISQUE,KAVELIN2.WDL");
  EXPECT_STREQ(ui.UiReply.status, "*E*");
  EXPECT_EQ(ui.UiReply.intValue, 0);
  EXPECT_STREQ(ui.UiReply.text, "");
  EXPECT_EQ(ui.UiReply.initialised, 0);
  EXPECT_TRUE(fake->commands.empty());  // the command is dropped
  EXPECT_EQ(fake->init_calls, 1);
  EXPECT_EQ(fake->loads, 1);

  fake->fail_init = false;
  ui.UiCall("OUVRE,MENU.WDW");
  EXPECT_EQ(fake->init_calls, 2);
  EXPECT_EQ(fake->loads, 1);
  EXPECT_EQ(ui.UiReply.initialised, 1);
  EXPECT_EQ(fake->commands, std::vector<std::string>{"OUVRE,MENU.WDW"});
  ui.UiCall("FERME");
  EXPECT_EQ(fake->init_calls, 2);
}

TEST_F(Lifecycle, AFailedStartKeepsEarlierResultsOtherThanTheStatus) {
  fake->Script("ECRAN,RECUPERE", FakeReply{"*V*", "41", std::nullopt});
  ui.UiCall("ECRAN,RECUPERE,X");
  ui.UiShutdown();
  fake->fail_init = true;
  ui.UiCall("OUVRE,MENU.WDW");
  EXPECT_STREQ(ui.UiReply.status, "*E*");
  EXPECT_EQ(ui.UiReply.intValue, 41);
  EXPECT_STREQ(ui.UiReply.text, "41");
}

TEST_F(Lifecycle, ASuccessfulStartClearsTheReply) {
  fake->Script("ECRAN,RECUPERE", FakeReply{"*V*", "41", std::nullopt});
  ui.UiCall("ECRAN,RECUPERE,X");
  ui.UiShutdown();
  ui.UiCall("FERME");  // its reply carries nothing
  EXPECT_STREQ(ui.UiReply.status, "");
  EXPECT_EQ(ui.UiReply.intValue, 0);
  EXPECT_STREQ(ui.UiReply.text, "");
  EXPECT_EQ(ui.UiReply.doubleValue, 0.0);
}

TEST_F(Lifecycle, ShutdownEndsTheInstanceThenUnloadsAndASecondDoesNothing) {
  ui.UiCall("OUVRE,MENU.WDW");
  ui.UiShutdown();
  EXPECT_EQ(fake->fin_calls, 1);
  EXPECT_FALSE(fake->loaded);
  EXPECT_EQ(ui.UiReply.initialised, 0);
  ui.UiShutdown();
  EXPECT_EQ(fake->fin_calls, 1);
  EXPECT_EQ(fake->loads, 1);
}

TEST_F(Lifecycle, ShutdownWithoutAStartedInstanceOnlyUnloads) {
  fake->fail_init = true;
  ui.UiCall("OUVRE,MENU.WDW");
  ASSERT_TRUE(fake->loaded);
  ui.UiShutdown();
  EXPECT_EQ(fake->fin_calls, 0);
  EXPECT_FALSE(fake->loaded);
}

TEST_F(Lifecycle, ShutdownBeforeAnyCommandDoesNothing) {
  ui.UiShutdown();
  EXPECT_EQ(fake->loads, 0);
  EXPECT_EQ(fake->fin_calls, 0);
}

}  // namespace
}  // namespace kavelin2
