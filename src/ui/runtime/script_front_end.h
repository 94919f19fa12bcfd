// The front end for tests: replies read from a file, one line each.
//
// A line holds TAB-separated fields: the command prefix it answers, the
// status (empty: the reply carries no status), then optionally the text and
// the integer value. With a text and a value the reply carries both (text and
// intValue come out as written); with a text only, intValue is the text's
// number. In the prefix and the text, "\n" stands for a newline and "\\" for
// a backslash, as in the transcript. Lines starting with '#' and blank lines
// are skipped.
//
// Replies are consumed in order: a command that starts with the prefix of the
// next unconsumed line takes that reply; any other command, and every command
// once the script is used up, gets the headless answer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/runtime/front_end.h"
#include "ui/runtime/headless_front_end.h"

namespace kavelin2::uirt {

struct ScriptLine {
  std::string prefix;
  Reply reply;
};

// Parses a script; a malformed line is skipped with a message in |errors|
// ("line N: why").
std::vector<ScriptLine> ParseScript(const std::string& text, std::vector<std::string>* errors);

// A script front end over |lines| that falls back to a headless front end
// built with |fallback|.
std::unique_ptr<FrontEnd> NewScriptFrontEnd(std::vector<ScriptLine> lines,
                                            HeadlessOptions fallback);

}  // namespace kavelin2::uirt
