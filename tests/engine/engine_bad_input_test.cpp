// Damaged and foreign files, failing writes: each gives a negative result
// with a text, never a crash or a read outside the file, and the context
// stays usable. The mutation walk at the end is the ordinary-test side of the
// fuzz target: open arbitrary bytes, walk every record and memo.
#include <random>

#include "platform/testing/fault_seam.h"
#include "engine_test_util.h"

using namespace enginetest;

namespace {

const C4FieldInfo kFields[] = {{"NAME", 'C', 10, 0}, {"NUM", 'N', 6, 2}, {"NOTE", 'M', 10, 0},
                               {nullptr, 0, 0, 0}};
constexpr size_t kHL = 32 + 3 * 32 + 1, kRL = 1 + 10 + 6 + 10;

class BadInput : public ::testing::Test {
 protected:
  ScratchDir dir;
  Ctx ctx;
  std::string dbf, dbt;
  void SetUp() override {
    dbf = dir.file("t.dbf");
    dbt = dir.file("t.dbt");
    C4Table t = d4create(ctx, dbf.c_str(), kFields, nullptr);
    ASSERT_NE(t, 0u);
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(d4appendBlank(t), 0);
      f4assign(d4field(t, "NAME"), ("rec" + std::to_string(i + 1)).c_str());
      f4assignDouble(d4field(t, "NUM"), i * 1.5);
      f4memoAssign(d4field(t, "NOTE"), std::string(100 * (i + 1), 'a' + i).c_str());
    }
    ASSERT_EQ(d4close(t), 0);
  }
  // Opens the damaged file; expects refusal with the code and a text.
  void expectRefused(int code, const char* why) {
    C4Table t = d4open(ctx, dbf.c_str());
    EXPECT_EQ(t, 0u) << why;
    if (t) d4close(t);
    int got = code4errorCode(ctx, 0);
    EXPECT_EQ(got, code) << why << ": " << error4text(ctx, got);
    EXPECT_GT(std::string(error4text(ctx, got)).size(), 20u) << why;
    expectUsable();
  }
  void expectUsable() {
    ScratchDir other;
    C4Table t = d4create(ctx, other.file("ok.dbf").c_str(), kFields, nullptr);
    ASSERT_NE(t, 0u) << "context not usable after an error";
    EXPECT_EQ(d4appendBlank(t), 0);
    d4close(t);
  }
  void patch(size_t at, std::vector<unsigned char> bytes) {
    std::vector<unsigned char> b = readBytes(dbf);
    if (b.size() < at + bytes.size()) b.resize(at + bytes.size());
    std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
    writeBytes(dbf, b);
  }
};

TEST_F(BadInput, DamagedHeadersAreRefused) {
  std::vector<unsigned char> good = readBytes(dbf);
  writeBytes(dbf, {});
  expectRefused(e4data, "empty file");
  writeBytes(dbf, std::vector<unsigned char>(good.begin(), good.begin() + 20));
  expectRefused(e4data, "cut inside the fixed header");
  writeBytes(dbf, std::vector<unsigned char>(good.begin(), good.begin() + 100));
  expectRefused(e4data, "cut inside the descriptors");
  writeBytes(dbf, good);
  patch(8, {0xFF, 0xFF});
  expectRefused(e4data, "header length past the end");
  writeBytes(dbf, good);
  patch(8, {40, 0});
  expectRefused(e4data, "header length shorter than the descriptors");
  writeBytes(dbf, good);
  patch(kHL - 1, {'X'});
  expectRefused(e4data, "descriptors without terminator");
  writeBytes(dbf, good);
  patch(10, {200, 0});
  expectRefused(e4data, "record length not the sum of the fields");
  writeBytes(dbf, good);
  patch(4, {0xFF, 0xFF, 0xFF, 0x7F});
  expectRefused(e4read, "record count past the end of the file");
  writeBytes(dbf, good);
  patch(32 + 16, {0});
  expectRefused(e4data, "a field of width 0");
  writeBytes(dbf, good);
  patch(32 + 11, {'@'});
  expectRefused(e4data, "a field type of another family");
  writeBytes(dbf, good);
  patch(15, {1});
  expectRefused(e4data, "encrypted");
  for (unsigned char v : {0x04, 0x8C, 0x30, 0x31, 0xF5, 0x02, 0xFB, 0xE5}) {
    writeBytes(dbf, good);
    patch(0, {v});
    expectRefused(e4data, ("version byte " + std::to_string(v)).c_str());
  }
  // Plain dBASE variants are read.
  for (unsigned char v : {0x43, 0x63, 0xCB}) {
    writeBytes(dbf, good);
    patch(0, {v});
    C4Table t = d4open(ctx, dbf.c_str());
    EXPECT_NE(t, 0u) << static_cast<int>(v) << ": " << error4text(ctx, 0);
    if (t) {
      EXPECT_EQ(d4recCount(t), 3);
      d4close(t);
    }
  }
  // No end marker and stray bytes after the last record are fine.
  std::vector<unsigned char> longer = good;
  longer.back() = 'Z';
  longer.push_back('Q');
  writeBytes(dbf, longer);
  C4Table t = d4open(ctx, dbf.c_str());
  ASSERT_NE(t, 0u);
  EXPECT_EQ(d4recCount(t), 3);
  d4close(t);
  std::filesystem::remove(dbt);
  expectRefused(e4memo, "memo file missing");
}

