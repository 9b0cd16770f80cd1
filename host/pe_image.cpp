#include "pe_image.h"

#include <string_view>
#include <vector>

namespace talvex::host {
namespace {

constexpr uint32_t kFileAlign = 0x200;
constexpr uint32_t kSectionAlign = 0x1000;
constexpr uint32_t kImageBase = 0x400000;
constexpr uint32_t kTextRva = 0x1000;
constexpr uint32_t kRsrcRva = 0x2000;

uint32_t AlignUp(uint32_t value, uint32_t to) { return (value + to - 1) / to * to; }

void Put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
void Set16(std::string& out, size_t at, uint16_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>(v >> 8);
}
void Pad(std::string& out, size_t to) {
  while (out.size() % to != 0) out.push_back('\0');
}
void PutWide(std::string& out, std::string_view text) {
  for (char c : text) Put16(out, static_cast<unsigned char>(c));
  Put16(out, 0);
}

// One version-resource block: header, key, value, children, each part on a
// 32-bit boundary; wLength covers the block without trailing padding.
std::string Block(std::string_view key, uint16_t type, const std::string& value,
                  uint16_t valueLength, const std::vector<std::string>& children = {}) {
  std::string out;
  Put16(out, 0);
  Put16(out, valueLength);
  Put16(out, type);
  PutWide(out, key);
  Pad(out, 4);
  out += value;
  for (const std::string& child : children) {
    Pad(out, 4);
    out += child;
  }
  Set16(out, 0, static_cast<uint16_t>(out.size()));
  return out;
}

std::string TextBlock(std::string_view key, std::string_view text) {
  std::string value;
  PutWide(value, text);
  return Block(key, 1, value, static_cast<uint16_t>(text.size() + 1));
}

std::string VersionInfo(const ReleaseNumber& v) {
  const uint32_t ms = (uint32_t{v.major} << 16) | v.minor;
  const uint32_t ls = (uint32_t{v.release} << 16) | v.build;
  std::string fixed;
  Put32(fixed, 0xFEEF04BD);  // signature
  Put32(fixed, 0x00010000);  // structure version
  Put32(fixed, ms);
  Put32(fixed, ls);
  Put32(fixed, ms);  // product version
  Put32(fixed, ls);
  Put32(fixed, 0x3F);     // flags mask
  Put32(fixed, 0);        // flags
  Put32(fixed, 0x40004);  // VOS_NT_WINDOWS32
  Put32(fixed, 1);        // VFT_APP
  Put32(fixed, 0);
  Put32(fixed, 0);
  Put32(fixed, 0);

  const std::string dotted = std::to_string(v.major) + "." + std::to_string(v.minor) + "." +
                             std::to_string(v.release) + "." + std::to_string(v.build);
  std::string strings = Block("040904E4", 1, "", 0,
                              {TextBlock("FileDescription", "Talvex Nova32 claims"),
                               TextBlock("FileVersion", dotted),
                               TextBlock("InternalName", "TALVEX32"),
                               TextBlock("OriginalFilename", "TALVEX32.EXE"),
                               TextBlock("ProductVersion", dotted)});
  std::string translation;
  Put16(translation, 0x0409);
  Put16(translation, 1252);
  std::string vars = Block("VarFileInfo", 1, "", 0, {Block("Translation", 0, translation, 4)});
  return Block("VS_VERSION_INFO", 0, fixed, 52,
               {Block("StringFileInfo", 1, "", 0, {strings}), vars});
}

// Root (type) -> name -> language -> data entry -> the resource bytes.
std::string ResourceSection(const ReleaseNumber& version) {
  auto directory = [](std::string& out, uint32_t id, uint32_t target) {
    Put32(out, 0);  // characteristics
    Put32(out, 0);  // time stamp
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);  // named entries
    Put16(out, 1);  // id entries
    Put32(out, id);
    Put32(out, target);
  };
  const std::string info = VersionInfo(version);
  std::string out;
  directory(out, 16 /* RT_VERSION */, 0x80000000u | 24);
  directory(out, 1, 0x80000000u | 48);
  directory(out, 0x0409, 72);
  const uint32_t dataAt = 72 + 16;
  Put32(out, kRsrcRva + dataAt);
  Put32(out, static_cast<uint32_t>(info.size()));
  Put32(out, 0);
  Put32(out, 0);
  out += info;
  return out;
}

}  // namespace

