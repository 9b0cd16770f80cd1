#include "maintenance/table_header_repair.h"

#include <cstdint>
#include <limits>
#include <memory>

#include "platform/file_io.h"

namespace talvex::tabmend {
namespace {

constexpr uint8_t kEndOfFile = 0x1A;
constexpr uint64_t kHeaderBytes = 12;

uint32_t ReadU32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

bool ReadByte(platform::File& file, uint64_t offset, uint8_t* out) {
  size_t got = 0;
  return file.readAt(offset, out, 1, &got) && got == 1;
}

// headerLen + count * recLen + 1, or headerLen + 1 when that does not fit a
// signed 32-bit size (a count of billions is garbage, not a table).
int64_t ExpectedSize(uint32_t count, uint16_t headerLen, uint16_t recLen) {
  const int64_t full = int64_t(count) * recLen + headerLen + 1;
  if (full > std::numeric_limits<int32_t>::max()) return int64_t(headerLen) + 1;
  return full;
}

}  // namespace

bool RepairTableHeader(std::string_view path, bool fixCount, bool truncate) {
  std::unique_ptr<platform::File> file = platform::File::open(path, platform::OpenMode::ReadWrite);
  if (!file) return false;
  uint64_t size = 0;
  if (!file->size(&size)) return false;
  uint8_t header[kHeaderBytes];
  size_t got = 0;
  if (size <= kHeaderBytes) return true;
  if (!file->readAt(0, header, kHeaderBytes, &got)) return false;
  if (got < kHeaderBytes) return true;

  uint32_t count = ReadU32(header + 4);
  const uint16_t headerLen = ReadU16(header + 8);
  const uint16_t recLen = ReadU16(header + 10);
  const int64_t expected = ExpectedSize(count, headerLen, recLen);
  if (uint64_t(expected) == size) return true;
  if (recLen == 0) return false;  // nothing to measure records by

  auto diffOf = [&](uint64_t s) {
    return s > uint64_t(expected) ? s - uint64_t(expected) : uint64_t(expected) - s;
  };
  bool fixed = false;
  if (fixCount) {
    uint64_t diff = diffOf(size);
    // A marker is added only to a file that holds its whole header; a
    // shorter one is not a table this could mend.
    if (diff % recLen != 0 && (diff - 1) % recLen == 0 && size >= headerLen) {
      uint8_t last = 0;
      if (!ReadByte(*file, size - 1, &last)) return false;
      if (last != kEndOfFile) {
        if (!file->writeAt(size, &kEndOfFile, 1)) return false;
        ++size;
        diff = diffOf(size);
      }
    }
    // The count follows the file only when the file holds the header, the
    // end marker and whole records; a count that would not fit stays.
    const uint64_t body = uint64_t(headerLen) + 1;
    if (diff % recLen == 0 && size >= body && (size - body) / recLen <= UINT32_MAX) {
      count = static_cast<uint32_t>((size - body) / recLen);
      header[4] = uint8_t(count);
      header[5] = uint8_t(count >> 8);
      header[6] = uint8_t(count >> 16);
      header[7] = uint8_t(count >> 24);
      if (!file->writeAt(0, header, kHeaderBytes)) return false;
      fixed = true;
    }
  }
  if (!fixed && truncate && size > uint64_t(expected)) {
    const uint64_t extra = size - uint64_t(expected);
    const uint64_t marker = uint64_t(expected) - 1;  // where the end marker belongs
    if (extra % recLen != 0) {
      uint8_t atMarker = 0;
      if (!ReadByte(*file, marker, &atMarker)) return false;
      if (atMarker == kEndOfFile) {
        if (!file->truncate(uint64_t(expected))) return false;
      } else if (extra * 100 / uint64_t(expected) <= 3 && size - marker < recLen) {
        // Only a partial record lies behind the counted ones: a write that
        // did not finish. A complete record there may be live; it stays.
        if (!file->writeAt(marker, &kEndOfFile, 1)) return false;
        if (!file->truncate(uint64_t(expected))) return false;
      }
    }
  }
  return true;
}

}  // namespace talvex::tabmend
