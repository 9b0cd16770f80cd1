// Reads VS_FIXEDFILEINFO out of a PE image without the system's help. The
// image comes from outside (any file named like the host program), so every
// offset is checked before it is used.
#include <cstring>

#include "platform/version_resource.h"

namespace talvex::platform {
namespace {

constexpr uint16_t kRtVersion = 16;
constexpr uint32_t kFixedSignature = 0xFEEF04BDu;
constexpr uint32_t kSubdirectory = 0x80000000u;

class Image {
 public:
  Image(const unsigned char* data, size_t size) : data_(data), size_(size) {}

  bool u16(uint64_t off, uint16_t* v) const {
    if (off > size_ || size_ - off < 2) return false;
    *v = static_cast<uint16_t>(data_[off] | data_[off + 1] << 8);
    return true;
  }
  bool u32(uint64_t off, uint32_t* v) const {
    if (off > size_ || size_ - off < 4) return false;
    *v = static_cast<uint32_t>(data_[off]) | static_cast<uint32_t>(data_[off + 1]) << 8 |
         static_cast<uint32_t>(data_[off + 2]) << 16 | static_cast<uint32_t>(data_[off + 3]) << 24;
    return true;
  }
  bool has(uint64_t off, uint64_t len) const { return off <= size_ && size_ - off >= len; }

 private:
  const unsigned char* data_;
  size_t size_;
};

struct Section {
  uint32_t va, virtualSize, rawSize, rawOffset;
};

class Parser {
 public:
  Parser(const unsigned char* data, size_t size) : img_(data, size) {}

  bool run(FileVersion* out, std::string* why) {
    uint16_t mz;
    uint32_t peOff, sig;
    if (!img_.u16(0, &mz) || mz != 0x5A4D) return fail(why, "not an executable (no MZ header)");
    if (!img_.u32(0x3C, &peOff) || !img_.u32(peOff, &sig) || sig != 0x00004550)
      return fail(why, "no PE header");
    uint64_t coff = uint64_t{peOff} + 4;
    uint16_t sections, optSize, magic;
    if (!img_.u16(coff + 2, &sections) || !img_.u16(coff + 16, &optSize))
      return fail(why, "truncated PE header");
    uint64_t opt = coff + 20;
    if (!img_.u16(opt, &magic)) return fail(why, "truncated optional header");
    uint64_t countAt, dirsAt;
    if (magic == 0x10B) {
      countAt = 92, dirsAt = 96;
    } else if (magic == 0x20B) {
      countAt = 108, dirsAt = 112;
    } else {
      return fail(why, "unknown optional header");
    }
    uint32_t dirCount, resRva, resSize;
    if (optSize < dirsAt || !img_.u32(opt + countAt, &dirCount))
      return fail(why, "truncated optional header");
    if (dirCount < 3 || optSize < dirsAt + 3 * 8) return fail(why, "no resource directory");
    if (!img_.u32(opt + dirsAt + 16, &resRva) || !img_.u32(opt + dirsAt + 20, &resSize))
      return fail(why, "truncated optional header");
    if (resRva == 0 || resSize == 0) return fail(why, "no resources");
    uint64_t table = opt + optSize;
    if (!img_.has(table, uint64_t{sections} * 40)) return fail(why, "truncated section table");
    for (uint16_t i = 0; i < sections; ++i) {
      uint64_t s = table + uint64_t{i} * 40;
      Section sec;
      img_.u32(s + 8, &sec.virtualSize);
      img_.u32(s + 12, &sec.va);
      img_.u32(s + 16, &sec.rawSize);
      img_.u32(s + 20, &sec.rawOffset);
      sections_[count_++] = sec;
      if (count_ == kMaxSections) break;
    }
    resRva_ = resRva;
    resSize_ = resSize;

    // Type RT_VERSION, then the first name, then the first language.
    uint32_t entry;
    if (!findEntry(0, true, kRtVersion, &entry) || !(entry & kSubdirectory))
      return fail(why, "no version resource");
    if (!findEntry(entry & ~kSubdirectory, false, 0, &entry) || !(entry & kSubdirectory))
      return fail(why, "malformed resource directory");
    if (!findEntry(entry & ~kSubdirectory, false, 0, &entry) || (entry & kSubdirectory))
      return fail(why, "malformed resource directory");
    uint32_t dataRva, dataSize;
    uint64_t dataEntry;
    if (!resourceOffset(entry, 16, &dataEntry) || !img_.u32(dataEntry, &dataRva) ||
        !img_.u32(dataEntry + 4, &dataSize))
      return fail(why, "malformed resource data entry");
    uint64_t info;
    if (!rvaToOffset(dataRva, dataSize, &info)) return fail(why, "version resource out of bounds");
    return readVersionInfo(info, dataSize, out, why);
  }

