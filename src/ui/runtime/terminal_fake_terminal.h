// An in-memory terminal for the tests: a grid of cells, scripted keys and a
// clock that moves only when the front end waits.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ui/runtime/terminal_io.h"
#include "ui/runtime/terminal_text.h"

namespace kavelin2::uirt::term {

class FakeTerminal : public Terminal {
 public:
  struct Shared {
    int rows = 24, cols = 80;
    std::vector<std::u32string> grid;
    std::vector<std::vector<unsigned>> attrs;
    std::deque<int> keys;
    int64_t now = 1000000;
    int flushes = 0;
    int reads = 0;
    // Waits with no key left before the fake says the process must end, so
    // that a test that forgets a key ends instead of hanging.
    int idle_limit = 400;
    int idle = 0;
    bool terminate = false;

    std::string Row(int r) const {
      std::u32string out;
      for (char32_t c : grid[static_cast<size_t>(r)]) {
        if (c != 0) out.push_back(c);
      }
      while (!out.empty() && out.back() == U' ') out.pop_back();
      return EncodeUtf8(out);
    }
    // The rows without their trailing blanks, one per line.
    std::string Text() const {
      std::string all;
      for (int r = 0; r < rows; ++r) all += Row(r) + "\n";
      return all;
    }
    bool Shows(const std::string& s) const { return Text().find(s) != std::string::npos; }
    // The attribute of the first cell of the first place |s| is shown;
    // all bits set when it is not shown.
    unsigned AttrAt(const std::string& s) const {
      std::u32string needle = DecodeUtf8(s);
      for (int r = 0; r < rows; ++r) {
        size_t at = grid[static_cast<size_t>(r)].find(needle);
        if (at != std::u32string::npos) return attrs[static_cast<size_t>(r)][at];
      }
      return ~0u;
    }
    void Type(const std::string& utf8) {
      for (char32_t c : DecodeUtf8(utf8)) keys.push_back(static_cast<int>(c));
    }
  };

  explicit FakeTerminal(Shared* shared) : s_(shared) { Clear(); }

  int rows() const override { return s_->rows; }
  int cols() const override { return s_->cols; }
  void Clear() override {
    s_->grid.assign(static_cast<size_t>(s_->rows),
                    std::u32string(static_cast<size_t>(s_->cols), U' '));
    s_->attrs.assign(static_cast<size_t>(s_->rows),
                     std::vector<unsigned>(static_cast<size_t>(s_->cols), 0));
  }
  void Put(int row, int col, std::string_view text, unsigned attr) override {
    if (row < 0 || row >= s_->rows) return;
    for (char32_t c : DecodeUtf8(text)) {
      int w = CodePointWidth(c);
      if (col >= 0 && col + w <= s_->cols && w > 0) {
        s_->grid[static_cast<size_t>(row)][static_cast<size_t>(col)] = c;
        s_->attrs[static_cast<size_t>(row)][static_cast<size_t>(col)] = attr;
        if (w == 2) s_->grid[static_cast<size_t>(row)][static_cast<size_t>(col + 1)] = 0;
      }
      col += w;
    }
  }
  void SetCursor(int, int) override {}
  void Flush(bool) override { ++s_->flushes; }
  int ReadKey(int timeout_ms) override {
    ++s_->reads;
    if (!s_->keys.empty()) {
      int k = s_->keys.front();
      s_->keys.pop_front();
      s_->idle = 0;
      return k;
    }
    if (timeout_ms > 0) s_->now += timeout_ms;
    if (timeout_ms != 0 && ++s_->idle > s_->idle_limit) s_->terminate = true;
    return kNoKey;
  }
  int64_t NowMs() override { return s_->now; }
  bool TerminationRequested() override { return s_->terminate; }

 private:
  Shared* s_;
};

}  // namespace kavelin2::uirt::term
