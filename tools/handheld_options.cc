#include "handheld_options.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace kavelin2::handheld {

bool ParseLineFormat(const std::string& text, LineFormat* format) {
  if (text.size() != 3) return false;
  LineFormat f;
  f.data_bits = text[0] - '0';
  f.parity = static_cast<char>(toupper(static_cast<unsigned char>(text[1])));
  f.stop_bits = text[2] - '0';
  if (f.data_bits < 5 || f.data_bits > 8) return false;
  if (f.parity != 'N' && f.parity != 'E' && f.parity != 'O') return false;
  if (f.stop_bits != 1 && f.stop_bits != 2) return false;
  *format = f;
  return true;
}

namespace {

bool Number(const std::string& text, int min, int max, int* value) {
  if (text.empty() || text.size() > 9) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (v < min || v > max) return false;
  *value = v;
  return true;
}

// "STEP" or "STEP:COUNT".
bool StepAndCount(const std::string& text, int* step, int* count) {
  size_t colon = text.find(':');
  if (colon == std::string::npos) {
    *count = 1;
    return Number(text, 1, 1000000, step);
  }
  return Number(text.substr(0, colon), 1, 1000000, step) &&
         Number(text.substr(colon + 1), 1, 1000, count);
}

}  // namespace

bool ParseOptions(int argc, char** argv, Options* o, std::string* error) {
  o->exchanges.assign(1, ExchangePlan{});
  bool keep_going = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    // Options that take a value accept "--opt VALUE" and "--opt=VALUE".
    size_t eq = arg.find('=');
    bool inline_value = arg.rfind("--", 0) == 0 && eq != std::string::npos;
    if (inline_value) {
      value = arg.substr(eq + 1);
      arg = arg.substr(0, eq);
    }
    auto take = [&](std::string* out) {
      if (inline_value) {
        *out = value;
        return true;
      }
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    auto bad = [&](const std::string& why) {
      *error = arg + " " + value + ": " + why;
      return false;
    };
    ExchangePlan& plan = o->exchanges.back();
    int n = 0, count = 0;

    if (arg == "-h" || arg == "--help") {
      o->help = true;
      return true;
    } else if (arg == "--pty") {
      if (!take(&value)) return false;
      o->use_pty = true;
      o->pty_link = value;
    } else if (arg == "--device") {
      if (!take(&o->device)) return false;
    } else if (arg == "--speed") {
      if (!take(&value)) return false;
      if (!Number(value, 1, 10000000, &o->speed) || !IsSupportedSpeed(o->speed))
        return bad("unknown speed (300 to 460800 or 256000, e.g. 9600, 115200)");
    } else if (arg == "--format") {
      if (!take(&value)) return false;
      if (!ParseLineFormat(value, &o->format)) return bad("expected e.g. 8N1, 7E1, 8O2");
    } else if (arg == "--upload") {
      if (!take(&value)) return false;
      UploadSpec desc;
      std::string why;
      if (!ParseUploadSpec(value, &desc, &why)) {
        *error = "--upload " + why;
        return false;
      }
      plan.uploads.push_back(desc);
    } else if (arg == "--name-field") {
      if (!take(&value)) return false;
      if (plan.uploads.empty()) return bad("comes after the --upload it renames");
      value.resize(12, ' ');
      plan.uploads.back().name_field = value;
    } else if (arg == "--download") {
      if (!take(&value)) return false;
      if (value.size() != 3) return bad("the identifier has three characters");
      plan.download = true;
      plan.download_id = value;
    } else if (arg == "--next") {
      o->exchanges.push_back(ExchangePlan{});
    } else if (arg == "--corrupt-bcc") {
      if (!take(&value)) return false;
      if (!Number(value, 1, 1000000, &n)) return bad("expected a step number");
      plan.faults.corrupt_steps.insert(n);
    } else if (arg == "--nak") {
      if (!take(&value)) return false;
      if (!StepAndCount(value, &n, &count)) return bad("expected STEP or STEP:COUNT");
      plan.faults.nak_steps[n] = count;
    } else if (arg == "--silent-after") {
      if (!take(&value)) return false;
      if (!Number(value, 1, 1000000, &plan.faults.silent_after)) return bad("expected a step");
    } else if (arg == "--repeat-block") {
      if (!take(&value)) return false;
      if (!Number(value, 1, 99999, &n)) return bad("expected a block number");
      plan.faults.repeat_blocks.insert(n);
    } else if (arg == "--skip-block") {
      if (!take(&value)) return false;
      if (!Number(value, 1, 99999, &n)) return bad("expected a block number");
      plan.faults.skip_blocks.insert(n);
    } else if (arg == "--bad-id") {
      plan.faults.bad_id = true;
    } else if (arg == "--receive-dir") {
      if (!take(&o->receive_dir)) return false;
    } else if (arg == "--log-sent") {
      if (!take(&o->log_sent)) return false;
    } else if (arg == "--log-received") {
      if (!take(&o->log_received)) return false;
    } else if (arg == "--keep-going") {
      keep_going = true;
    } else if (arg == "--ber") {
      if (!take(&value)) return false;
      char* end = nullptr;
      double p = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != 0 || !(p >= 0 && p <= 1))
        return bad("expected a probability from 0 to 1, e.g. 1e-3");
      o->ber = p;
    } else if (arg == "--seed") {
      if (!take(&value)) return false;
      if (!Number(value, 0, 999999999, &n)) return bad("expected a number");
      o->seed = static_cast<uint64_t>(n);
    } else if (arg == "--persistent") {
      o->persistent = true;
    } else if (arg == "--quiet" || arg == "-q") {
      o->quiet = true;
    } else if (arg == "--answer-timeout" || arg == "--connect-timeout" || arg == "--pace" ||
               arg == "--listen" || arg == "--linger") {
      if (!take(&value)) return false;
      int* target = arg == "--answer-timeout"    ? &o->timing.answer_timeout_ms
                    : arg == "--connect-timeout" ? &o->timing.connect_timeout_ms
                    : arg == "--pace"            ? &o->timing.pace_ms
                    : arg == "--listen"          ? &o->timing.listen_ms
                                                 : &o->timing.linger_ms;
      if (!Number(value, 0, 3600000, target)) return bad("expected milliseconds");
    } else {
      *error = "unknown option " + arg + " (see --help)";
      return false;
    }
  }
  if (o->use_pty == !o->device.empty()) {
    *error = "give exactly one of --pty LINK and --device PATH (see --help)";
    return false;
  }
  for (auto& plan : o->exchanges) {
    plan.keep_going = keep_going;
    if (plan.uploads.empty() && !plan.download) {
      *error = "an exchange needs at least one --upload or a --download (see --help)";
      return false;
    }
  }
  return true;
}