TEST_F(BadInput, BrokenMemoPointersAndLengthsGiveMemoErrors) {
  size_t memoAt = 1 + 10 + 6;
  patch(kHL + memoAt, {'0', '0', '0', '0', '0', '0', '9', '9', '9', '9'});
  patch(kHL + kRL + memoAt, {'1', '2', 'x', ' ', ' ', ' ', ' ', ' ', ' ', ' '});
  // Record 3's memo: an absurd length word in its block.
  std::vector<unsigned char> m = readBytes(dbt);
  std::vector<unsigned char> d = readBytes(dbf);
  int block3 = std::stoi(std::string(d.begin() + static_cast<long>(kHL + 2 * kRL + memoAt),
                                     d.begin() + static_cast<long>(kHL + 2 * kRL + memoAt + 10)));
  m[block3 * 512 + 4] = 0xFF;
  m[block3 * 512 + 7] = 0x7F;
  writeBytes(dbt, m);
  C4Table t = d4open(ctx, dbf.c_str());
  ASSERT_NE(t, 0u);
  C4Field note = d4field(t, "NOTE");
  for (int r = 1; r <= 3; ++r) {
    ASSERT_EQ(d4goLow(t, r, 0), 0);
    EXPECT_STREQ(f4memoStr(note), "") << r;
    EXPECT_EQ(f4memoLen(note), 0u);
    int code = code4errorCode(ctx, 0);
    EXPECT_EQ(code, e4memo) << r;
    EXPECT_NE(std::string(error4text(ctx, code)).find("NOTE"), std::string::npos);
  }
  // The record can still be given a new memo, which goes to a sound place.
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  ASSERT_EQ(f4memoAssign(note, "repaired"), 0);
  ASSERT_EQ(d4flush(t), 0);
  EXPECT_STREQ(f4memoStr(note), "repaired");
  d4close(t);
  expectUsable();
}

TEST_F(BadInput, FailingWritesAreReportedAndLeaveTheTableReadable) {
  C4Table t = d4open(ctx, dbf.c_str());
  ASSERT_NE(t, 0u);
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  EXPECT_EQ(d4appendBlank(t), e4write);
  c4faultClear();
  EXPECT_EQ(code4errorCode(ctx, 0), e4write);
  EXPECT_EQ(d4recCount(t), 3);
  ASSERT_EQ(d4goLow(t, 2, 0), 0);
  f4assign(d4field(t, "NAME"), "changed");
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  EXPECT_LT(d4flush(t), 0);
  c4faultClear();
  EXPECT_EQ(d4flush(t), 0);  // the change is still pending and now lands
  ASSERT_EQ(d4appendBlank(t), 0);
  d4close(t);
  t = d4open(ctx, dbf.c_str());
  ASSERT_EQ(d4goLow(t, 2, 0), 0);
  EXPECT_EQ(str(d4field(t, "NAME")), "changed");
  EXPECT_EQ(d4recCount(t), 4);
  code4errorCode(ctx, 0);
}

// Random damage to header, records and memo file: opening and walking every
// record and memo must end in results, not crashes (run under ASan too).
TEST_F(BadInput, RandomlyDamagedFilesNeverCrash) {
  std::vector<unsigned char> goodDbf = readBytes(dbf), goodDbt = readBytes(dbt);
  std::mt19937 rng(12345);
  int opened = 0;
  for (int round = 0; round < 400; ++round) {
    std::vector<unsigned char> a = goodDbf, b = goodDbt;
    int hits = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < hits; ++i) {
      if (rng() % 3) {
        size_t at = rng() % (rng() % 2 ? kHL + 8 : a.size());
        a[at] = static_cast<unsigned char>(rng());
      } else {
        size_t at = rng() % b.size();
        b[at] = static_cast<unsigned char>(rng());
      }
    }
    if (rng() % 8 == 0) a.resize(rng() % a.size());
    if (rng() % 8 == 0) b.resize(rng() % b.size());
    writeBytes(dbf, a);
    writeBytes(dbt, b);
    C4Table t = d4open(ctx, dbf.c_str());
    if (t) {
      ++opened;
      int n = d4numFields(t);
      for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
        for (int j = 1; j <= n; ++j) {
          C4Field f = d4fieldJ(t, j);
          double v;
          f4str(f);
          f4double2(f, &v);
          f4int(f);
          f4memoStr(f);
          f4memoLen(f);
        }
      }
      d4close(t);
    }
    code4errorCode(ctx, 0);
  }
  EXPECT_GT(opened, 50);
  expectUsable();
}

}  // namespace
