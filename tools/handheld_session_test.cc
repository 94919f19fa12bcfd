// The handheld's side of the protocol against a scripted station on the
// other end of a pseudo-terminal pair.
#include "handheld_session.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "wire/codec.h"

namespace kavelin2::handheld {
namespace {

// The station's end: reads exactly what it expects, sends what it is told.
class ScriptedStation {
 public:
  explicit ScriptedStation(const std::string& path) { fd_ = open(path.c_str(), O_RDWR | O_NOCTTY); }
  ~ScriptedStation() { close(fd_); }

  // Reads |n| bytes (waiting at most 3 s in all).
  std::string Read(size_t n) {
    std::string got;
    while (got.size() < n) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 3000) <= 0) break;
      char buf[1100];
      ssize_t r = read(fd_, buf, std::min(sizeof buf, n - got.size()));
      if (r <= 0) break;
      got.append(buf, static_cast<size_t>(r));
    }
    return got;
  }
  void Expect(const Bytes& want) {
    std::string got = Read(want.size());
    EXPECT_EQ(std::string(want.begin(), want.end()), got);
  }
  void Send(const Bytes& bytes) {
    ASSERT_EQ(static_cast<ssize_t>(bytes.size()), write(fd_, bytes.data(), bytes.size()));
  }

 private:
  int fd_ = -1;
};

class SessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    port_ = HandheldPort::CreatePty("", &error);
    ASSERT_NE(nullptr, port_) << error;
    char dir[] = "/tmp/kavelin2-session-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(dir));
    dir_ = dir;
    timing_.answer_timeout_ms = 2000;
    timing_.linger_ms = 200;
  }
  void TearDown() override {
    fclose(devnull_);
    std::string cmd = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(0, system(cmd.c_str()));
  }

  // Runs |plan| while |station| plays the other end.
  ExchangeResult Run(const ExchangePlan& plan, const std::function<void(ScriptedStation&)>& station,
                     const std::string& receive_dir = "") {
    ScriptedStation peer(port_->peer_path());
    std::thread t([&] { station(peer); });
    Report report(devnull_, false);
    Session session(*port_, timing_, report, receive_dir);
    session.SetPersistent(persistent_);
    ExchangeResult r = session.Run(plan);
    t.join();
    latencies_ = session.latencies();
    return r;
  }

  std::string WriteRecords(const std::string& name, const std::string& data) {
    std::string path = dir_ + "/" + name;
    FILE* f = fopen(path.c_str(), "wb");
    fwrite(data.data(), 1, data.size(), f);
    fclose(f);
    return path;
  }

  UploadSpec MakeUpload(const std::string& path, const std::string& lengths) {
    UploadSpec desc;
    std::string error;
    EXPECT_TRUE(ParseUploadSpec(path + ":" + lengths, &desc, &error)) << error;
    return desc;
  }

  std::unique_ptr<HandheldPort> port_;
  std::string dir_;
  Timing timing_;
  Latencies latencies_;
  bool persistent_ = false;
  FILE* devnull_ = fopen("/dev/null", "w");
};

