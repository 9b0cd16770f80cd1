#include "maintenance/index_length_repair.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/file_io.h"

namespace talvex::tabmend {
namespace {

constexpr uint64_t kUnit = 512;            // block numbers count 512-byte units
constexpr uint64_t kTagTable = 544;        // first tag entry
constexpr uint64_t kTagEntry = 32;
constexpr uint64_t kMaxIndexBytes = 1u << 31;  // beyond that the header is garbage

uint32_t U32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

}  // namespace

bool RestoreIndexLength(std::string_view mdxPath) {
  std::unique_ptr<platform::File> file = platform::File::open(mdxPath, platform::OpenMode::ReadWrite);
  uint64_t size = 0;
  if (!file || !file->size(&size) || size < kTagTable) return false;
  uint8_t header[48];
  size_t got = 0;
  if (!file->readAt(0, header, sizeof header, &got) || got != sizeof header) return false;
  const uint32_t blockBytes = uint32_t(header[22]) | uint32_t(header[23]) << 8;
  const uint32_t tags = uint32_t(header[28]) | uint32_t(header[29]) << 8;
  const uint64_t wanted = uint64_t(U32(header + 32)) * kUnit;
  if (blockBytes < kUnit || blockBytes % kUnit != 0 || tags == 0 || tags > 47) return false;
  if (wanted <= size || wanted > kMaxIndexBytes) return false;
  // Every tag header must still be in the file, or there is nothing to
  // rebuild the tags from.
  std::vector<uint8_t> entries(tags * kTagEntry);
  if (!file->readAt(kTagTable, entries.data(), entries.size(), &got) || got != entries.size()) return false;
  for (uint32_t i = 0; i < tags; ++i) {
    const uint64_t at = uint64_t(U32(entries.data() + i * kTagEntry)) * kUnit;
    if (at < kUnit || at + kUnit > size || at >= wanted) return false;
  }
  const std::vector<uint8_t> zeros(64 * 1024, 0);
  for (uint64_t at = size; at < wanted;) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(zeros.size(), wanted - at));
    if (!file->writeAt(at, zeros.data(), n)) return false;
    at += n;
  }
  return true;
}

}  // namespace talvex::tabmend
