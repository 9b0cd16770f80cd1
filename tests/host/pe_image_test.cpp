// The program image an installation gets as its host program: the platform's
// version reader must find the release in it, and only there.
#include <gtest/gtest.h>

#include "platform/version_resource.h"
#include "pe_image.h"

namespace talvex::host {
namespace {

platform::FileVersion Read(const std::string& image, bool* ok, std::string* why) {
  platform::FileVersion v;
  *ok = platform::parseFileVersion(reinterpret_cast<const unsigned char*>(image.data()),
                                   image.size(), &v, why);
  return v;
}

TEST(ProgramImage, ItsVersionResourceNamesTheRelease) {
  for (ReleaseNumber r : {ReleaseNumber{1, 65, 0, 100}, ReleaseNumber{2, 45, 0, 300},
                          ReleaseNumber{65535, 1, 2, 65535}}) {
    bool ok = false;
    std::string why;
    platform::FileVersion v = Read(BuildProgramImage(r), &ok, &why);
    ASSERT_TRUE(ok) << why;
    EXPECT_EQ(v.major, r.major);
    EXPECT_EQ(v.minor, r.minor);
    EXPECT_EQ(v.build, r.release);
    EXPECT_EQ(v.revision, r.build);
  }
}

TEST(ProgramImage, WithoutResourceOrCutShortItHasNoVersion) {
  bool ok = true;
  std::string why;
  Read(BuildProgramImage({2, 49, 0, 100}, false), &ok, &why);
  EXPECT_FALSE(ok);
  const std::string full = BuildProgramImage({2, 49, 0, 100});
  // Cut inside the headers, the code and the resource directory.
  for (size_t cut : {size_t{64}, size_t{0x200}, size_t{0x400 + 60}}) {
    Read(full.substr(0, cut), &ok, &why);
    EXPECT_FALSE(ok) << cut;
  }
}

TEST(ProgramImage, IsAWellFormedPe32) {
  const std::string image = BuildProgramImage({2, 49, 0, 100});
  ASSERT_GE(image.size(), 0x400u);
  EXPECT_EQ(image.substr(0, 2), "MZ");
  EXPECT_EQ(image.size() % 0x200, 0u);  // whole file-aligned sections
  const uint32_t pe = static_cast<unsigned char>(image[0x3C]);
  EXPECT_EQ(image.substr(pe, 4), std::string("PE\0\0", 4));
  EXPECT_EQ(static_cast<unsigned char>(image[pe + 24]), 0x0Bu);  // PE32 magic 0x10B
  EXPECT_EQ(static_cast<unsigned char>(image[pe + 25]), 0x01u);
}

}  // namespace
}  // namespace talvex::host
