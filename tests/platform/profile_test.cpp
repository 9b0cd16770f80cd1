// The same expectations hold for the system calls on Windows and for our own
// reader elsewhere.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include "../common/temp_dir.h"

namespace {

using namespace talvex::platform;

class Profile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.write("TALVEX32.INI",
              "; host settings\r\n"
              "[Database]\r\n"
              "  Path  =  C:\\APP\\DATA\\  \r\n"
              "Quoted=\"  padded  \"\r\n"
              "Single='x'\r\n"
              "Half=\"open\r\n"
              "Inline=a ; not a comment\r\n"
              "   ; indented comment\r\n"
              "Dup=first\r\n"
              "dup=second\r\n"
              "NoEquals\r\n"
              "Empty=\r\n"
              "Num1=42\r\n"
              "Num2=  -17 apples\r\n"
              "Num3=apples\r\n"
              "Num4=+8\r\n"
              "\r\n"
              "[ Tables ]\r\n"
              "BCCLAIM=1\r\n"
              "bslines=2\r\n"
              "BCCLAIM=3\r\n"
              "submit = 4\r\n"
              "[database]\r\n"
              "Late=never seen\r\n"
              "Path=not this one\r\n");
    ini = dir.host("talvex32.ini");
  }
  talvex::testing::TempDir dir;
  std::string ini;
};

TEST_F(Profile, ValuesByCaseInsensitiveNamesWithBlanksTrimmed) {
  EXPECT_EQ(profileString(ini, "DATABASE", "path", ""), "C:\\APP\\DATA\\");
  EXPECT_EQ(profileString(ini, "tables", "SUBMIT", ""), "4");
  EXPECT_EQ(profileString(ini, "Database", "Inline", ""), "a ; not a comment");
  EXPECT_EQ(profileString(ini, "Database", "Empty", "dflt"), "");
}

TEST_F(Profile, QuotesAroundTheWholeValueAreDropped) {
  EXPECT_EQ(profileString(ini, "Database", "Quoted", ""), "  padded  ");
  EXPECT_EQ(profileString(ini, "Database", "Single", ""), "x");
  EXPECT_EQ(profileString(ini, "Database", "Half", ""), "\"open");
}

TEST_F(Profile, FirstOfDuplicatesWinsAndLaterSectionsOfTheSameNameDoNot) {
  EXPECT_EQ(profileString(ini, "Database", "DUP", ""), "first");
  EXPECT_EQ(profileString(ini, "Tables", "bcclaim", ""), "1");
  EXPECT_EQ(profileString(ini, "Database", "Path", ""), "C:\\APP\\DATA\\");
  EXPECT_EQ(profileString(ini, "Database", "Late", "dflt"), "dflt");
}

TEST_F(Profile, MissingThingsGiveTheDefaultWithoutTrailingBlanks) {
  EXPECT_EQ(profileString(ini, "Database", "Nothing", "NO  "), "NO");
  EXPECT_EQ(profileString(ini, "Nowhere", "Path", "  x "), "  x");
  EXPECT_EQ(profileString(dir.host("missing.ini"), "Database", "Path", "dflt"), "dflt");
  EXPECT_EQ(profileString(ini, "Database", "NoEquals", "dflt"), "dflt");
  EXPECT_EQ(profileString(ini, "Database", "; host settings", "dflt"), "dflt");
}

TEST_F(Profile, LongValuesAreCutAtTheBuffer) {
  std::string longValue(40000, 'v');
  dir.write("long.ini", "[S]\r\nK=" + longValue + "\r\n");
  std::string got = profileString(dir.host("long.ini"), "S", "K", "");
  EXPECT_EQ(got.size(), kProfileBufferSize - 1);
  EXPECT_EQ(got, longValue.substr(0, kProfileBufferSize - 1));
}

TEST_F(Profile, IntegerValues) {
  EXPECT_EQ(profileInt(ini, "Database", "Num1", -1), 42);
  EXPECT_EQ(profileInt(ini, "Database", "Num2", -1), -17);
  EXPECT_EQ(profileInt(ini, "Database", "Num3", -1), 0);
  EXPECT_EQ(profileInt(ini, "Database", "Num4", -1), 8);
  EXPECT_EQ(profileInt(ini, "Database", "Empty", -1), -1);
  EXPECT_EQ(profileInt(ini, "Database", "Missing", 7), 7);
  EXPECT_EQ(profileInt(dir.host("missing.ini"), "Database", "Num1", 5), 5);
}

TEST_F(Profile, KeyNamesOfASectionInFileOrder) {
  EXPECT_EQ(profileKeys(ini, "TABLES"),
            (std::vector<std::string>{"BCCLAIM", "bslines", "submit"}));
  auto keys = profileKeys(ini, "database");
  ASSERT_GE(keys.size(), 3u);
  EXPECT_EQ(keys[0], "Path");
  EXPECT_EQ(std::count(keys.begin(), keys.end(), "NoEquals"), 0);  // no "=", no key
  EXPECT_EQ(std::count(keys.begin(), keys.end(), "dup"), 0);
  EXPECT_TRUE(profileKeys(ini, "Nowhere").empty());
  EXPECT_TRUE(profileKeys(dir.host("missing.ini"), "Tables").empty());
}

}  // namespace
