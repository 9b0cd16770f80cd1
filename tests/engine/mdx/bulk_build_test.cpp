// Bulk builds of large sets, and deep trees grown and emptied key by key.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <numeric>
#include <random>

#include "mdx_file.h"
#include "mdx_tag.h"
#include "mdx_test_util.h"

using namespace talvex::engine::mdx;

namespace {

std::vector<TagEntry> walk(Tag& tag) {
  std::vector<TagEntry> v;
  Cursor c(tag);
  EXPECT_TRUE(c.first().isOk());
  while (c.valid()) {
    v.push_back({std::string(c.key()), c.recno()});
    EXPECT_TRUE(c.next().isOk());
  }
  return v;
}

std::string randomText(std::mt19937& rng, size_t len) {
  std::string s;
  for (size_t i = 0; i < len; ++i) s.push_back(char('A' + rng() % 6));
  return s;
}

TEST(MdxBulk, LargeBuildsWalkInSortedOrderForUsAndTheIndependentReader) {
  mdxtest::TempDir dir;
  const std::string path = dir.file("BULK.MDX");
  Status st;
  auto file = MdxFile::create(path, CreateOptions{"BULK"},
                              {{"CLAIM", "CLAIM", "", KeyType::Character, 10, false, false},
                               {"AMT", "AMT", "", KeyType::Numeric, 12, false, true},
                               {"UCLAIM", "CLAIM", "", KeyType::Character, 10, true, false}},
                              &st);
  ASSERT_TRUE(file) << st.message();
  std::mt19937 rng(99);
  const uint32_t n = 60000;
  KeyBatch claims(10), amounts(12);
  std::vector<std::pair<std::string, uint32_t>> wantC;
  std::vector<std::pair<double, uint32_t>> wantN;
  for (uint32_t r = 1; r <= n; ++r) {
    std::string k = encodeCharKey(randomText(rng, 4), 10);  // 1296 values: many duplicates
    claims.add(k, r);
    wantC.emplace_back(k, r);
    double v = double(int(rng() % 20001) - 10000) / 4;
    amounts.add(encodeNumericKey(v), r);
    wantN.emplace_back(v, r);
  }
  ASSERT_TRUE(file->tag(0).bulkBuild(claims).isOk());
  ASSERT_TRUE(file->tag(1).bulkBuild(amounts).isOk());
  ASSERT_TRUE(file->tag(2).bulkBuild(claims).isOk());
  Status check = file->checkStructure();
  ASSERT_TRUE(check.isOk()) << check.message();

  std::sort(wantC.begin(), wantC.end());
  std::sort(wantN.begin(), wantN.end(), [](auto& a, auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;  // descending
  });
  auto c = walk(file->tag(0));
  ASSERT_EQ(c.size(), n);
  for (uint32_t i = 0; i < n; ++i) {
    ASSERT_EQ(c[i].key, wantC[i].first) << i;
    ASSERT_EQ(c[i].recno, wantC[i].second) << i;
  }
  auto a = walk(file->tag(1));
  ASSERT_EQ(a.size(), n);
  for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(a[i].recno, wantN[i].second) << i;
  // Unique: one entry per key, the lowest record number.
  auto u = walk(file->tag(2));
  std::vector<std::pair<std::string, uint32_t>> firsts;
  for (auto& e : wantC)
    if (firsts.empty() || firsts.back().first != e.first) firsts.push_back(e);
  ASSERT_EQ(u.size(), firsts.size());
  for (size_t i = 0; i < u.size(); ++i) ASSERT_EQ(u[i].recno, firsts[i].second);

#ifndef _WIN32
  // The independent reader (perl) runs in the Linux builds only.
  mdxtest::Walks walks;
  std::string err;
  ASSERT_TRUE(mdxtest::perlWalk(path, &walks, &err)) << err;
  ASSERT_EQ(walks["CLAIM"].size(), n);
  for (uint32_t i = 0; i < n; i += 97) ASSERT_EQ(walks["CLAIM"][i].second, c[i].recno) << i;
  ASSERT_EQ(walks["AMT"].size(), n);
  for (uint32_t i = 0; i < n; ++i) ASSERT_EQ(walks["AMT"][i].second, a[i].recno) << i;
  ASSERT_EQ(walks["UCLAIM"].size(), u.size());
#endif

  // Changes after a bulk build, then a second build over the first: the old
  // blocks are reused, so the file stays about the same size.
  for (uint32_t r = n + 1; r <= n + 3000; ++r)
    ASSERT_TRUE(file->tag(0).insert(encodeCharKey(randomText(rng, 5), 10), r).isOk());
  for (uint32_t i = 0; i < 3000; ++i)
    ASSERT_TRUE(file->tag(0).remove(wantC[i * 7].first, wantC[i * 7].second).isOk());
  check = file->checkStructure();
  ASSERT_TRUE(check.isOk()) << check.message();
  uint64_t count = 0;
  ASSERT_TRUE(file->tag(0).countEntries(&count).isOk());
  EXPECT_EQ(count, n);
  const auto before = std::filesystem::file_size(path);
  ASSERT_TRUE(file->tag(0).bulkBuild(claims).isOk());
  EXPECT_LE(std::filesystem::file_size(path), before);
  check = file->checkStructure();
  ASSERT_TRUE(check.isOk()) << check.message();
  EXPECT_EQ(walk(file->tag(0)).size(), n);
}

// Character keys are sorted 16 bytes at a time: keys that agree on their
// first slices (names padded with blanks), bytes above 0x7F, both orders,
// a unique tag, and a batch not given in record order.
TEST(MdxBulk, LongCharacterKeysSortOnEveryByteInEitherOrder) {
  mdxtest::TempDir dir;
  Status st;
  auto file = MdxFile::create(dir.file("LONG.MDX"), CreateOptions{"LONG"},
                              {{"UP", "NAME", "", KeyType::Character, 40, false, false},
                               {"DOWN", "NAME", "", KeyType::Character, 40, false, true},
                               {"ONCE", "NAME", "", KeyType::Character, 40, true, false},
                               {"SHORT", "NAME", "", KeyType::Character, 17, false, true}},
                              &st);
  ASSERT_TRUE(file) << st.message();
  std::mt19937 rng(17);
  const char* heads[] = {"SMITH", "SMITHSON", "\xC4RGER"};
  std::vector<uint32_t> recnos(5000);
  std::iota(recnos.begin(), recnos.end(), 1u);
  std::shuffle(recnos.begin(), recnos.end(), rng);
  KeyBatch wide(40), narrow(17);
  std::vector<std::pair<std::string, uint32_t>> wantWide, wantNarrow;
  for (uint32_t r : recnos) {
    std::string name = heads[rng() % 3];
    name.resize(16 + rng() % 3, ' ');  // the head fills the first slice
    name += randomText(rng, 2);
    name.resize(33, ' ');
    if (rng() % 2) name += char(0x80 + rng() % 4);  // the third slice decides
    const std::string w = encodeCharKey(name, 40), n = encodeCharKey(name, 17);
    wide.add(w, r);
    narrow.add(n, r);
    wantWide.emplace_back(w, r);
    wantNarrow.emplace_back(n, r);
  }
  for (int t = 0; t < 3; ++t) ASSERT_TRUE(file->tag(t).bulkBuild(wide).isOk()) << t;
  ASSERT_TRUE(file->tag(3).bulkBuild(narrow).isOk());
  Status check = file->checkStructure();
  ASSERT_TRUE(check.isOk()) << check.message();

  auto same = [](const std::vector<TagEntry>& got, const std::vector<std::pair<std::string, uint32_t>>& want) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
      ASSERT_EQ(got[i].key, want[i].first) << i;
      ASSERT_EQ(got[i].recno, want[i].second) << i;
    }
  };
  auto descending = [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  };
  std::sort(wantWide.begin(), wantWide.end());
  same(walk(file->tag(0)), wantWide);
  std::vector<std::pair<std::string, uint32_t>> firsts;
  for (auto& e : wantWide)
    if (firsts.empty() || firsts.back().first != e.first) firsts.push_back(e);
  EXPECT_LT(firsts.size(), wantWide.size());  // there were repeats to drop
  same(walk(file->tag(2)), firsts);
  std::sort(wantWide.begin(), wantWide.end(), descending);
  same(walk(file->tag(1)), wantWide);
  std::sort(wantNarrow.begin(), wantNarrow.end(), descending);
  same(walk(file->tag(3)), wantNarrow);
}

