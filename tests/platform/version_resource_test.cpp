#include "platform/version_resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "../common/temp_dir.h"

namespace {

using talvex::platform::FileVersion;
using talvex::platform::parseFileVersion;
using talvex::platform::readFileVersion;

std::string fixture(const char* name) {
  const char* root = std::getenv("TALVEX_SOURCE_DIR");
  std::string path = std::string(root ? root : ".") + "/tests/fixtures/platform/" + name;
#ifdef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;  // the Unix root under wine
#endif
  return path;
}

std::vector<unsigned char> image() {
  FILE* f = std::fopen(fixture("versioned.exe").c_str(), "rb");
  if (!f) return {};
  std::vector<unsigned char> data;
  int c;
  while ((c = std::fgetc(f)) != EOF) data.push_back(static_cast<unsigned char>(c));
  std::fclose(f);
  return data;
}

bool isFixtureVersion(const FileVersion& v) {
  return v.major == 4 && v.minor == 12 && v.build == 305 && v.revision == 7;
}

uint32_t u32(const std::vector<unsigned char>& d, size_t at) {
  return d[at] | d[at + 1] << 8 | d[at + 2] << 16 | static_cast<uint32_t>(d[at + 3]) << 24;
}
void put32(std::vector<unsigned char>& d, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = static_cast<unsigned char>(v >> (8 * i));
}

// Parses a copy of exactly the given bytes, so a read past the end is a
// read past a heap block (caught under the sanitizers).
bool parseCopy(const std::vector<unsigned char>& d, size_t len, FileVersion* v) {
  std::unique_ptr<unsigned char[]> copy(new unsigned char[len ? len : 1]);
  if (len) std::memcpy(copy.get(), d.data(), len);
  return parseFileVersion(copy.get(), len, v);
}

TEST(VersionResource, ReadsTheFileVersionOfARealImage) {
  FileVersion v;
  std::string error;
  ASSERT_TRUE(readFileVersion(fixture("versioned.exe"), &v, &error)) << error;
  EXPECT_TRUE(isFixtureVersion(v)) << v.major << "." << v.minor << "." << v.build << "."
                                   << v.revision;
  auto data = image();
  ASSERT_FALSE(data.empty());
  FileVersion p;
  ASSERT_TRUE(parseFileVersion(data.data(), data.size(), &p));
  EXPECT_TRUE(isFixtureVersion(p));
}

TEST(VersionResource, RefusesFilesThatAreNotImagesWithAVersion) {
  talvex::testing::TempDir dir;
  FileVersion v;
  std::string error;
  EXPECT_FALSE(readFileVersion(dir.host("TALVEX32.EXE"), &v, &error));
  dir.write("text.exe", "MZ but nothing else");
  EXPECT_FALSE(readFileVersion(dir.host("text.exe"), &v, &error));
  EXPECT_FALSE(error.empty());
  dir.write("empty.exe", "");
  EXPECT_FALSE(readFileVersion(dir.host("empty.exe"), &v));
  EXPECT_FALSE(parseFileVersion(nullptr, 10, &v));
}

TEST(VersionResource, EveryTruncationFailsCleanlyOrStillReadsTheTruth) {
  auto data = image();
  ASSERT_FALSE(data.empty());
  size_t fixedAt = 0;
  for (size_t i = 0; i + 4 <= data.size(); ++i)
    if (u32(data, i) == 0xFEEF04BDu) fixedAt = i;
  ASSERT_GT(fixedAt, 0u);
  for (size_t len = 0; len < data.size(); ++len) {
    FileVersion v;
    bool ok = parseCopy(data, len, &v);
    if (len < fixedAt + 16) {
      EXPECT_FALSE(ok) << "length " << len;
    }
    if (ok) {
      EXPECT_TRUE(isFixtureVersion(v)) << "length " << len;
    }
  }
  // The system reader must refuse a truncated file as well.
  talvex::testing::TempDir dir;
  dir.write("cut.exe", std::string(data.begin(), data.begin() + static_cast<long>(fixedAt)));
  FileVersion v;
  EXPECT_FALSE(readFileVersion(dir.host("cut.exe"), &v));
}

TEST(VersionResource, CorruptHeadersAreRefused) {
  auto data = image();
  ASSERT_FALSE(data.empty());
  const size_t pe = u32(data, 0x3C);
  FileVersion v;
  auto bad = [&](auto change) {
    auto d = data;
    change(d);
    return !parseCopy(d, d.size(), &v);
  };
  EXPECT_TRUE(bad([](auto& d) { d[0] = 'X'; }));
  EXPECT_TRUE(bad([](auto& d) { put32(d, 0x3C, 0xFFFFFFF0u); }));
  EXPECT_TRUE(bad([&](auto& d) { d[pe] = 'Q'; }));
  EXPECT_TRUE(bad([&](auto& d) { d[pe + 6] = 0xFF, d[pe + 7] = 0xFF; }));  // 65535 sections
  EXPECT_TRUE(bad([&](auto& d) { d[pe + 24] = 0x07; }));  // unknown optional header magic
  EXPECT_TRUE(bad([&](auto& d) { put32(d, pe + 24 + 96 + 16, 0x7FFFFFF0u); }));  // resource RVA
  EXPECT_TRUE(bad([&](auto& d) { put32(d, pe + 24 + 96 + 20, 0); }));  // no resource size
  for (size_t i = 0; i + 4 <= data.size(); ++i)
    if (u32(data, i) == 0xFEEF04BDu) {
      EXPECT_TRUE(bad([&](auto& d) { d[i] ^= 1; }));
    }
}

TEST(VersionResource, NoSingleByteCorruptionCrashesOrLies) {
  auto data = image();
  ASSERT_FALSE(data.empty());
  size_t fixedAt = 0;
  for (size_t i = 0; i + 4 <= data.size(); ++i)
    if (u32(data, i) == 0xFEEF04BDu) fixedAt = i;
  for (size_t i = 0; i < data.size(); ++i) {
    bool versionByte = i >= fixedAt + 8 && i < fixedAt + 16;
    for (unsigned char value : {0x00, 0x7F, 0xFF}) {
      auto d = data;
      d[i] = value;
      FileVersion v;
      // Whatever still parses must be the version the image carries.
      if (parseCopy(d, d.size(), &v) && !versionByte) {
        EXPECT_TRUE(isFixtureVersion(v)) << "byte " << i << " = " << int(value);
      }
    }
  }
}

}  // namespace