TEST_F(SessionTest, UploadAndDownloadCompleteAndTheFileIsStored) {
  ExchangePlan plan;
  plan.uploads.push_back(MakeUpload(WriteRecords("CDE.001", "ab"), "1"));
  plan.download = true;
  plan.download_id = "001";
  ExchangeResult r = Run(
      plan,
      [](ScriptedStation& st) {
        st.Expect({kEnq});
        st.Send({kAck});
        st.Expect(HeaderFrame("CDE     .001", 2, {1}));
        st.Send({kAck});
        st.Expect(DataFrame(1, reinterpret_cast<const uint8_t*>("a"), 1));
        st.Send({kAck});
        st.Expect(DataFrame(2, reinterpret_cast<const uint8_t*>("b"), 1));
        st.Send({kAck});
        st.Expect({kEot});
        st.Send({kAck});
        st.Expect(Identification("001"));
        st.Send({kAck, kEnq});
        st.Expect({kAck});
        st.Send(BuildFrame(kSoh, "OUT     .DAT00001", true));
        st.Expect({kAck});
        st.Send({kEnq});
        st.Expect({kAck});
        st.Send(BuildFrame(kSoh, "OUT     .DAT000010103", true));
        st.Expect({kAck});
        st.Send(BuildFrame(kStx, "00001x\x03z", true));  // ETX inside a record
        st.Expect({kAck});
        st.Send({kEot});
        st.Expect({kAck});
        st.Send({kRs});
        st.Expect({kAck});
      },
      dir_);
  EXPECT_TRUE(r.complete) << r.failure;
  EXPECT_EQ(13, r.steps);  // 5 for the upload, the identification, 7 answers
  ASSERT_EQ(1u, r.downloads.size());
  EXPECT_EQ("OUT.DAT", r.downloads[0].name);
  EXPECT_EQ(1, r.downloads[0].blocks);
  FILE* f = fopen((dir_ + "/OUT.DAT").c_str(), "rb");
  ASSERT_NE(nullptr, f);
  char buf[8] = {};
  EXPECT_EQ(3u, fread(buf, 1, sizeof buf, f));
  fclose(f);
  EXPECT_EQ(std::string("x\x03z"), std::string(buf, 3));
  EXPECT_EQ(2u, latencies_.upload_us.size());
  EXPECT_EQ(1u, latencies_.download_us.size());
}

TEST_F(SessionTest, SkippedBlockIsSentWhenTheNextOneIsRefused) {
  ExchangePlan plan;
  plan.uploads.push_back(MakeUpload(WriteRecords("CDE.002", "ab"), "1"));
  plan.faults.skip_blocks.insert(1);
  ExchangeResult r = Run(plan, [](ScriptedStation& st) {
    st.Expect({kEnq});
    st.Send({kAck});
    st.Expect(HeaderFrame("CDE     .002", 2, {1}));
    st.Send({kAck});
    st.Expect(DataFrame(2, reinterpret_cast<const uint8_t*>("b"), 1));
    st.Send({kNak});
    st.Expect(DataFrame(1, reinterpret_cast<const uint8_t*>("a"), 1));
    st.Send({kAck});
    st.Expect(DataFrame(2, reinterpret_cast<const uint8_t*>("b"), 1));
    st.Send({kAck});
    st.Expect({kEot});
    st.Send({kAck});
  });
  EXPECT_TRUE(r.complete) << r.failure;
  EXPECT_EQ(1, r.naks_received);
  EXPECT_EQ(0, r.resends);
}

TEST_F(SessionTest, RefusedFrameIsSentAgainAndTheEleventhRefusalEndsTheExchange) {
  ExchangePlan plan;
  plan.uploads.push_back(MakeUpload(WriteRecords("CDE.003", "a"), "1"));
  plan.faults.corrupt_steps.insert(2);
  ExchangeResult r = Run(plan, [](ScriptedStation& st) {
    st.Expect({kEnq});
    st.Send({kAck});
    Bytes header = HeaderFrame("CDE     .003", 1, {1});
    st.Expect(WithBadCheck(header));
    for (int i = 0; i < 10; ++i) {
      st.Send({kNak});
      st.Expect(header);
    }
    st.Send({kNak});
  });
  EXPECT_FALSE(r.complete);
  EXPECT_EQ(10, r.resends);
  EXPECT_EQ(11, r.naks_received);
  EXPECT_NE(std::string::npos, r.failure.find("kept refusing step 2")) << r.failure;
}

TEST_F(SessionTest, EotAnsweringOurNakIsTheStationGivingUp) {
  ExchangePlan plan;
  plan.download = true;
  plan.download_id = "004";
  plan.faults.nak_steps[2] = 11;
  ExchangeResult r = Run(plan, [](ScriptedStation& st) {
    st.Expect(Identification("004"));
    st.Send({kAck, kEnq});
    st.Expect({kNak});
    st.Send({kEnq});  // answered NAK at step 2: the ENQ comes again
    for (int i = 1; i < 10; ++i) {
      st.Expect({kNak});
      st.Send({kEnq});
    }
    st.Expect({kNak});
    st.Send({kEot});
  });
  EXPECT_FALSE(r.complete);
  EXPECT_EQ(11, r.naks_sent);
  EXPECT_NE(std::string::npos, r.failure.find("after 11 NAKs")) << r.failure;
}