TEST(MdxBulk, EmptyAndTinyBuilds) {
  mdxtest::TempDir dir;
  Status st;
  auto file = MdxFile::create(dir.file("T.MDX"), CreateOptions{"T"},
                              {{"D", "SEEN", "", KeyType::Date, 8, false, false}}, &st);
  ASSERT_TRUE(file) << st.message();
  KeyBatch none(8);
  ASSERT_TRUE(file->tag(0).bulkBuild(none).isOk());
  EXPECT_TRUE(walk(file->tag(0)).empty());
  KeyBatch one(8);
  one.add(blankDateKey(), 3);
  one.add(encodeDateKeyText("20260101"), 2);
  one.add(encodeDateKeyText("20260101"), 2);  // the same entry twice is kept once
  ASSERT_TRUE(file->tag(0).bulkBuild(one).isOk());
  auto w = walk(file->tag(0));
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].recno, 2u);
  EXPECT_EQ(w[1].key, blankDateKey());  // blank dates sort last
  EXPECT_TRUE(file->checkStructure().isOk());
  KeyBatch wrong(10);
  EXPECT_EQ(file->tag(0).bulkBuild(wrong).code(), StatusCode::Invalid);
}

TEST(MdxBulk, DeepTreeGrownAndEmptiedKeyByKey) {
  // 100-byte keys leave nine per node, so a few thousand keys need four or
  // five levels and every split, merge and borrow path runs.
  mdxtest::TempDir dir;
  const std::string path = dir.file("DEEP.MDX");
  Status st;
  auto file = MdxFile::create(path, CreateOptions{"DEEP"},
                              {{"WIDE", "NOTE", "", KeyType::Character, 100, false, false}}, &st);
  ASSERT_TRUE(file) << st.message();
  Tag& tag = file->tag(0);
  ASSERT_EQ(tag.maxKeysPerNode(), 9);
  std::mt19937 rng(5);
  std::vector<std::pair<std::string, uint32_t>> live;
  for (uint32_t r = 1; r <= 6000; ++r) {
    std::string k = encodeCharKey(randomText(rng, 3) + std::to_string(rng() % 50), 100);
    ASSERT_TRUE(tag.insert(k, r).isOk());
    live.emplace_back(k, r);
    if (r % 1500 == 0) {
      Status check = file->checkStructure();
      ASSERT_TRUE(check.isOk()) << r << ": " << check.message();
    }
  }
  std::shuffle(live.begin(), live.end(), rng);
  while (!live.empty()) {
    bool removed = false;
    ASSERT_TRUE(tag.remove(live.back().first, live.back().second, &removed).isOk());
    ASSERT_TRUE(removed);
    live.pop_back();
    if (live.size() % 1000 == 0 || live.size() < 20) {
      Status check = file->checkStructure();
      ASSERT_TRUE(check.isOk()) << live.size() << " left: " << check.message();
      auto sorted = live;
      std::sort(sorted.begin(), sorted.end());
      auto w = walk(tag);
      ASSERT_EQ(w.size(), sorted.size());
      for (size_t i = 0; i < w.size(); ++i) ASSERT_EQ(w[i].recno, sorted[i].second);
    }
  }
  // Everything but the root went back to the free list.
  const uint32_t blocks = uint32_t(std::filesystem::file_size(path) / 1024);
  EXPECT_EQ(file->freeBlockCount(), blocks - 2 /*header pages*/ - 2 /*tag header, root*/);
}

}  // namespace
