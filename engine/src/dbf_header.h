// The .dbf file header and field descriptors: decoding with every size
// checked against the bytes actually present, and encoding for new tables.
//
// Decoding never trusts the file: a wrong record length, a descriptor list
// without its 0x0D terminator, a header length shorter than the descriptors,
// unsupported versions (dBASE 7, FoxPro) and encrypted tables are refused
// with a text saying what is wrong. Pure functions, no I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace talvex::engine {

struct FieldDesc {
  std::string name;  // upper case, up to 10 characters
  char type = 'C';
  uint8_t len = 0;
  uint8_t dec = 0;
  uint32_t offset = 0;   // in the record; byte 0 is the deletion flag
  uint8_t tagFlag = 0;   // descriptor byte 31
};

struct DbfHeader {
  uint8_t version = 0x03;
  uint8_t year = 0, month = 0, day = 0;  // year - 1900
  uint32_t recCount = 0;
  uint16_t headerLen = 0;
  uint16_t recordLen = 0;
  uint8_t productionIndex = 0;  // byte 28
  uint8_t languageDriver = 0;   // byte 29
  std::vector<FieldDesc> fields;

  bool hasMemoFile() const { return (version & 0x80) != 0; }
  [[nodiscard]] bool memoIV() const { return (version & 0x08) != 0; }
};

inline constexpr size_t kDbfFixedHeader = 32;
inline constexpr size_t kFieldDescSize = 32;
inline constexpr uint8_t kDbfEndMarker = 0x1A;

// dBASE level 7 (version 0x04, 0x8C): 48-byte descriptors this engine does not read.
inline bool isLevel7Version(uint8_t version) { return (version & 0x07) == 4; }

// Checks bytes 0..31 and returns the header length they give (0 and *error
// when the version is refused).
uint16_t dbfHeaderLength(const uint8_t* first32, std::string* error);

// Decodes header and descriptors from the first headerLen bytes of the file.
[[nodiscard]] bool decodeDbfHeader(const uint8_t* bytes, size_t size, DbfHeader* out, std::string* error);

// The header, descriptors and terminator (header.headerLen bytes, which must
// be at least 32 + 32 * fields + 1).
std::vector<uint8_t> encodeDbfHeader(const DbfHeader& header);

// Bytes 1..7 (date and record count) as they go to the file at offset 1.
void encodeDateAndCount(const DbfHeader& header, uint8_t out[7]);

// Today's date as header bytes 1..3.
void todayForHeader(uint8_t* year, uint8_t* month, uint8_t* day);

}  // namespace talvex::engine
