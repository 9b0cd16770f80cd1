// Damaged files: each fault gives a Corrupt status naming it, never a crash,
// a hang or a change written on top of the damage.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <random>

#include "platform/testing/fault_seam.h"
#include "mdx_file.h"
#include "mdx_tag.h"
#include "mdx_test_util.h"

using namespace talvex::engine::mdx;

namespace {

std::string readAll(const std::string& p) {
  std::ifstream f(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}
void writeAll(const std::string& p, const std::string& bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
}
uint32_t get32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
         uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}
void put32(std::string& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = char(v >> (8 * i));
}

class MdxCorrupt : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("BAD.MDX");
    Status st;
    auto f = MdxFile::create(path_, CreateOptions{"BAD"},
                             {{"WIDE", "NOTE", "", KeyType::Character, 100, false, false}}, &st);
    ASSERT_TRUE(f) << st.message();
    for (uint32_t r = 1; r <= 200; ++r)
      ASSERT_TRUE(f->tag(0).insert(encodeCharKey("k" + std::to_string(r * 37 % 200), 100), r).isOk());
    // Keys that sort after all others, removed again: free blocks for the
    // free-list cases.
    for (uint32_t r = 201; r <= 260; ++r)
      ASSERT_TRUE(f->tag(0).insert(encodeCharKey("z" + std::to_string(r), 100), r).isOk());
    for (uint32_t r = 201; r <= 260; ++r)
      ASSERT_TRUE(f->tag(0).remove(encodeCharKey("z" + std::to_string(r), 100), r).isOk());
    ASSERT_GT(f->freeBlockCount(), 0u);
    f.reset();
    good_ = readAll(path_);
    tagHeader_ = get32(good_, 544) * 512;
    root_ = get32(good_, tagHeader_) * 512;
    ASSERT_GT(get32(good_, root_), 1u) << "the root should be a branch with keys";
    ASSERT_NE(get32(good_, root_ + 8 + get32(good_, root_) * 104), 0u);
  }

  std::unique_ptr<MdxFile> openBytes(const std::string& bytes, Status* st) {
    writeAll(path_, bytes);
    return MdxFile::open(path_, OpenOptions{}, st);
  }

  // Opens, then walks, checks and changes: the first failure must be Corrupt.
  void expectCorruptOnUse(const std::string& bytes, const char* what) {
    SCOPED_TRACE(what);
    Status st;
    auto f = openBytes(bytes, &st);
    if (!f) {
      EXPECT_EQ(st.code(), StatusCode::Corrupt) << st.message();
      EXPECT_FALSE(st.message().empty());
      return;
    }
    Status check = f->checkStructure();
    EXPECT_EQ(check.code(), StatusCode::Corrupt) << check.message();
    Cursor c(f->tag(0));
    Status walk = c.first();
    for (int steps = 0; walk && c.valid() && steps < 100000; ++steps) walk = c.next();
    EXPECT_FALSE(walk.isOk() && c.valid()) << "walk did not end";
    // A change on a damaged tree either fails cleanly or leaves a file that
    // still opens; in both cases nothing crashes.
    (void)f->tag(0).insert(encodeCharKey("k0", 100), 999);
    (void)f->tag(0).remove(encodeCharKey("k150", 100), 150);
  }

  mdxtest::TempDir dir_;
  std::string path_, good_;
  size_t tagHeader_ = 0, root_ = 0;
};

TEST_F(MdxCorrupt, PageNumbersPastTheEnd) {
  std::string b = good_;
  put32(b, tagHeader_, 99999);  // root
  Status st;
  EXPECT_FALSE(openBytes(b, &st));
  EXPECT_EQ(st.code(), StatusCode::Corrupt);
  EXPECT_NE(st.message().find("root page 99999"), std::string::npos) << st.message();

  b = good_;
  put32(b, root_ + 8, 99999);  // first child
  expectCorruptOnUse(b, "child past the end");
  b = good_;
  put32(b, 544, 70000);  // tag header page in the slot
  EXPECT_FALSE(openBytes(b, &st));
  EXPECT_EQ(st.code(), StatusCode::Corrupt);
}

TEST_F(MdxCorrupt, LoopsAndSharedPages) {
  std::string b = good_;
  put32(b, root_ + 8, uint32_t(root_ / 512));  // child 0 is the root itself
  expectCorruptOnUse(b, "root loop");

  b = good_;
  uint32_t child0 = get32(good_, root_ + 8);
  put32(b, root_ + 8 + 104, child0);  // children 0 and 1 are the same leaf
  expectCorruptOnUse(b, "shared leaf");

  b = good_;
  // A leaf whose trailing slot points back to the root: now a "branch" loop.
  size_t leaf = size_t(child0) * 512;
  put32(b, leaf + 8 + get32(b, leaf) * 104, uint32_t(root_ / 512));
  expectCorruptOnUse(b, "leaf turned into a branch to the root");
}

TEST_F(MdxCorrupt, CountsAndLengthsBeyondThePage) {
  std::string b = good_;
  put32(b, root_, 5000);
  expectCorruptOnUse(b, "count past the page");
  b = good_;
  put32(b, size_t(get32(good_, root_ + 8)) * 512, 10);  // leaf count above the nine that fit
  expectCorruptOnUse(b, "leaf count");

  const std::pair<size_t, uint16_t> header[] = {
      {12, 900}, {12, 0}, {18, 2000}, {18, 8}, {14, 200}, {14, 1}};
  for (auto [offset, value] : header) {
    b = good_;
    b[tagHeader_ + offset] = char(value & 0xFF);
    b[tagHeader_ + offset + 1] = char(value >> 8);
    Status st;
    EXPECT_FALSE(openBytes(b, &st)) << "tag header byte " << offset << " = " << value;
    EXPECT_EQ(st.code(), StatusCode::Corrupt) << st.message();
  }
  b = good_;
  std::memset(&b[tagHeader_ + 24], 'X', 220);  // expression without its NUL
  Status st;
  EXPECT_FALSE(openBytes(b, &st));
  EXPECT_EQ(st.code(), StatusCode::Corrupt);
}

