#include <cstdio>

#include "ui/runtime/runtime_core.h"

namespace kavelin2::uirt {

std::unique_ptr<Transcript> Transcript::Open(const std::string& path) {
  // Close on exec: the programs the station launches do not inherit it.
  std::FILE* f = std::fopen(path.c_str(), "ae");
  if (f == nullptr) return nullptr;
  return std::unique_ptr<Transcript>(new Transcript(f));
}

Transcript::~Transcript() { std::fclose(file_); }

std::string Transcript::Escape(std::string_view command) {
  std::string out;
  out.reserve(command.size());
  for (char c : command) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

void Transcript::Record(std::string_view command) {
  std::string line = Escape(command);
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), file_);
  // Flushed at once: the transcript is read while the station runs, and must
  // survive the station being killed.
  std::fflush(file_);
}

}  // namespace kavelin2::uirt
