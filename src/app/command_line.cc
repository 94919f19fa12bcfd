#include "app/command_line.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

#ifndef KAVELIN2_VERSION
#error "KAVELIN2_VERSION must come from the build (the project version)"
#endif

namespace kavelin2 {

ParsedCommandLine ParseCommandLine(int argc, const char* const* argv) {
  ParsedCommandLine parsed;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      parsed.action = CommandLineAction::kHelp;
      break;
    }
    if (std::strcmp(arg, "--version") == 0) parsed.action = CommandLineAction::kVersion;
  }
  // The command line is everything after the program name, as the Windows
  // command line is.
  for (int i = 1; i < argc; ++i) {
    if (i > 1) parsed.command_line += ' ';
    parsed.command_line += argv[i];
  }
  return parsed;
}

const char* UsageText() {
  return "Usage: kavelin2 [P]\n"
         "       kavelin2 config show|set KEY=VALUE...|export [FILE]|import FILE|-\n"
         "\n"
         "File-transfer station for portable handheld terminals: serves up to two serial\n"
         "lines, stores every uploaded file and sends each handheld the files its table\n"
         "lists. It works in its current directory.\n"
         "\n"
         "Arguments:\n"
         "  P               open the main menu (settings dialogs, result log, go on line)\n"
         "  (anything else) go on line at once and serve the active lines until stopped\n"
         "                  (SIGTERM, SIGINT or SIGHUP: a running exchange ends first;\n"
         "                  SIGPIPE is ignored, a failed log write does not stop it)\n"
         "  config ...      show or change the settings files as text (status 2 and\n"
         "                  nothing written on a bad key or value)\n"
         "  -h, --help      print this text and exit\n"
         "  --version       print the version and exit\n"
         "\n"
         "Environment:\n"
         "  KAVELIN2_UI              terminal, headless (log lines on standard output)\n"
         "                           or script:FILE; default: terminal on a terminal,\n"
         "                           headless otherwise\n"
         "  KAVELIN2_UI_TRANSCRIPT   FILE: append every UI command to FILE\n"
         "  KAVELIN2_UI_LIBRARY      another UI runtime library (path or name)\n"
         "  KAVELIN2_PORT_<NAME>     the device of port NAME, e.g.\n"
         "                           KAVELIN2_PORT_COM1=/dev/serial/by-id/...; otherwise\n"
         "                           COMn is /dev/ttyS<n-1> and X is /dev/ttyX; or a\n"
         "                           device server: tcp://HOST:PORT (raw TCP) or\n"
         "                           rfc2217://HOST:PORT (Telnet, RFC 2217)\n"
         "  KAVELIN2_TRACE           FILE: wire trace of every byte, time-stamped\n"
         "  KAVELIN2_HTTP            ADDR:PORT: serve the office view there (read only)\n"
         "  KAVELIN2_HTTP_TOKEN_FILE the token every request must carry; required for\n"
         "                           an address that is not loopback\n"
         "  KAVELIN2_OVERDUE_HOURS   a handheld without OK this long is overdue (24)\n"
         "\n"
         "Files (in the current directory):\n"
         "  CONF_COM.CFG CONF_MOD.CFG CHEMIN.CFG CONF_FIC.CFG HEURE.CFG LANGUE.CFG\n"
         "                  the six settings files, edited from the menu\n"
         "  STAT.TXT        one line per exchange\n"
         "  UNLINK.TXT      partial files that could not be removed\n"
         "  .kavelin2.lock  held while on line, here and in the received-files directory\n"
         "  EXCHANGES.JSONL the office view's journal of exchanges\n"
         "  Directories in CHEMIN.CFG end with '/'; an empty one is the current\n"
         "  directory.\n"
         "\n"
         "Exit status:\n"
         "  0  stopped on request, quit from the menu, or ended by the schedule\n"
         "  1  any other failure\n"
         "  2  usage error or bad settings text\n"
         "  3  the UI runtime cannot be loaded, bound or started\n"
         "  4  a line's port cannot be opened when going on line\n"
         "  5  a directory is missing and cannot be created (or locked)\n"
         "  6  another station holds the working or the received-files directory\n"
         "  With 4, 5 and 6 one line on standard error names the port and its\n"
         "  device (or the directory) and the system's reason (or the holder's pid).\n"
         "\n"
         "Signals:\n"
         "  SIGTERM, SIGINT, SIGHUP  stop once a running exchange has ended (status 0)\n"
         "  SIGPIPE                  ignored: a failed log write does not stop it\n";
}

const char* VersionText() { return "kavelin2 " KAVELIN2_VERSION "\n"; }

bool UserAttends() {
  const char* setting = std::getenv("KAVELIN2_UI");
  if (setting == nullptr || *setting == '\0') return isatty(0) == 1 && isatty(1) == 1;
  return std::strcmp(setting, "terminal") == 0;
}

}  // namespace kavelin2