std::string Usage(const char* program) {
  std::string p = program;
  if (size_t slash = p.rfind('/'); slash != std::string::npos) p = p.substr(slash + 1);
  return "Usage: " + p +
         " (--pty LINK | --device PATH [--speed BAUD] [--format 8N1])\n"
         "       [--upload FILE:RECLEN[:W1,W2,...] [--name-field TEXT]]... [--download ID]\n"
         "       [--next ...] [misbehaviour] [--receive-dir DIR] [other options]\n"
         "\n"
         "Plays the handheld terminal's side of an exchange with a kavelin2 station:\n"
         "uploads files, then asks for its download, and reports every frame.\n"
         "\n"
         "The line\n"
         "  --pty LINK          create a pseudo-terminal pair and publish its station end as\n"
         "                      the symbolic link LINK; point the station at it with\n"
         "                      KAVELIN2_PORT_COM1=LINK (or COM2)\n"
         "  --device PATH       use a serial line, e.g. /dev/ttyUSB0 on a null-modem cable\n"
         "  --speed BAUD        speed of the line (default 9600; must match the station,\n"
         "                      whose default is 256000)\n"
         "  --format DPS        data bits, parity N/E/O, stop bits (default 8N1)\n"
         "\n"
         "The exchange (in this order on the line: the uploads, then the download)\n"
         "  --upload FILE:RECLEN[:W1,W2,...]\n"
         "                      send FILE as records of RECLEN bytes (its size must be a\n"
         "                      multiple); the name sent is FILE's base name in 8.3 form,\n"
         "                      the widths (two digits each) must add up to RECLEN\n"
         "                      (default: one field)\n"
         "  --name-field TEXT   send TEXT as the 12-character name field of the last upload\n"
         "  --download ID       ask for the files of the handheld ID (three characters);\n"
         "                      without a table file for ID the station answers RS\n"
         "                      and the exchange is complete all the same\n"
         "  --next              what follows describes a second exchange on the same line\n"
         "\n"
         "Misbehaviour, to watch the station recover (STEP as numbered in the report)\n"
         "  --corrupt-bcc STEP  spoil the check byte of the frame sent at STEP, once\n"
         "  --nak STEP[:N]      answer NAK N times (default 1) instead of the ACK of STEP;\n"
         "                      the station gives up at the 11th NAK in a row\n"
         "  --silent-after STEP stop answering after STEP and listen: the station prompts\n"
         "                      with ENQ and ends the exchange after about 33 s\n"
         "  --repeat-block K    send block K of each upload twice\n"
         "  --skip-block K      leave out block K, go back to it when the station refuses\n"
         "                      the next one\n"
         "  --bad-id            spoil the identification's check byte once\n"
         "  --keep-going        when the station refuses an upload's header, leave that\n"
         "                      upload out and send the next upload's header instead\n"
         "                      (the station waits for a header; ENQ or RS would not do)\n"
         "\n"
         "A noisy line\n"
         "  --ber P             hit each byte on the line, both ways, with probability P\n"
         "                      (e.g. 1e-3); a hit flips one bit of the byte at random\n"
         "  --seed N            seed of the noise (default 1)\n"
         "  --persistent        behave as a real handheld: send a frame again on NAK or\n"
         "                      silence, take stray bytes for noise, ask a damaged station\n"
         "                      frame again with NAK, acknowledge a repeated frame again\n"
         "\n"
         "Output\n"
         "  --receive-dir DIR   store each downloaded file in DIR under the name of its name\n"
         "                      frame (records back to back) and NAME.header with the\n"
         "                      name and header frames\n"
         "  --log-sent FILE     every byte sent, raw\n"
         "  --log-received FILE every byte received, raw\n"
         "  --quiet             print the summary only\n"
         "\n"
         "Timing (milliseconds)\n"
         "  --answer-timeout MS longest wait for an answer (default 5000)\n"
         "  --connect-timeout MS  longest wait for the first answer; the first request is\n"
         "                      repeated every second until then (default 10000)\n"
         "  --pace MS           pause before each step (default 0)\n"
         "  --listen MS         how long a silent handheld listens (default 40000)\n"
         "  --linger MS         longest wait for the station to take the last byte (3000)\n"
         "\n"
         "Steps are the handheld's transmissions, numbered from 1 in each exchange. For an\n"
         "upload of two records and a download of one 3-block file:\n"
         "  1 ENQ, 2 header, 3-4 blocks, 5 EOT, 6 RS and identification, 7 ACK of the\n"
         "  station's ENQ, 8 ACK of the name frame, 9 ACK of ENQ, 10 ACK of the header,\n"
         "  11-13 ACK of each block, 14 ACK of EOT, 15 ACK of RS (the last).\n"
         "\n"
         "Examples\n"
         "  check a line:  " +
         p +
         " --device /dev/ttyUSB0 --speed 115200 --download 001\n"
         "  full exchange: " +
         p +
         " --pty /tmp/com1 --upload COMMANDE.001:15:10,05 \\\n"
         "                     --download 001 --receive-dir received\n"
         "\n"
         "Exit status: 0 every exchange completed; 1 an exchange did not complete (refused,\n"
         "ended by the station, no answer); 2 usage error; 3 the line could not be used.\n";
}

}  // namespace kavelin2::handheld