std::string BuildProgramImage(const ReleaseNumber& version, bool withVersionResource) {
  const std::string code = "\x31\xC0\xC2\x10\x00";  // xor eax,eax; ret 16 (WinMain-style entry)
  const std::string rsrc = withVersionResource ? ResourceSection(version) : std::string();
  const uint16_t sections = withVersionResource ? 2 : 1;
  const uint32_t textRaw = kFileAlign;
  const uint32_t rsrcRaw = textRaw + kFileAlign;
  const uint32_t rsrcSize = AlignUp(static_cast<uint32_t>(rsrc.size()), kFileAlign);
  const uint32_t imageSize =
      withVersionResource ? kRsrcRva + AlignUp(static_cast<uint32_t>(rsrc.size()), kSectionAlign)
                          : kTextRva + kSectionAlign;

  std::string out;
  // DOS header: only the signature and the PE header offset matter.
  out += "MZ";
  out.resize(0x3C, '\0');
  Put32(out, 0x40);
  out += std::string("PE\0\0", 4);
  // COFF file header.
  Put16(out, 0x14C);  // i386
  Put16(out, sections);
  Put32(out, 0);  // time stamp
  Put32(out, 0);
  Put32(out, 0);
  Put16(out, 0xE0);    // optional header size
  Put16(out, 0x0103);  // executable, no relocations, 32-bit
  // Optional header (PE32).
  Put16(out, 0x10B);
  out.push_back(1);
  out.push_back(0);
  Put32(out, kFileAlign);                          // size of code
  Put32(out, withVersionResource ? rsrcSize : 0);  // initialised data
  Put32(out, 0);
  Put32(out, kTextRva);  // entry point
  Put32(out, kTextRva);  // base of code
  Put32(out, kRsrcRva);  // base of data
  Put32(out, kImageBase);
  Put32(out, kSectionAlign);
  Put32(out, kFileAlign);
  Put16(out, 4);  // OS version
  Put16(out, 0);
  Put16(out, 0);  // image version
  Put16(out, 0);
  Put16(out, 4);  // subsystem version
  Put16(out, 0);
  Put32(out, 0);
  Put32(out, imageSize);
  Put32(out, kFileAlign);  // size of headers
  Put32(out, 0);           // checksum
  Put16(out, 2);           // Windows GUI
  Put16(out, 0);
  Put32(out, 0x100000);
  Put32(out, 0x1000);
  Put32(out, 0x100000);
  Put32(out, 0x1000);
  Put32(out, 0);
  Put32(out, 16);
  for (int i = 0; i < 16; ++i) {
    const bool resources = i == 2 && withVersionResource;
    Put32(out, resources ? kRsrcRva : 0);
    Put32(out, resources ? static_cast<uint32_t>(rsrc.size()) : 0);
  }
  auto section = [&](std::string_view name, uint32_t virtualSize, uint32_t rva, uint32_t rawSize,
                     uint32_t rawAt, uint32_t flags) {
    std::string padded(name);
    padded.resize(8, '\0');
    out += padded;
    Put32(out, virtualSize);
    Put32(out, rva);
    Put32(out, rawSize);
    Put32(out, rawAt);
    Put32(out, 0);
    Put32(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, flags);
  };
  section(".text", static_cast<uint32_t>(code.size()), kTextRva, kFileAlign, textRaw, 0x60000020);
  if (withVersionResource) {
    section(".rsrc", static_cast<uint32_t>(rsrc.size()), kRsrcRva, rsrcSize, rsrcRaw, 0x40000040);
  }
  out.resize(textRaw, '\0');
  out += code;
  out.resize(rsrcRaw, '\0');
  if (withVersionResource) {
    out += rsrc;
    out.resize(rsrcRaw + rsrcSize, '\0');
  }
  return out;
}

}  // namespace talvex::host
