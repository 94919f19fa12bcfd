// The simulator's command line.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "handheld_frames.h"
#include "handheld_port.h"

namespace kavelin2::handheld {

// Deliberate misbehaviour of one exchange. Steps are numbered as the report
// prints them: one per transmission of the handheld (a frame, a control byte,
// an answer), repeats after a NAK keep the number of their step.
struct Faults {
  std::set<int> corrupt_steps;   // spoil the check byte of that step's frame once
  std::map<int, int> nak_steps;  // answer NAK so many times at that step
  int silent_after = 0;          // 0: never fall silent
  std::set<int> repeat_blocks;   // send block k twice
  std::set<int> skip_blocks;     // leave block k out, go back when refused
  bool bad_id = false;           // spoil the identification's check byte once
};

struct ExchangePlan {
  std::vector<UploadSpec> uploads;
  bool download = false;
  std::string download_id;
  Faults faults;
  // An upload whose header the station refuses is left out and the exchange
  // goes on (the exchange still counts as not complete).
  bool keep_going = false;
};

struct Timing {
  int answer_timeout_ms = 5000;    // longest wait for the station's answer
  int connect_timeout_ms = 10000;  // longest wait for the first answer of an exchange
  int retry_ms = 1000;             // the first request is repeated this often
  int pace_ms = 0;                 // pause before each step
  int listen_ms = 40000;           // how long a silent handheld keeps listening
  int linger_ms = 3000;            // longest wait for the final byte to be taken
  int gap_ms = 200;                // pause between two exchanges
};

struct Options {
  bool help = false;
  std::string device;  // serial device, or empty
  std::string pty_link;
  bool use_pty = false;
  int speed = 9600;
  LineFormat format;
  std::vector<ExchangePlan> exchanges;
  std::string receive_dir;  // empty: downloaded files are not stored
  std::string log_sent;
  std::string log_received;
  bool quiet = false;
  Timing timing;
  // Line noise: probability that a byte is hit (one bit flipped), each way.
  double ber = 0;
  uint64_t seed = 1;
  bool persistent = false;
};

// Parses argv; false with a message in |error| on a usage error.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);
std::string Usage(const char* program);

}  // namespace kavelin2::handheld
