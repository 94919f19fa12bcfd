// Hostile replies of the UI runtime: the decoder of the exchange block.
//
// Input: the exchange block as the runtime leaves it (shorter input is
// padded with zeros, longer is cut); byte 0 of the block holds the flags and
// the value type. Each input is decoded twice, over a fresh record and over
// the record the first decoding left, as a station decodes reply after reply.
// Checks: no crash or sanitizer report, every text of the record terminated
// inside its field.
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "testing/fake_ui.h"
#include "ui/ui_channel.h"

using namespace kavelin2;
using namespace kavelin2::fuzz;

namespace {

template <size_t N>
void CheckText(const char (&field)[N], const char* what) {
  Check(std::memchr(field, 0, N) != nullptr, what);
}

void Fatal(const char*, const char*) { Fail("the fake runtime reported a fatal error"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  UiChannel channel(std::make_unique<FakeUiRuntime>(), Fatal);
  for (int round = 0; round < 2; ++round) {
    std::memset(channel.UiReply.UiExchangeBlock, 0, kExchangeBlockSize);
    std::memcpy(channel.UiReply.UiExchangeBlock, data,
                size < kExchangeBlockSize ? size : kExchangeBlockSize);
    channel.DecodeBlock();
    const UiReplyRecord& r = channel.UiReply;
    CheckText(r.status, "status not terminated");
    CheckText(r.text, "text not terminated");
    CheckText(r.extraText, "extra text not terminated");
    CheckText(r.tag1, "tag 1 not terminated");
    CheckText(r.tag2, "tag 2 not terminated");
    CheckText(r.tag3, "tag 3 not terminated");
    // What callers do with a reply right after it.
    (void)channel.StatusIs("*V*");
  }
  return 0;
}
