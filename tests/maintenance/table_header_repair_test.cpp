// The header repair on raw files: the shapes a crashed writer leaves, and the
// garbage it must survive without making things worse.
#include "maintenance/table_header_repair.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace talvex::tabmend {
namespace {

class HeaderRepairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/header-repair-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    path_ = dir_ + "/t.dbf";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // A header of headerLen bytes claiming `count` records of recLen bytes,
  // then `records` live records, then `tail` (the end marker or not).
  static std::string Table(uint32_t count, uint16_t headerLen, uint16_t recLen, int records,
                           const std::string& tail) {
    std::string bytes(headerLen, '\0');
    bytes[0] = 3;
    for (int i = 0; i < 4; ++i) bytes[4 + i] = static_cast<char>(count >> (8 * i));
    bytes[8] = static_cast<char>(headerLen & 0xFF);
    bytes[9] = static_cast<char>(headerLen >> 8);
    bytes[10] = static_cast<char>(recLen & 0xFF);
    bytes[11] = static_cast<char>(recLen >> 8);
    for (int r = 0; r < records; ++r) bytes += ' ' + std::string(recLen - 1, static_cast<char>('A' + r % 26));
    return bytes + tail;
  }
  void Write(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << bytes;
  }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static uint32_t Count(const std::string& bytes) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(bytes[4 + i]);
    return v;
  }

  std::string dir_, path_;
};

TEST_F(HeaderRepairTest, ConsistentAndUnreadableFilesStayAsTheyAre) {
  const std::string consistent = Table(100, 98, 50, 100, "\x1A");
  ASSERT_EQ(consistent.size(), 5099u);
  Write(consistent);
  EXPECT_TRUE(RepairTableHeader(path_, true, true));
  EXPECT_EQ(Read(), consistent);

  for (const std::string& tiny : {std::string(), std::string("\x03\x01"), std::string(12, 'x')}) {
    Write(tiny);
    EXPECT_TRUE(RepairTableHeader(path_, true, true));
    EXPECT_EQ(Read(), tiny);
  }
  EXPECT_FALSE(RepairTableHeader(dir_ + "/missing.dbf", true, true));
}

TEST_F(HeaderRepairTest, CountFollowsWholeRecords) {
  // One record more than the header says.
  Write(Table(100, 98, 50, 101, "\x1A"));
  ASSERT_EQ(Read().size(), 5149u);
  EXPECT_TRUE(RepairTableHeader(path_, true, true));
  EXPECT_EQ(Count(Read()), 101u);
  EXPECT_EQ(Read().size(), 5149u);

  // Header says 102, 101 records without the end marker: marker added first.
  Write(Table(102, 98, 50, 101, ""));
  ASSERT_EQ(Read().size(), 5148u);
  EXPECT_TRUE(RepairTableHeader(path_, true, true));
  const std::string after = Read();
  ASSERT_EQ(after.size(), 5149u);
  EXPECT_EQ(after.back(), '\x1A');
  EXPECT_EQ(Count(after), 101u);

  // Without fixCount the count is left alone.
  const std::string more = Table(100, 98, 50, 101, "\x1A");
  Write(more);
  EXPECT_TRUE(RepairTableHeader(path_, false, true));
  EXPECT_EQ(Read(), more);
}

TEST_F(HeaderRepairTest, SmallPartialSurplusIsCutLargeOneKept) {
  // 21 surplus bytes (a record write that did not finish) over the marker.
  std::string torn = Table(100, 98, 50, 100, "") + " PARTIAL-RECORD-BYTES";
  ASSERT_EQ(torn.size(), 5119u);
  torn += "Z";
  ASSERT_EQ(torn.size(), 5120u);
  Write(torn);
  EXPECT_TRUE(RepairTableHeader(path_, true, true));
  std::string after = Read();
  ASSERT_EQ(after.size(), 5099u);
  EXPECT_EQ(after[5098], '\x1A');
  EXPECT_EQ(after.substr(0, 5098), torn.substr(0, 5098));

  // Surplus behind an intact marker is cut without touching the marker.
  Write(Table(100, 98, 50, 100, "\x1A") + "junk");
  EXPECT_TRUE(RepairTableHeader(path_, true, true));
  EXPECT_EQ(Read(), Table(100, 98, 50, 100, "\x1A"));

  // 311 surplus bytes (about 6 %): left alone.
  const std::string big = Table(100, 98, 50, 100, "") + std::string(311, 'q');
  ASSERT_EQ(big.size(), 5409u);
  Write(big + "q");
  EXPECT_TRUE(RepairTableHeader(path_, true, true));
  EXPECT_EQ(Read().size(), 5410u);
}

// A record appended whose count update and end marker were lost: the
// surplus is small, but it is a complete record and must not be cut away.
TEST_F(HeaderRepairTest, NeverCutsACompleteRecord) {
  const std::string appended = Table(100, 98, 50, 101, "");
  ASSERT_EQ(appended.size(), 5148u);
  Write(appended);
  EXPECT_TRUE(RepairTableHeader(path_, true, true));
  const std::string after = Read();
  ASSERT_GE(after.size(), 5148u);
  EXPECT_EQ(after.substr(0, 5148).substr(12), appended.substr(12));
}

TEST_F(HeaderRepairTest, GarbageHeadersNeverCrashOrGrowTheFile) {
  // Record length 0: a file error, nothing written.
  const std::string zero = Table(5, 98, 0, 0, std::string(40, 'x'));
  Write(zero);
  EXPECT_FALSE(RepairTableHeader(path_, true, true));
  EXPECT_EQ(Read(), zero);

  // Billions of records: measured from the header length, the count then
  // follows the three whole records the file really holds.
  Write(Table(0xFFFFFFFFu, 98, 50, 3, "\x1A"));
  EXPECT_TRUE(RepairTableHeader(path_, true, true));
  EXPECT_EQ(Count(Read()), 3u);
  EXPECT_EQ(Read().size(), 98u + 150 + 1);

  // A header longer than the file: nothing sensible to count, nothing cut.
  std::string shortFile = Table(0, 4000, 50, 0, "");
  shortFile.resize(300);
  Write(shortFile);
  EXPECT_TRUE(RepairTableHeader(path_, true, true));
  EXPECT_EQ(Read(), shortFile);
}

}  // namespace
}  // namespace talvex::tabmend
