#include "office/office_config.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <unistd.h>
#endif
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kavelin2::office {
namespace {

// Text to an integer within [lo, hi]; false for anything else.
bool ParseInt(const std::string& text, long lo, long hi, long* out) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  long v = std::strtol(text.c_str(), nullptr, 10);
  if (v < lo || v > hi) return false;
  *out = v;
  return true;
}

// Equal texts, looked at whole whatever their first difference.
bool SameText(std::string_view a, const std::string& b) {
  volatile unsigned char diff = a.size() == b.size() ? 0 : 1;
  const size_t n = b.size();
  for (size_t i = 0; i < n; ++i) {
    unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
    diff = static_cast<unsigned char>(diff | (ca ^ static_cast<unsigned char>(b[i])));
  }
  return diff == 0;
}

// Base64 (RFC 4648, padding optional); false on any other byte.
bool DecodeBase64(std::string_view in, std::string* out) {
  unsigned bits = 0;
  int count = 0;
  size_t i = 0;
  for (; i < in.size() && in[i] != '='; ++i) {
    char c = in[i];
    int v = c >= 'A' && c <= 'Z'   ? c - 'A'
            : c >= 'a' && c <= 'z' ? c - 'a' + 26
            : c >= '0' && c <= '9' ? c - '0' + 52
            : c == '+'             ? 62
            : c == '/'             ? 63
                                   : -1;
    if (v < 0) return false;
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out->push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  for (; i < in.size(); ++i)
    if (in[i] != '=') return false;
  return true;
}

bool StartsWithWord(std::string_view value, std::string_view scheme) {
  if (value.size() <= scheme.size() || value[scheme.size()] != ' ') return false;
  for (size_t i = 0; i < scheme.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(value[i])) != scheme[i]) return false;
  return true;
}

std::string_view Trimmed(std::string_view v) {
  while (!v.empty() && (v.front() == ' ' || v.front() == '\t')) v.remove_prefix(1);
  while (!v.empty() && (v.back() == ' ' || v.back() == '\t')) v.remove_suffix(1);
  return v;
}

}  // namespace

