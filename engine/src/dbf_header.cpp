#include "dbf_header.h"

#include <cstdio>
#include <cstring>

#include "local_date.h"
#include "platform/ascii_text.h"

namespace talvex::engine {

namespace {

uint16_t get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t get32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
void put16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool fieldShapeValid(const FieldDesc& f, std::string* why) {
  switch (f.type) {
    case 'C':
      if (f.len >= 1) return true;
      break;
    case 'N':
    case 'F':
      if (f.len >= 1 && f.len <= 20 && f.dec <= f.len) return true;
      break;
    case 'D':
      if (f.len == 8) return true;
      break;
    case 'L':
      if (f.len == 1) return true;
      break;
    case 'M':
    case 'B':
    case 'G':
      if (f.len == 10) return true;
      break;
    default:
      *why = "field " + f.name + " has the unsupported type '" + std::string(1, f.type) + "'";
      return false;
  }
  *why = "field " + f.name + " has an invalid width " + std::to_string(f.len) + "," +
         std::to_string(f.dec);
  return false;
}

}  // namespace

uint16_t dbfHeaderLength(const uint8_t* b, std::string* error) {
  uint8_t v = b[0];
  if (isLevel7Version(v)) {
    *error = "a dBASE level 7 table, which this engine does not open";
    return 0;
  }
  uint8_t sql = v & 0x70;
  if ((v & 0x07) != 3 || (sql != 0x00 && sql != 0x40 && sql != 0x60) || v == 0x30 || v == 0xF5) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", v);
    *error = std::string("version byte ") + hex + " is not a dBASE III/IV table (FoxPro or other)";
    return 0;
  }
  if (b[15] == 0x01) {
    *error = "the table is encrypted";
    return 0;
  }
  uint16_t hl = get16(b + 8);
  if (hl < kDbfFixedHeader + kFieldDescSize + 1) {
    *error = "header length " + std::to_string(hl) + " is too short";
    return 0;
  }
  return hl;
}

bool decodeDbfHeader(const uint8_t* b, size_t size, DbfHeader* out, std::string* error) {
  if (size < kDbfFixedHeader) {
    *error = "the file is shorter than a table header";
    return false;
  }
  uint16_t hl = dbfHeaderLength(b, error);
  if (hl == 0) return false;
  if (size < hl) {
    *error = "the file ends inside its header";
    return false;
  }
  DbfHeader h;
  h.version = b[0];
  h.year = b[1];
  h.month = b[2];
  h.day = b[3];
  h.recCount = get32(b + 4);
  h.headerLen = hl;
  h.recordLen = get16(b + 10);
  h.productionIndex = b[28];
  h.languageDriver = b[29];

  size_t pos = kDbfFixedHeader;
  bool terminated = false;
  uint32_t offset = 1;
  while (pos < hl) {
    if (b[pos] == 0x0D) {
      terminated = true;
      break;
    }
    if (pos + kFieldDescSize > hl) break;
    const uint8_t* d = b + pos;
    FieldDesc f;
    size_t n = 0;
    while (n < 11 && d[n] != 0) ++n;
    if (n > 10) n = 10;
    f.name = ascii::upper(std::string_view(reinterpret_cast<const char*>(d), n));
    f.type = ascii::upperChar(static_cast<char>(d[11]));
    f.len = d[16];
    f.dec = (f.type == 'N' || f.type == 'F') ? d[17] : 0;
    f.tagFlag = d[31];
    f.offset = offset;
    std::string why;
    if (f.name.empty()) {
      *error = "field " + std::to_string(h.fields.size() + 1) + " has no name";
      return false;
    }
    if (!fieldShapeValid(f, &why)) {
      *error = why;
      return false;
    }
    offset += f.len;
    h.fields.push_back(std::move(f));
    pos += kFieldDescSize;
  }
  if (!terminated) {
    *error = "the field list has no terminator within the header length";
    return false;
  }
  if (h.fields.empty()) {
    *error = "the table has no fields";
    return false;
  }
  if (offset != h.recordLen) {
    *error = "record length " + std::to_string(h.recordLen) + " does not match the fields (" +
             std::to_string(offset) + ")";
    return false;
  }
  *out = std::move(h);
  return true;
}

std::vector<uint8_t> encodeDbfHeader(const DbfHeader& h) {
  std::vector<uint8_t> out(h.headerLen, 0);
  out[0] = h.version;
  uint8_t dc[7];
  encodeDateAndCount(h, dc);
  std::memcpy(out.data() + 1, dc, 7);
  put16(out.data() + 8, h.headerLen);
  put16(out.data() + 10, h.recordLen);
  out[28] = h.productionIndex;
  out[29] = h.languageDriver;
  size_t pos = kDbfFixedHeader;
  for (const FieldDesc& f : h.fields) {
    uint8_t* d = out.data() + pos;
    std::memcpy(d, f.name.data(), f.name.size() < 10 ? f.name.size() : 10);
    d[11] = static_cast<uint8_t>(f.type);
    d[16] = f.len;
    d[17] = f.dec;
    d[20] = 0;
    d[31] = f.tagFlag;
    pos += kFieldDescSize;
  }
  out[pos] = 0x0D;
  return out;
}

void encodeDateAndCount(const DbfHeader& h, uint8_t out[7]) {
  out[0] = h.year;
  out[1] = h.month;
  out[2] = h.day;
  put32(out + 3, h.recCount);
}

void todayForHeader(uint8_t* year, uint8_t* month, uint8_t* day) {
  const LocalDate today = localToday();
  int y = today.year - 1900;  // years since 1900, as the header wants
  if (y < 0) y = 0;
  if (y > 255) y = 255;
  *year = static_cast<uint8_t>(y);
  *month = static_cast<uint8_t>(today.month);
  *day = static_cast<uint8_t>(today.day);
}

}  // namespace talvex::engine
