// The front end of a station run as a service: nobody answers, so every
// question gets the answer that keeps the station serving its lines, and what
// the screen would show becomes log lines on standard output.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "ui/runtime/front_end.h"

namespace kavelin2::uirt {

struct HeadlessOptions {
  std::FILE* out = stdout;
  // The time stamp of a log line; local time "YYYY-MM-DD hh:mm:ss" when unset.
  std::function<std::string()> now;
};

// Answers:
//  - modal input: the window's cancel status ("*A*" in "CHEMIN.WDW", "ESC"
//    elsewhere), so every dialog closes unchanged and the menu quits;
//  - non-blocking input: "*N*" in "KAVELIN2.WDW" (keep serving), "*P*" there
//    once SIGTERM or SIGINT arrived, the cancel status in any other window;
//  - "OUINON": yes.
// Logs, one timestamped line each: a change of the PHASE, ETAT, PORTABLE or
// FICHIER field of a line in "KAVELIN2.WDW" (the same value shown again is
// not logged), every INFO and ERREUR box and OUINON question, the stop
// ("stopped on SIGTERM" in the runtime's language; the questions that follow
// a stop, the quit question, are answered yes without a line of their own);
// "VOIR,path" copies the file's lines to the output.
// Installs the stop signal handlers for its lifetime.
std::unique_ptr<FrontEnd> NewHeadlessFrontEnd(HeadlessOptions options);

}  // namespace kavelin2::uirt