bool IsLoopbackAddress(const std::string& address) {
  in_addr v4;
  if (inet_pton(AF_INET, address.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6;
  if (inet_pton(AF_INET6, address.c_str(), &v6) != 1) return false;
  static const unsigned char kLoopback[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
  static const unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  return std::memcmp(v6.s6_addr, kLoopback, 16) == 0 ||
         (std::memcmp(v6.s6_addr, kMapped, 12) == 0 && v6.s6_addr[12] == 127);
}

bool CarriesToken(std::string_view value, const std::string& token) {
  value = Trimmed(value);
  if (StartsWithWord(value, "bearer")) return SameText(Trimmed(value.substr(7)), token);
  if (StartsWithWord(value, "basic")) {
    std::string pair;
    if (!DecodeBase64(Trimmed(value.substr(6)), &pair)) return false;
    size_t colon = pair.find(':');
    if (colon == std::string::npos) return false;
    return SameText(std::string_view(pair).substr(colon + 1), token);
  }
  return false;
}

namespace {

// The overdue period and the alert settings, which hold with or without the
// HTTP listener.
void ReadTuning(const std::function<const char*(const char*)>& get, OfficeConfig& c) {
  long value = 0;
  if (const char* hours = get("KAVELIN2_OVERDUE_HOURS"); hours != nullptr && *hours != 0) {
    if (!ParseInt(hours, 1, 24 * 366, &value)) {
      c.error = std::string("KAVELIN2_OVERDUE_HOURS=") + hours + ": not a number of hours";
      return;
    }
    c.server.overdue_hours = static_cast<int>(value);
  }
  // The program is named by its absolute path: it is started without a shell
  // or a search, from whatever directory the station works in. One that is
  // not an executable file stops the station at start, like any bad setting;
  // one that goes away later is logged when it cannot be started.
  if (const char* program = get("KAVELIN2_ALERT_PROGRAM"); program != nullptr && *program != 0) {
    c.alert_program = program;
    struct stat sb;
#ifdef _WIN32
    // "C:\dir\prog.exe" or a share "\\host\dir\prog.exe".
    const bool absolute = (std::isalpha(static_cast<unsigned char>(program[0])) &&
                           program[1] == ':' && (program[2] == '\\' || program[2] == '/')) ||
                          (program[0] == '\\' && program[1] == '\\');
    // Windows has no execute bit: a regular file is what CreateProcess is given.
    auto executable = [&] { return stat(program, &sb) == 0 && (sb.st_mode & S_IFMT) == S_IFREG; };
#else
    const bool absolute = program[0] == '/';
    auto executable = [&] {
      return stat(program, &sb) == 0 && S_ISREG(sb.st_mode) && access(program, X_OK) == 0;
    };
#endif
    if (!absolute) {
      c.error = std::string("KAVELIN2_ALERT_PROGRAM=") + program + ": not an absolute path";
      return;
    }
    if (!executable()) {
      c.error = std::string("KAVELIN2_ALERT_PROGRAM=") + program + ": not an executable file";
      return;
    }
  }
  if (const char* after = get("KAVELIN2_ALERT_AFTER_S"); after != nullptr && *after != 0) {
    if (!ParseInt(after, 0, 86400 * 7, &value)) {
      c.error = std::string("KAVELIN2_ALERT_AFTER_S=") + after + ": not a number of seconds";
      return;
    }
    c.alert_after_s = static_cast<int>(value);
  }
}

// The listener's address and token.
void ReadHttp(const std::function<const char*(const char*)>& get, OfficeConfig& c) {
  const char* http = get("KAVELIN2_HTTP");
  if (http == nullptr || *http == 0) return;
  c.enabled = true;
  std::string text = http;
  // "127.0.0.1:8180", "[::1]:8180".
  size_t colon = text.rfind(':');
  std::string host = colon == std::string::npos ? std::string() : text.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  long port = 0;
  in6_addr any;
  bool numeric =
      inet_pton(AF_INET, host.c_str(), &any) == 1 || inet_pton(AF_INET6, host.c_str(), &any) == 1;
  if (colon == std::string::npos || !numeric ||
      !ParseInt(text.substr(colon + 1), 0, 65535, &port)) {
    c.error =
        "KAVELIN2_HTTP=" + text + ": not ADDRESS:PORT with a numeric address (127.0.0.1:8180)";
    return;
  }
  c.server.address = host;
  c.server.port = static_cast<uint16_t>(port);

  const char* token_file = get("KAVELIN2_HTTP_TOKEN_FILE");
  if (token_file != nullptr && *token_file != 0) {
    std::ifstream in(token_file, std::ios::binary);
    std::ostringstream all;
    if (in) all << in.rdbuf();
    std::string token = all.str();
    while (!token.empty() && (token.back() == '\n' || token.back() == '\r' || token.back() == ' '))
      token.pop_back();
    if (!in || token.empty() || token.find_first_of(" \t\r\n") != std::string::npos) {
      c.error = std::string("KAVELIN2_HTTP_TOKEN_FILE=") + token_file +
                (!in ? ": cannot be read" : ": holds no token (one line, no blanks)");
      return;
    }
    c.server.token = token;
  } else if (!IsLoopbackAddress(host)) {
    c.error =
        "KAVELIN2_HTTP=" + text +
        " is not a loopback address: KAVELIN2_HTTP_TOKEN_FILE must name the file of its token";
    return;
  }
}

}  // namespace

OfficeConfig ReadOfficeConfig(const std::function<const char*(const char*)>& get) {
  OfficeConfig c;
  ReadTuning(get, c);
  if (c.error.empty()) ReadHttp(get, c);
  return c;
}

OfficeConfig OfficeConfigFromEnvironment() {
  return ReadOfficeConfig([](const char* name) { return std::getenv(name); });
}

}  // namespace kavelin2::office
