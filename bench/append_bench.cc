// The append step of a received file: a 10-record upload added to the end of
// a 1 KB and of a 100 MB target, as the station does it after an accepted end
// of file (the intent made durable before the ACK, then the merge). Its cost
// must follow the upload, not the target: the two times stay within a factor
// of two. Run: ./build/kavelin2_append_bench
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "exchange/exchange.h"
#include "testing/test_station.h"

namespace kavelin2 {
namespace {

constexpr int kRecords = 10;
constexpr size_t kRecordLength = 64;

// Writes |size| bytes to |path| and flushes them, so that the appends timed
// later do not pay for flushing the target's earlier data.
void WriteTarget(const char* path, int64_t size) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::string chunk(1 << 20, 'T');
  for (int64_t left = size; left > 0;) {
    size_t n = left < static_cast<int64_t>(chunk.size()) ? static_cast<size_t>(left) : chunk.size();
    if (::write(fd, chunk.data(), n) != static_cast<ssize_t>(n)) break;
    left -= static_cast<int64_t>(n);
  }
  ::fsync(fd);
  ::close(fd);
}

void AppendTenRecords(benchmark::State& state) {
  TestStation ts;
  Station& st = ts.st;
  ts.UseDefaultSettings();
  std::strcpy(st.Paths.RECU, "RECU/");
  ::mkdir("RECU", 0777);
  st.Options.APPEND = 'O';
  st.CurrentLine = 0;
  std::strcpy(st.Line().UploadName, "CDE.001");
  WriteTarget("RECU/CDE.001", state.range(0));

  std::string upload;
  for (int k = 0; k < kRecords; ++k)
    upload += std::string(kRecordLength, static_cast<char>('a' + k));
  for (auto _ : state) {
    state.PauseTiming();
    // The upload as the blocks left it in the line's temporary file.
    WriteFile("RECU/AJOUTFIC.1", upload);
    state.ResumeTiming();
    if (!RecordAppendIntent(st, static_cast<int64_t>(upload.size()))) {
      state.SkipWithError("the intent could not be written");
      break;
    }
    AppendReceivedFile(st);
  }
  if (FileExists("RECU/AJOUTFIC.1")) state.SkipWithError("the upload was not appended");
  state.counters["target_KB"] = static_cast<double>(state.range(0)) / 1e3;
}

BENCHMARK(AppendTenRecords)->Arg(1000)->Arg(100'000'000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kavelin2

BENCHMARK_MAIN();
