// Several handles and processes on one .mdx: changes are seen, the index
// lock keeps readers out of half-done changes, cursors find their place.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "mdx_file.h"
#include "mdx_tag.h"
#include "mdx_test_util.h"

using namespace talvex::engine::mdx;

namespace {

std::string key(uint32_t i) { return encodeCharKey("C" + std::to_string(100000 + i), 10); }

std::vector<uint32_t> recnos(Tag& tag, Status* st) {
  std::vector<uint32_t> v;
  Cursor c(tag);
  *st = c.first();
  while (*st && c.valid()) {
    v.push_back(c.recno());
    *st = c.next();
  }
  return v;
}

class MdxSharing : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("SHARED.MDX");
    Status st;
    auto f = MdxFile::create(path_, CreateOptions{"SHARED"},
                             {{"CLAIM", "CLAIM", "", KeyType::Character, 10, false, false}}, &st);
    ASSERT_TRUE(f) << st.message();
  }
  std::unique_ptr<MdxFile> open(int waitMs = 2000) {
    Status st;
    auto f = MdxFile::open(path_, OpenOptions{false, waitMs}, &st);
    EXPECT_TRUE(f) << st.message();
    return f;
  }
  mdxtest::TempDir dir_;
  std::string path_;
};

TEST_F(MdxSharing, HandlesSeeEachOthersChangesAndCursorsKeepTheirPlace) {
  auto a = open(), b = open();
  for (uint32_t i = 1; i <= 500; ++i) ASSERT_TRUE(a->tag(0).insert(key(i), i).isOk());
  Status st;
  auto seen = recnos(b->tag(0), &st);
  ASSERT_TRUE(st.isOk()) << st.message();
  ASSERT_EQ(seen.size(), 500u);

  // b's cursor sits on record 250; a removes it and the next two, adds one before.
  Cursor c(b->tag(0));
  SeekResult r;
  ASSERT_TRUE(c.seek(key(250), &r).isOk());
  ASSERT_EQ(r, SeekResult::Found);
  for (uint32_t i = 250; i <= 252; ++i) ASSERT_TRUE(a->tag(0).remove(key(i), i).isOk());
  ASSERT_TRUE(a->tag(0).insert(key(249), 900).isOk());
  ASSERT_TRUE(c.next().isOk());
  EXPECT_EQ(c.recno(), 253u);
  ASSERT_TRUE(c.prev().isOk());
  EXPECT_EQ(c.recno(), 900u);  // (key 249, record 900) sorts after (key 249, record 249)
  ASSERT_TRUE(c.prev().isOk());
  EXPECT_EQ(c.recno(), 249u);

  // Trusted handles check once when trust begins, then work from their cache.
  ASSERT_TRUE(a->tag(0).insert(key(1000), 1000).isOk());
  b->setTrusted(true);
  ASSERT_TRUE(c.last().isOk());
  EXPECT_EQ(c.recno(), 1000u);
  b->setTrusted(false);
  EXPECT_TRUE(b->checkStructure().isOk());
}

TEST_F(MdxSharing, IndexLockHoldsOthersOffWhileAWriterWorks) {
  auto a = open(), b = open(50);
  ASSERT_TRUE(a->tag(0).insert(key(1), 1).isOk());
  ASSERT_TRUE(a->beginUpdate().isOk());
  ASSERT_TRUE(a->tag(0).insert(key(2), 2).isOk());
  EXPECT_EQ(b->tag(0).insert(key(3), 3).code(), StatusCode::Locked);
  Cursor c(b->tag(0));
  EXPECT_EQ(c.first().code(), StatusCode::Locked);
  ASSERT_TRUE(a->endUpdate().isOk());
  ASSERT_TRUE(b->tag(0).insert(key(3), 3).isOk());
  Status st;
  EXPECT_EQ(recnos(b->tag(0), &st), (std::vector<uint32_t>{1, 2, 3}));
  // A read-only handle refuses changes instead of failing half way.
  Status ro;
  auto r = MdxFile::open(path_, OpenOptions{true}, &ro);
  ASSERT_TRUE(r) << ro.message();
  EXPECT_EQ(r->tag(0).insert(key(4), 4).code(), StatusCode::Invalid);
}

TEST_F(MdxSharing, ReaderProcessNeverSeesAHalfDoneSplit) {
  const uint32_t n = 3000;
  // The writer stops halfway until the reader has walked the half-built tree
  // once, so at least one walk meets the tree mid-change however the two
  // processes are scheduled.
  int halfway[2], resume[2];
  ASSERT_EQ(pipe(halfway), 0);
  ASSERT_EQ(pipe(resume), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    Status st;
    auto w = MdxFile::open(path_, OpenOptions{}, &st);
    if (!w) _exit(10);
    for (uint32_t i = 1; i <= n; ++i) {
      if (!w->tag(0).insert(key(i * 7919 % n), i)) _exit(11);
      if (i % 3 == 0 && !w->tag(0).remove(key((i - 1) * 7919 % n), i - 1)) _exit(12);
      if (i == n / 2) {
        char c = 'h';
        if (write(halfway[1], &c, 1) != 1 || read(resume[0], &c, 1) != 1) _exit(13);
      }
    }
    _exit(0);
  }
  auto r = open();
  int walks = 0;
  int status = 0;
  char c = 0;
  ASSERT_EQ(read(halfway[0], &c, 1), 1);
  {
    Status st;
    auto v = recnos(r->tag(0), &st);
    ASSERT_TRUE(st.isOk()) << "halfway walk: " << st.message();
    EXPECT_FALSE(v.empty());
    Status check = r->checkStructure();
    ASSERT_TRUE(check.isOk()) << "halfway walk: " << check.message();
    ++walks;
  }
  ASSERT_EQ(write(resume[1], &c, 1), 1);
  for (;;) {
    Status st;
    auto v = recnos(r->tag(0), &st);
    ASSERT_TRUE(st.isOk()) << "walk " << walks << ": " << st.message();
    Status check = r->checkStructure();
    ASSERT_TRUE(check.isOk()) << "walk " << walks << ": " << check.message();
    ++walks;
    if (waitpid(child, &status, WNOHANG) == child) break;
  }
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  Status st;
  auto final = recnos(r->tag(0), &st);
  ASSERT_TRUE(st.isOk());
  std::set<uint32_t> want;
  for (uint32_t i = 1; i <= n; ++i) want.insert(i);
  for (uint32_t i = 3; i <= n; i += 3) want.erase(i - 1);
  EXPECT_EQ(std::set<uint32_t>(final.begin(), final.end()), want);
  EXPECT_EQ(final.size(), want.size());
  EXPECT_GT(walks, 1);
}

}  // namespace
