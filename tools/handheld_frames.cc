#include "handheld_frames.h"

#include <cstdio>
#include <cstring>

#include "wire/codec.h"

namespace kavelin2::handheld {

namespace {

std::string Digits(int value, int width) {
  char text[16];
  snprintf(text, sizeof text, "%0*d", width, value);
  return text;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool ParseNumber(const std::string& text, int* value) {
  if (text.empty() || text.size() > 6) return false;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *value = v;
  return true;
}

}  // namespace

Bytes HeaderFrame(const std::string& name_field, int record_count, const std::vector<int>& widths) {
  std::string body = name_field;
  body.resize(12, ' ');
  body += Digits(record_count, 5);
  body += Digits(static_cast<int>(widths.size()), 2);
  for (int w : widths) body += Digits(w, 2);
  return BuildFrame(kSoh, body, true);
}

Bytes DataFrame(int block_number, const uint8_t* record, size_t length) {
  std::string body = Digits(block_number, 5);
  body.append(reinterpret_cast<const char*>(record), length);
  return BuildFrame(kStx, body, true);
}

Bytes Identification(const std::string& id) {
  Bytes frame{kRs};
  for (size_t i = 0; i < 3; ++i) frame.push_back(i < id.size() ? id[i] : ' ');
  frame.push_back(XorBytes(frame.data() + 1, 3));
  return frame;
}

Bytes WithBadCheck(Bytes frame) {
  if (!frame.empty()) frame.back() ^= 0x5A;
  return frame;
}

DownloadHeader ParseDownloadHeader(const std::string& text) {
  DownloadHeader h;
  if (text.size() < 17) return h;
  h.name_field = text.substr(0, 12);
  h.block_count = DecimalValue(text.data() + 12, 5);
  if (text.size() == 17) {
    // A PD3 header carries no field list: its blocks are 128 bytes.
    h.record_length = 128;
    h.ok = true;
    return h;
  }
  if (text.size() < 19) return h;
  h.field_count = DecimalValue(text.data() + 17, 2);
  if (h.field_count < 0 || text.size() != 19 + 2 * static_cast<size_t>(h.field_count)) return h;
  for (int i = 0; i < h.field_count; ++i) {
    int w = DecimalValue(text.data() + 19 + 2 * i, 2);
    h.widths.push_back(w);
    h.record_length += w;
  }
  h.ok = h.record_length >= 0 && static_cast<size_t>(h.record_length) <= kMaxRecordLength;
  return h;
}

std::string NameFrameFileName(const std::string& text, int* announced) {
  std::string t = text;
  // "%.8s.DAT%sS": a 12-character field, five digits and the kind 'S'.
  if (t.size() == 18 && t.back() == 'S') t.pop_back();
  if (t.size() < 5) {
    *announced = 0;
    return "";
  }
  *announced = DecimalValue(t.data() + t.size() - 5, 5);
  std::string name = t.substr(0, t.size() - 5);
  if (name.size() == 12 && name[8] == '.') {
    char field[13];
    std::memcpy(field, name.data(), 12);
    field[12] = 0;
    TrimFileName(field);
    return field;
  }
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}

std::string ControlName(uint8_t byte) {
  switch (byte) {
    case kSoh:
      return "SOH";
    case kStx:
      return "STX";
    case kEtx:
      return "ETX";
    case kEot:
      return "EOT";
    case kEnq:
      return "ENQ";
    case kAck:
      return "ACK";
    case kNak:
      return "NAK";
    case kRs:
      return "RS";
  }
  char hex[8];
  snprintf(hex, sizeof hex, "%02X", byte);
  return hex;
}

std::string Describe(const Bytes& frame) {
  if (frame.empty()) return "";
  std::string out = ControlName(frame[0]);
  size_t n = frame.size();
  bool checked = (frame[0] == kSoh || frame[0] == kStx) && n >= 3 && frame[n - 2] == kEtx;
  bool ident = frame[0] == kRs && n == 5;
  size_t body_end = checked ? n - 2 : (ident ? n - 1 : n);
  std::string text;
  auto flush = [&] {
    if (!text.empty()) out += " '" + text + "'";
    text.clear();
  };
  for (size_t i = 1; i < body_end; ++i) {
    uint8_t c = frame[i];
    if (c >= 0x20 && c < 0x7F && c != '\'') {
      text += static_cast<char>(c);
    } else {
      flush();
      char hex[8];
      snprintf(hex, sizeof hex, " %02X", c);
      out += hex;
    }
  }
  flush();
  char tail[24];
  if (checked) {
    snprintf(tail, sizeof tail, " ETX BCC=%02X", frame[n - 1]);
    out += tail;
  } else if (ident) {
    snprintf(tail, sizeof tail, " XOR=%02X", frame[n - 1]);
    out += tail;
  }
  return out;
}

bool ParseUploadSpec(const std::string& text, UploadSpec* desc, std::string* error) {
  // The path may itself hold colons; the record length and widths are the
  // last one or two colon-separated parts.
  size_t c1 = text.rfind(':');
  if (c1 == std::string::npos || c1 == 0) {
    *error = "'" + text + "': expected FILE:RECLEN[:W1,W2,...]";
    return false;
  }
  std::string last = text.substr(c1 + 1);
  std::string head = text.substr(0, c1);
  std::string reclen_text = last;
  std::string widths_text;
  size_t c2 = head.rfind(':');
  int probe = 0;
  if (c2 != std::string::npos && c2 > 0 && ParseNumber(head.substr(c2 + 1), &probe)) {
    reclen_text = head.substr(c2 + 1);
    widths_text = last;
    head = head.substr(0, c2);
  }
  UploadSpec s;
  s.path = head;
  if (!ParseNumber(reclen_text, &s.record_length) || s.record_length < 1 ||
      static_cast<size_t>(s.record_length) > kMaxRecordLength) {
    *error = "'" + text + "': the record length must be 1 to 1025";
    return false;
  }
  if (widths_text.empty()) {
    for (int left = s.record_length; left > 0; left -= 99)
      s.widths.push_back(left > 99 ? 99 : left);
  } else {
    int sum = 0;
    size_t pos = 0;
    while (pos <= widths_text.size()) {
      size_t comma = widths_text.find(',', pos);
      if (comma == std::string::npos) comma = widths_text.size();
      int w = 0;
      if (!ParseNumber(widths_text.substr(pos, comma - pos), &w) || w > 99) {
        *error = "'" + text + "': each field width is a number of 0 to 99";
        return false;
      }
      s.widths.push_back(w);
      sum += w;
      pos = comma + 1;
    }
    if (sum != s.record_length) {
      *error = "'" + text + "': the field widths add up to " + std::to_string(sum) +
               ", not to the record length " + std::to_string(s.record_length);
      return false;
    }
  }
  if (s.widths.size() > 99) {
    *error = "'" + text + "': at most 99 fields";
    return false;
  }
  std::string base = BaseName(s.path);
  if (base.empty()) {
    *error = "'" + text + "': no file name";
    return false;
  }
  s.name_field = NameField(base);
  *desc = s;
  return true;
}

}  // namespace kavelin2::handheld