TEST_F(MdxCorrupt, TruncatedAndForeignFiles) {
  Status st;
  EXPECT_FALSE(openBytes(good_.substr(0, good_.size() / 2), &st));
  EXPECT_EQ(st.code(), StatusCode::Corrupt);
  EXPECT_NE(st.message().find("pages"), std::string::npos) << st.message();
  EXPECT_FALSE(openBytes("not an index", &st));
  EXPECT_EQ(st.code(), StatusCode::Corrupt);
  std::string b = good_;
  b[0] = 3;  // a later index format
  EXPECT_FALSE(openBytes(b, &st));
  EXPECT_EQ(st.code(), StatusCode::Corrupt);
  b = good_;
  b[28] = 60;  // tags in use
  EXPECT_FALSE(openBytes(b, &st));
  EXPECT_EQ(st.code(), StatusCode::Corrupt);
}

TEST_F(MdxCorrupt, FreeListFaults) {
  std::string b = good_;
  uint32_t head = get32(good_, 36);
  ASSERT_NE(head, 0u);
  put32(b, size_t(head) * 512 + 4, head);  // links to itself
  {
    Status st;
    auto f = openBytes(b, &st);
    ASSERT_TRUE(f) << st.message();
    EXPECT_EQ(f->checkStructure().code(), StatusCode::Corrupt);
  }
  b = good_;
  put32(b, 36, get32(good_, root_ + 8));  // the free list starts at a live leaf
  {
    Status st;
    auto f = openBytes(b, &st);
    ASSERT_TRUE(f) << st.message();
    Status check = f->checkStructure();
    EXPECT_EQ(check.code(), StatusCode::Corrupt);
    EXPECT_NE(check.message().find("used twice"), std::string::npos) << check.message();
  }
  b = good_;
  put32(b, 40, get32(good_, 40) + 5);  // count larger than the list
  {
    Status st;
    auto f = openBytes(b, &st);
    ASSERT_TRUE(f) << st.message();
    EXPECT_EQ(f->checkStructure().code(), StatusCode::Corrupt);
  }
}

TEST_F(MdxCorrupt, FailedChangeLeavesTheFileAsItWas) {
  std::string b = good_;
  put32(b, root_ + 8 + 104 * 3, 99999);  // a child in the middle
  Status st;
  auto f = openBytes(b, &st);
  ASSERT_TRUE(f) << st.message();
  // Some key sorts into that child: its insert must fail and write nothing,
  // not even the inserts' header dates or counters.
  bool sawCorrupt = false;
  for (uint32_t i = 0; i < 200 && !sawCorrupt; ++i) {
    const std::string before = readAll(path_);
    Status ins = f->tag(0).insert(encodeCharKey("k" + std::to_string(i), 100), 500 + i);
    if (!ins) {
      EXPECT_EQ(ins.code(), StatusCode::Corrupt) << ins.message();
      EXPECT_TRUE(readAll(path_) == before) << "a failed insert changed the file";
      sawCorrupt = true;
    }
  }
  EXPECT_TRUE(sawCorrupt);
}

TEST_F(MdxCorrupt, FailedWriteIsReportedAndTheHandleStaysUsable) {
  Status st;
  auto f = MdxFile::open(path_, OpenOptions{}, &st);
  ASSERT_TRUE(f) << st.message();
  const std::string before = readAll(path_);
  c4faultClear();
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  Status ins = f->tag(0).insert(encodeCharKey("new", 100), 777);
  c4faultClear();
  EXPECT_EQ(ins.code(), StatusCode::Io) << ins.message();
  EXPECT_TRUE(readAll(path_) == before);
  // The handle dropped the change and reads the file as it is.
  Cursor c(f->tag(0));
  SeekResult r;
  ASSERT_TRUE(c.seek(encodeCharKey("new", 100), &r).isOk());
  EXPECT_NE(r, SeekResult::Found);
  ASSERT_TRUE(f->tag(0).insert(encodeCharKey("new", 100), 777).isOk());
  ASSERT_TRUE(c.seek(encodeCharKey("new", 100), &r).isOk());
  EXPECT_EQ(r, SeekResult::Found);
  EXPECT_TRUE(f->checkStructure().isOk());
}

TEST_F(MdxCorrupt, RandomDamageNeverCrashesOrHangs) {
  std::mt19937 rng(2024);
  const auto started = std::chrono::steady_clock::now();
  for (int round = 0; round < 400; ++round) {
    std::string b = good_;
    int flips = 1 + int(rng() % 6);
    for (int i = 0; i < flips; ++i) {
      size_t at = rng() % std::min<size_t>(b.size(), 40 * 512);
      if (rng() % 4 == 0) at = 28 + rng() % 20;  // header counts and links
      b[at] = char(rng());
    }
    Status st;
    auto f = openBytes(b, &st);
    if (!f) {
      EXPECT_NE(st.code(), StatusCode::Ok);
      continue;
    }
    (void)f->checkStructure();  // only that nothing below crashes
    Cursor c(f->tag(0));
    Status walk = c.first();
    for (int steps = 0; walk && c.valid() && steps < 5000; ++steps) walk = c.next();
    SeekResult r;
    (void)c.seek("k1", &r);
    (void)f->tag(0).insert(encodeCharKey("k77", 100), 77);
    (void)f->tag(0).remove(encodeCharKey("k77", 100), 77);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::minutes(2));
}

}  // namespace
