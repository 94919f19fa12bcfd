// The runtime core: executes one command from the exchange block, keeps the
// Screen, asks the FrontEnd what only the user can answer, and encodes the
// reply into the block.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "ui/runtime/front_end.h"

namespace kavelin2::uirt {

// Appends every command to a file, one line each, flushed at once. A newline
// inside a command is written as the two characters "\n", a backslash as
// "\\", so that one line is always one command.
class Transcript {
 public:
  // nullptr when |path| cannot be opened for appending.
  static std::unique_ptr<Transcript> Open(const std::string& path);
  ~Transcript();
  void Record(std::string_view command);
  static std::string Escape(std::string_view command);

 private:
  explicit Transcript(std::FILE* file) : file_(file) {}
  std::FILE* file_;
};

class Runtime {
 public:
  // |transcript| may be null.
  Runtime(std::unique_ptr<FrontEnd> front_end, std::unique_ptr<Transcript> transcript);

  // Reads the NUL-terminated command at the start of |block| (at most the
  // block's size) and overwrites the block with the reply.
  void Execute(uint8_t* block);

  Screen& screen() { return screen_; }
  FrontEnd& front_end() { return *front_end_; }

 private:
  void Run(const std::string& verb, const std::string& args, const std::string& command,
           uint8_t* block);
  void Keep(const std::string& verb, const std::string& args);
  void RunEcran(const std::string& args, uint8_t* block);
  std::string Fetch(const std::string& field) const;

  Screen screen_;
  std::unique_ptr<FrontEnd> front_end_;
  std::unique_ptr<Transcript> transcript_;
};

// Splits a command into its verb (upper-cased, blanks trimmed) and the rest
// after the first comma (leading blanks trimmed).
void SplitCommand(const std::string& command, std::string* verb, std::string* args);
std::string TrimBlanks(std::string_view s);

}  // namespace kavelin2::uirt
