// Modal boxes drawn over the current window (yes/no questions, information
// and error messages) and the text file viewer.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/runtime/front_end.h"
#include "ui/runtime/terminal_io.h"
#include "ui/runtime/terminal_labels.h"

namespace kavelin2::uirt::term {

// Draws what lies under a box (the current window).
using Backdrop = std::function<void()>;

// |text| cut into lines of at most |width| columns, at blanks when possible;
// '\n' starts a new line.
std::vector<std::string> WrapText(const std::string& text, int width);

// The yes/no box; true for yes. Escape answers no. Returns |on_termination|
// at once when the process is asked to end.
bool RunQuestionBox(Terminal& t, const Backdrop& backdrop, const std::string& text, Lang lang,
                    bool on_termination);
void RunMessageBox(Terminal& t, const Backdrop& backdrop, MessageKind kind, const std::string& text,
                   Lang lang);

// The lines of a text file for the viewer: CR LF and LF both end a line. A
// file larger than |max_bytes| shows its last |max_bytes| bytes. False when
// the file cannot be read.
bool ReadTextLines(const std::string& path, size_t max_bytes, std::vector<std::string>* lines);
// Shows |path| scrollable, starting at its end (the newest results).
void RunTextViewer(Terminal& t, const Backdrop& backdrop, const std::string& path, Lang lang);

}  // namespace kavelin2::uirt::term
