// What the handheld puts on the line and how it reads what the station sends
// back. Built on the station's own codec (protocol/codec.h), so that both ends
// agree on BCC, five-digit fields and name fields by construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace kavelin2::handheld {

constexpr uint8_t kSoh = 0x01;
constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kEot = 0x04;
constexpr uint8_t kEnq = 0x05;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;
constexpr uint8_t kRs = 0x1E;

using Bytes = std::vector<uint8_t>;

// The largest frame body the station accepts: its frame buffer is 1032 bytes,
// and a data frame carries STX, five digits, the record, ETX and BCC.
constexpr size_t kMaxRecordLength = 1025;

// Upload header: SOH, the 12-character name field, the record count in five
// digits, the field count in two, each width in two, ETX, BCC.
Bytes HeaderFrame(const std::string& name_field, int record_count, const std::vector<int>& widths);
// Data frame: STX, the block number in five digits, the record, ETX, BCC.
Bytes DataFrame(int block_number, const uint8_t* record, size_t length);
// Identification: RS, the three identifier characters and their XOR (no ETX).
Bytes Identification(const std::string& id);

// A frame's last byte is its check byte (BCC, or the XOR of an
// identification); flipping it makes the station refuse the frame.
Bytes WithBadCheck(Bytes frame);

// The station's header frame text (after SOH, before ETX) taken apart.
struct DownloadHeader {
  std::string name_field;  // first 12 characters
  int block_count = 0;
  int field_count = 0;
  std::vector<int> widths;
  int record_length = 0;  // sum of the widths; 128 for a PD3 header without widths
  bool ok = false;
};
DownloadHeader ParseDownloadHeader(const std::string& text);

// The file name a name frame announces: "ARTICLES.DAT00003" gives
// "ARTICLES.DAT", "CLI     .DAT00002S" gives "CLI.DAT", "CLI.DAT00002" (a
// field-described entry) gives "CLI.DAT". |announced| receives the count.
std::string NameFrameFileName(const std::string& text, int* announced);

// One line of the exchange report: control bytes by name, printable text
// quoted, other bytes in hex ("SOH 'COMMANDE.001000020210 05' ETX BCC=5A").
std::string Describe(const Bytes& frame);
std::string ControlName(uint8_t byte);

// An upload as the user gives it: "FILE:RECLEN[:W1,W2,...]". The file holds
// the records back to back; the name sent is the file's base name unless a
// raw name field is set later. Without widths the record is one field (or
// fields of 99 when longer). Returns false and fills |error| when malformed.
struct UploadSpec {
  std::string path;
  std::string name_field;  // 12 characters as sent
  int record_length = 0;
  std::vector<int> widths;
};
bool ParseUploadSpec(const std::string& text, UploadSpec* desc, std::string* error);

}  // namespace kavelin2::handheld