 private:
  static constexpr int kMaxSections = 96;

  static bool fail(std::string* why, const char* text) {
    if (why) *why = text;
    return false;
  }

  // File offset of len bytes at rva, all inside one section's raw data.
  bool rvaToOffset(uint64_t rva, uint64_t len, uint64_t* out) const {
    for (int i = 0; i < count_; ++i) {
      const Section& s = sections_[i];
      if (rva < s.va) continue;
      uint64_t rel = rva - s.va;
      if (rel >= s.rawSize || s.rawSize - rel < len) continue;
      uint64_t off = uint64_t{s.rawOffset} + rel;
      if (!img_.has(off, len)) return false;
      *out = off;
      return true;
    }
    return false;
  }

  // File offset of len bytes at an offset inside the resource directory.
  bool resourceOffset(uint64_t rel, uint64_t len, uint64_t* out) const {
    if (rel > resSize_ || resSize_ - rel < len) return false;
    return rvaToOffset(uint64_t{resRva_} + rel, len, out);
  }

  // An entry of the directory at rel: the one with that id, or the first.
  bool findEntry(uint64_t rel, bool byId, uint16_t id, uint32_t* target) const {
    uint64_t dir;
    uint16_t named, ids;
    if (!resourceOffset(rel, 16, &dir) || !img_.u16(dir + 12, &named) ||
        !img_.u16(dir + 14, &ids))
      return false;
    uint64_t total = uint64_t{named} + ids;
    uint64_t entries;
    if (total == 0 || !resourceOffset(rel + 16, total * 8, &entries)) return false;
    for (uint64_t i = 0; i < total; ++i) {
      uint32_t name, to;
      // An entry cut off by the end of the image ends the search.
      if (!img_.u32(entries + i * 8, &name) || !img_.u32(entries + i * 8 + 4, &to)) return false;
      if (!byId || (!(name & 0x80000000u) && (name & 0xFFFF) == id)) {
        *target = to;
        return true;
      }
    }
    return false;
  }

  bool readVersionInfo(uint64_t off, uint32_t size, FileVersion* out, std::string* why) const {
    static const char kKey[] = "VS_VERSION_INFO";
    uint16_t length, valueLength;
    if (size < 40 + 52 || !img_.u16(off, &length) || !img_.u16(off + 2, &valueLength))
      return fail(why, "version resource too short");
    if (length > size || length < 40 + 52 || valueLength < 52)
      return fail(why, "version resource has no fixed file info");
    for (size_t i = 0; i < sizeof kKey; ++i) {
      uint16_t c;
      if (!img_.u16(off + 6 + 2 * i, &c) || c != static_cast<unsigned char>(kKey[i]))
        return fail(why, "version resource without VS_VERSION_INFO");
    }
    uint64_t fixed = off + 40;  // 6 + 32 bytes of key, aligned to 4
    uint32_t signature, ms, ls;
    if (!img_.u32(fixed, &signature) || signature != kFixedSignature)
      return fail(why, "bad fixed file info signature");
    img_.u32(fixed + 8, &ms);
    img_.u32(fixed + 12, &ls);
    out->major = static_cast<uint16_t>(ms >> 16);
    out->minor = static_cast<uint16_t>(ms & 0xFFFF);
    out->build = static_cast<uint16_t>(ls >> 16);
    out->revision = static_cast<uint16_t>(ls & 0xFFFF);
    return true;
  }

  Image img_;
  Section sections_[kMaxSections] = {};
  int count_ = 0;
  uint32_t resRva_ = 0, resSize_ = 0;
};

}  // namespace

bool parseFileVersion(const unsigned char* image, size_t size, FileVersion* out,
                      std::string* error) {
  if (!image || !out) {
    if (error) *error = "no image";
    return false;
  }
  Parser p(image, size);
  return p.run(out, error);
}

}  // namespace talvex::platform
