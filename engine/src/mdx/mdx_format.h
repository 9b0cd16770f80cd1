// Byte offsets of the .mdx layout and little-endian helpers (internal).
#pragma once

#include <cstdint>
#include <cstring>

namespace talvex::engine::mdx::format {

inline constexpr uint32_t kPageBytes = 512;
inline constexpr uint32_t kHeaderPages = 4;  // file header, sentinel slot, tag table
inline constexpr uint32_t kHeaderBytes = kHeaderPages * kPageBytes;
inline constexpr uint32_t kSlotCount = 48;  // slot 0 is the sentinel
inline constexpr uint32_t kSlotLength = 32;
inline constexpr uint32_t kFirstSlot = 544;
inline constexpr uint32_t kTagTreeRootByte = 529;
inline constexpr uint32_t kDefaultPagesPerBlock = 2;
inline constexpr int kMaxDepth = 24;  // deeper means a loop or garbage

// File header.
inline constexpr uint32_t kHdrVersion = 0, kHdrCreated = 1, kHdrName = 4, kHdrPagesPerBlock = 20,
                          kHdrBlockBytes = 22, kHdrProduction = 24, kHdrSlots = 25,
                          kHdrSlotLength = 26, kHdrTagsInUse = 28, kHdrLanguage = 31,
                          kHdrPageCount = 32, kHdrFreeHead = 36, kHdrFreeCount = 40,
                          kHdrUpdated = 44;

// Tag table slot.
inline constexpr uint32_t kSlotHeaderPage = 0, kSlotName = 4, kSlotFormat = 15, kSlotLeft = 16,
                          kSlotRight = 17, kSlotParent = 18, kSlotMagic = 19, kSlotType = 20;

// Tag header.
inline constexpr uint32_t kTagRoot = 0, kTagPagesUsed = 4, kTagFlags = 8, kTagType = 9,
                          kTagLanguage = 11, kTagKeyLength = 12, kTagMaxKeys = 14,
                          kTagSecondaryType = 16, kTagItemLength = 18, kTagCounter = 20,
                          kTagUniqueByte = 23, kTagExpression = 24, kTagHasFilter = 245,
                          kTagHasKeys = 246, kTagFirstNode = 248, kTagRootCopy = 252,
                          kTagDate = 257, kTagFieldCount = 480, kTagFilter = 762;
inline constexpr uint32_t kTagWatchedBytes = 24;  // root, size, flags ... counter
inline constexpr uint32_t kExpressionField = 220;
inline constexpr uint8_t kFlagDescending = 0x08, kFlagAlways = 0x10, kFlagUnique = 0x40;

// B-tree node.
inline constexpr uint32_t kNodeCount = 0, kNodeLink = 4, kNodeItems = 8;

inline uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
inline void put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

// View of one node block with the tag's geometry.
struct Node {
  uint8_t* d;
  uint32_t itemLength;
  uint32_t keyLength;

  uint32_t count() const { return get32(d + kNodeCount); }
  void setCount(uint32_t n) { put32(d + kNodeCount, n); }
  uint8_t* item(uint32_t i) const { return d + kNodeItems + i * itemLength; }
  uint32_t pointer(uint32_t i) const { return get32(item(i)); }
  const char* key(uint32_t i) const { return reinterpret_cast<const char*>(item(i) + 4); }
  uint32_t trailing() const { return get32(item(count())); }
  void setTrailing(uint32_t p) { put32(item(count()), p); }
  [[nodiscard]] bool leaf() const { return trailing() == 0; }
  void setItem(uint32_t i, uint32_t ptr, const char* key) {
    uint8_t* it = item(i);
    put32(it, ptr);
    std::memcpy(it + 4, key, keyLength);
    std::memset(it + 4 + keyLength, 0, itemLength - 4 - keyLength);
  }
};

}  // namespace talvex::engine::mdx::format