TEST_F(SessionTest, SilentHandheldCountsThePromptsUntilTheStationEnds) {
  ExchangePlan plan;
  plan.download = true;
  plan.download_id = "005";
  plan.faults.silent_after = 1;
  ExchangeResult r = Run(plan, [](ScriptedStation& st) {
    st.Expect(Identification("005"));
    st.Send({kAck});
    st.Send({kEnq});
    st.Send({kEnq});
    st.Send({kEot});
  });
  EXPECT_FALSE(r.complete);
  EXPECT_EQ(2, r.prompts);
  EXPECT_NE(std::string::npos, r.failure.find("after 2 prompts")) << r.failure;
}

}  // namespace
}  // namespace kavelin2::handheld

namespace kavelin2::handheld {
namespace {

// Persistent mode against every kind of damage a noisy line does: noise
// bytes, silence, refusals, a lost acknowledgement each way, a damaged frame
// and a prompt. The handheld must get through without skipping or doubling
// anything.
TEST_F(SessionTest, PersistentHandheldRidesOutEveryKindOfLineDamage) {
  persistent_ = true;
  timing_.answer_timeout_ms = 300;
  ExchangePlan plan;
  plan.uploads.push_back(MakeUpload(WriteRecords("CDE.001", "a"), "1"));
  plan.download = true;
  plan.download_id = "001";
  Bytes header = BuildFrame(kSoh, "OUT     .DAT000010101", true);
  Bytes spoiled = header;
  spoiled.back() ^= 0x10;
  Bytes name = BuildFrame(kSoh, "OUT     .DAT00001", true);
  Bytes block = BuildFrame(kStx, "00001x", true);
  ExchangeResult r = Run(
      plan,
      [&](ScriptedStation& st) {
        st.Expect({kEnq});
        st.Send({0x07});  // noise, then silence: the ENQ comes again
        st.Expect({kEnq});
        st.Send({kAck});
        st.Expect(HeaderFrame("CDE     .001", 1, {1}));
        st.Send({kNak});  // refused: sent again
        st.Expect(HeaderFrame("CDE     .001", 1, {1}));
        st.Send({kAck});
        st.Expect(DataFrame(1, reinterpret_cast<const uint8_t*>("a"), 1));
        st.Send({kAck});
        st.Expect({kEot});
        st.Send({kAck});
        st.Expect(Identification("001"));
        st.Send({kEnq});  // our ACK of the identification was lost
        st.Expect({kAck});
        st.Send(name);
        st.Expect({kAck});
        st.Send(name);  // the handheld's ACK was lost: acknowledged again
        st.Expect({kAck});
        st.Send({kEnq});
        st.Expect({kAck});
        st.Send(spoiled);  // damaged: asked again
        st.Expect({kNak});
        st.Send(header);
        st.Expect({kAck});
        st.Send(block);
        st.Expect({kAck});
        st.Send(block);  // again, after a lost ACK: not stored twice
        st.Expect({kAck});
        st.Send({kEnq});  // a prompt while a data frame is due: asked again
        st.Expect({kNak});
        st.Send({kEot});
        st.Expect({kAck});
        st.Send({kRs});
        st.Expect({kAck});
      },
      dir_);
  EXPECT_TRUE(r.complete) << r.failure;
  EXPECT_EQ(2, r.resends);
  EXPECT_EQ(2, r.naks_sent);
  ASSERT_EQ(1u, r.downloads.size());
  EXPECT_EQ(1, r.downloads[0].blocks);
  FILE* f = fopen((dir_ + "/OUT.DAT").c_str(), "rb");
  ASSERT_NE(nullptr, f);
  char buf[8] = {};
  EXPECT_EQ(1u, fread(buf, 1, sizeof buf, f));
  fclose(f);
  EXPECT_EQ('x', buf[0]);
  EXPECT_TRUE(r.unseen_uploads.empty());
}

}  // namespace
}  // namespace kavelin2::handheld
