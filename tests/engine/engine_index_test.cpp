// Indexes through the table: tags made by d4create, seeks, tag order,
// maintenance on every change, reindex, pack and the check routine, and the
// production indexes of the external sample files.
#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "platform/testing/fault_seam.h"
#include "engine_test_util.h"
#include "../common/copy_over.h"

using namespace enginetest;

namespace {

const C4FieldInfo kClaimFields[] = {{"CLAIM", 'N', 10, 0}, {"ID_TYPE", 'C', 4, 0},
                                    {"NAME", 'C', 15, 0},  {"AMOUNT", 'N', 9, 2},
                                    {"SERVED", 'D', 8, 0}, {nullptr, 0, 0, 0}};
const C4TagInfo kClaimTags[] = {
    {"BY_CLAIM", "STR(CLAIM,10)+ID_TYPE", nullptr, 0, 0},
    {"BY_AMOUNT", "AMOUNT", nullptr, 0, 0},
    {"BY_DATE", "SERVED", nullptr, 0, 1},
    {"LIVE_NAME", "UPPER(NAME)", ".NOT. DELETED()", 0, 0},
    {"UNIQ_TYPE", "ID_TYPE", nullptr, 1, 0},
    {"BIG", "NAME", "AMOUNT > 100", 0, 0},
    {nullptr, nullptr, nullptr, 0, 0}};

class IndexTest : public ::testing::Test {
 protected:
  ScratchDir dir;
  Ctx ctx;
  C4Table t = 0;
  void SetUp() override {
    t = d4create(ctx, dir.file("claims.dbf").c_str(), kClaimFields, kClaimTags);
    ASSERT_NE(t, 0u) << error4text(ctx, code4errorCode(ctx, 0));
  }
  void add(long claim, const char* type, const char* name, double amount, const char* date) {
    ASSERT_EQ(d4appendBlank(t), 0) << error4text(ctx, 0);
    f4assignInt(d4field(t, "CLAIM"), claim);
    f4assign(d4field(t, "ID_TYPE"), type);
    f4assign(d4field(t, "NAME"), name);
    f4assignDouble(d4field(t, "AMOUNT"), amount);
    f4assign(d4field(t, "SERVED"), date);
    ASSERT_EQ(d4writeLow(t, d4recNoLow(t), 0, 1), 0) << error4text(ctx, 0);
  }
  std::vector<int> order(const char* tag) {
    EXPECT_EQ(d4tagSelectP(t, tag ? d4tag(t, tag) : 0), 0);
    std::vector<int> recs;
    for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) recs.push_back(d4recNoLow(t));
    return recs;
  }
};

TEST_F(IndexTest, CreateWritesProductionIndexAndFlags) {
  d4close(t);
  std::vector<unsigned char> b = readBytes(dir.file("claims.dbf"));
  EXPECT_EQ(b[28], 1);
  // Field tag flag (descriptor byte 31) for fields that are a whole key.
  EXPECT_EQ(b[32 + 0 * 32 + 31], 0);  // CLAIM only inside STR()
  EXPECT_EQ(b[32 + 1 * 32 + 31], 1);  // ID_TYPE
  EXPECT_EQ(b[32 + 3 * 32 + 31], 1);  // AMOUNT
  EXPECT_TRUE(std::filesystem::exists(dir.file("claims.mdx")));
  t = d4open(ctx, dir.file("claims.dbf").c_str());  // autoOpen is on by default
  ASSERT_NE(t, 0u);
  C4Tag tag = d4tag(t, "by_claim");
  ASSERT_NE(tag, 0u);
  EXPECT_STREQ(t4alias(tag), "BY_CLAIM");
  EXPECT_STREQ(t4expr(tag), "STR(CLAIM,10)+ID_TYPE");
  EXPECT_STREQ(t4filter(d4tag(t, "LIVE_NAME")), ".NOT. DELETED()");
  EXPECT_EQ(d4tag(t, "NOPE"), 0u);
  code4errorCode(ctx, 0);
  // Without autoOpen the index is opened explicitly.
  d4close(t);
  code4autoOpen(ctx, 0);
  t = d4open(ctx, dir.file("claims.dbf").c_str());
  EXPECT_EQ(d4tag(t, "BY_CLAIM"), 0u);
  C4Index i = i4open(t, nullptr);
  ASSERT_NE(i, 0u) << error4text(ctx, 0);
  EXPECT_NE(i4tag(i, "BY_CLAIM"), 0u);
  EXPECT_EQ(i4tag(i, "NOPE"), 0u);
  EXPECT_EQ(i4close(i), 0);
  EXPECT_EQ(i4close(i), e4handle);
  code4errorCode(ctx, 0);
}

TEST_F(IndexTest, SeekFindsClaimKeysAndSeekNextWalksThem) {
  add(12, "REFC", "smith", 10, "20240105");
  add(7, "FACC", "jones", 200, "20230101");
  add(12, "FACC", "adams", 300.5, "20240301");
  add(12, "REFC", "brown", 5, "");
  add(100, "MSCP", "clark", 1, "20220202");
  ASSERT_EQ(d4tagSelectP(t, d4tag(t, "BY_CLAIM")), 0);
  char key[32];
  std::snprintf(key, sizeof key, "%10d", 12);
  ASSERT_EQ(d4seek(t, key), 0);
  EXPECT_EQ(d4recNoLow(t), 3);  // "        12FACC" sorts first
  EXPECT_EQ(d4seekNext(t, key), 0);
  EXPECT_EQ(d4recNoLow(t), 1);
  EXPECT_EQ(d4seekNext(t, key), 0);
  EXPECT_EQ(d4recNoLow(t), 4);
  EXPECT_EQ(d4seekNext(t, key), r4after);  // next claim
  EXPECT_EQ(d4recNoLow(t), 5);
  std::string refc = std::string(key) + "REFC";
  ASSERT_EQ(d4seek(t, refc.c_str()), 0);
  EXPECT_EQ(d4recNoLow(t), 1);
  EXPECT_EQ(d4seekNext(t, refc.c_str()), 0);
  EXPECT_EQ(d4recNoLow(t), 4);
  EXPECT_NE(d4seekNext(t, refc.c_str()), 0);
  std::snprintf(key, sizeof key, "%10d", 50);
  EXPECT_EQ(d4seek(t, key), r4after);
  EXPECT_EQ(d4recNoLow(t), 5);
  std::snprintf(key, sizeof key, "%10d", 500);
  EXPECT_EQ(d4seek(t, key), r4eof);
  EXPECT_NE(d4eof(t), 0);

  ASSERT_EQ(d4tagSelectP(t, d4tag(t, "BY_AMOUNT")), 0);
  EXPECT_EQ(d4seekDouble(t, 200), 0);
  EXPECT_EQ(d4recNoLow(t), 2);
  EXPECT_EQ(d4seek(t, "300.50"), 0);
  EXPECT_EQ(d4recNoLow(t), 3);
  EXPECT_EQ(d4seekDouble(t, 6), r4after);
  EXPECT_EQ(d4recNoLow(t), 1);
  ASSERT_EQ(d4tagSelectP(t, d4tag(t, "BY_DATE")), 0);
  EXPECT_EQ(d4seek(t, "20230101"), 0);
  EXPECT_EQ(d4recNoLow(t), 2);
}

TEST_F(IndexTest, TagOrderForwardBackwardDescendingFilteredUnique) {
  add(3, "B", "Carl", 50, "20200101");
  add(1, "A", "alma", 150, "20210101");
  add(2, "B", "Bert", 250, "");
  add(4, "A", "dora", 20, "20190101");
  EXPECT_EQ(order(nullptr), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(order("BY_CLAIM"), (std::vector<int>{2, 3, 1, 4}));
  EXPECT_EQ(order("BY_AMOUNT"), (std::vector<int>{4, 1, 2, 3}));
  // Descending; the blank date sorts after every date, so it comes first.
  EXPECT_EQ(order("BY_DATE"), (std::vector<int>{3, 2, 1, 4}));
  EXPECT_EQ(order("LIVE_NAME"), (std::vector<int>{2, 3, 1, 4}));
  EXPECT_EQ(order("UNIQ_TYPE"), (std::vector<int>{2, 1}));  // first record of each key
  EXPECT_EQ(order("BIG"), (std::vector<int>{3, 2}));        // "Bert" < "alma" by bytes
  // Backwards and the ends.
  ASSERT_EQ(d4tagSelectP(t, d4tag(t, "BY_AMOUNT")), 0);
  ASSERT_EQ(d4bottom(t), 0);
  EXPECT_EQ(d4recNoLow(t), 3);
  ASSERT_EQ(d4skip(t, -2), 0);
  EXPECT_EQ(d4recNoLow(t), 1);
  EXPECT_EQ(d4skip(t, -5), r4bof);
  EXPECT_EQ(d4recNoLow(t), 4);
  EXPECT_EQ(d4skip(t, 10), r4eof);
  ASSERT_EQ(d4skip(t, -1), 0);
  EXPECT_EQ(d4recNoLow(t), 3);
  EXPECT_EQ(d4tagSelected(t), d4tag(t, "BY_AMOUNT"));
  EXPECT_EQ(d4check(t), 0) << error4text(ctx, 0);
}

TEST_F(IndexTest, ChangesDeletesAndRecallsKeepEveryTagExact) {
  add(1, "A", "one", 10, "20200101");
  add(2, "B", "two", 500, "20200102");
  add(3, "C", "three", 20, "20200103");
  // Key change, filter starting and stopping to hold, deletion and recall.
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  f4assignDouble(d4field(t, "AMOUNT"), 1000);  // enters BIG, moves in BY_AMOUNT
  ASSERT_EQ(d4goLow(t, 2, 0), 0);
  f4assignDouble(d4field(t, "AMOUNT"), 1);  // leaves BIG
  ASSERT_EQ(d4delete(t), 0);                // leaves LIVE_NAME
  ASSERT_EQ(d4goLow(t, 3, 0), 0);
  EXPECT_EQ(d4check(t), 0) << error4text(ctx, 0);
  EXPECT_EQ(order("BIG"), (std::vector<int>{1}));
  EXPECT_EQ(order("LIVE_NAME"), (std::vector<int>{1, 3}));
  EXPECT_EQ(order("BY_AMOUNT"), (std::vector<int>{2, 3, 1}));
  ASSERT_EQ(d4goLow(t, 2, 0), 0);
  ASSERT_EQ(d4recall(t), 0);
  ASSERT_EQ(d4flush(t), 0);
  EXPECT_EQ(order("LIVE_NAME"), (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(d4check(t), 0) << error4text(ctx, 0);
  // Pack drops the deleted record and rebuilds every tag.
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  ASSERT_EQ(d4delete(t), 0);
  ASSERT_EQ(d4pack(t), 0) << error4text(ctx, 0);
  EXPECT_EQ(d4recCount(t), 2);
  EXPECT_EQ(d4check(t), 0) << error4text(ctx, 0);
  EXPECT_EQ(order("BY_CLAIM"), (std::vector<int>{1, 2}));
}

TEST_F(IndexTest, CheckFindsAStaleTagAndReindexRepairsIt) {
  add(1, "A", "one", 10, "20200101");
  add(2, "B", "two", 20, "20200102");
  ASSERT_EQ(d4close(t), 0);
  // Changed behind the index's back: opened without it.
  code4autoOpen(ctx, 0);
  t = d4open(ctx, dir.file("claims.dbf").c_str());
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  f4assignDouble(d4field(t, "AMOUNT"), 999);
  ASSERT_EQ(d4close(t), 0);
  code4autoOpen(ctx, 1);
  t = d4open(ctx, dir.file("claims.dbf").c_str());
  ASSERT_NE(t, 0u);
  EXPECT_EQ(d4check(t), e4index);
  EXPECT_NE(std::string(error4text(ctx, e4index)).find("BY_AMOUNT"), std::string::npos)
      << error4text(ctx, e4index);
  code4errorCode(ctx, 0);
  ASSERT_EQ(d4reindex(t), 0);
  EXPECT_EQ(d4check(t), 0) << error4text(ctx, 0);
  EXPECT_EQ(order("BY_AMOUNT"), (std::vector<int>{2, 1}));
  // A tag cannot be created from an expression that does not compile.
  const C4TagInfo bad[] = {{"BAD", "NOSUCHFIELD+1", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  EXPECT_EQ(d4create(ctx, dir.file("bad.dbf").c_str(), kClaimFields, bad), 0u);
  EXPECT_EQ(code4errorCode(ctx, 0), e4expr);
}

TEST_F(IndexTest, RandomChangesKeepTagsExactAndReadableByPerl) {
  std::mt19937 rng(7);
  const char* types[] = {"REFC", "FACC", "MSCP", "PSSL", "NKL", "CL"};
  const char* names[] = {"adams", "Brown", "clark", "Davis", "evans", "FOX", ""};
  code4optimizeWrite(ctx, 1);
  ASSERT_EQ(d4lockAllInternal(t, 1), 0);
  for (int i = 0; i < 3000; ++i) {
    int op = static_cast<int>(rng() % 10);
    int n = d4recCount(t);
    if (op < 5 || n == 0) {
      add(static_cast<long>(rng() % 400), types[rng() % 6], names[rng() % 7],
          static_cast<double>(rng() % 100000) / 100.0,
          rng() % 5 ? ("2024" + std::string(rng() % 2 ? "01" : "11") + "1" + std::to_string(rng() % 10)).c_str() : "");
    } else {
      ASSERT_EQ(d4goLow(t, static_cast<int32_t>(1 + rng() % n), 0), 0);
      if (op == 5) d4delete(t);
      else if (op == 6) d4recall(t);
      else if (op == 7) f4assignInt(d4field(t, "CLAIM"), static_cast<long>(rng() % 400));
      else if (op == 8) f4assign(d4field(t, "NAME"), names[rng() % 7]);
      else f4assignDouble(d4field(t, "AMOUNT"), static_cast<double>(rng() % 30000) / 100.0);
    }
  }
  ASSERT_EQ(d4unlock(t), 0);
  ASSERT_EQ(d4check(t), 0) << error4text(ctx, 0);
  // The same file after a reindex, and byte-for-byte order agreement with
  // XBase::Index reading our .mdx.
  ASSERT_EQ(d4reindex(t), 0);
  ASSERT_EQ(d4check(t), 0) << error4text(ctx, 0);
  std::vector<int> ours = order("BY_CLAIM");
  d4close(t);
  t = 0;
  std::string ourText;
  for (int r : ours) ourText += (ourText.empty() ? "" : " ") + std::to_string(r);
  int status = 0;
  std::string out = run("perl " + sourceDir() + "/tests/engine/oracle/mdx_walk.pl " + dir.file("claims.mdx"), &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("BY_CLAIM\t" + ourText + "\n"), std::string::npos) << out.substr(0, 400);
}

// Every tag of every production index among the external samples, walked in
// tag order, against XBase::Index reading the same file.
// The production index opened again by the host's spelling of its name
// (other case, "\" separators) is the same open index: an append costs the
// same writes and locks with or without it, and closing the extra handle
// leaves the tags working.
TEST_F(IndexTest, TheProductionIndexOpenedAgainUnderAnotherSpellingIsTheSameIndex) {
  ASSERT_EQ(d4close(t), 0);
  const std::string path = dir.file("claims.dbf");
  auto appendCosts = [&](bool openAgain, int32_t* writes, int32_t* locks) {
    t = d4open(ctx, path.c_str());
    ASSERT_NE(t, 0u);
    C4Index again = 0;
    if (openAgain) {
      std::string host = dir.file("CLAIMS.MDX");
      std::replace(host.begin(), host.end(), '/', '\\');
      again = i4open(t, host.c_str());
      ASSERT_NE(again, 0u) << error4text(ctx, code4errorCode(ctx, 0));
    }
    c4faultClear();
    for (int i = 0; i < 20; ++i) add(100 + i, "A", "SMITH", 150 + i, "20240101");
    *writes = c4faultCount(TALVEX_FAULT_WRITE);
    *locks = c4faultCount(TALVEX_FAULT_LOCK);
    if (again != 0) {
      ASSERT_EQ(i4close(again), 0);
    }
    add(200, "B", "JONES", 300, "20240102");
    EXPECT_EQ(order("BY_CLAIM").size(), openAgain ? 42u : 21u);
    ASSERT_EQ(d4check(t), 0);
    ASSERT_EQ(d4close(t), 0);
  };
  int32_t writesAlone = 0, locksAlone = 0, writesAgain = 0, locksAgain = 0;
  appendCosts(false, &writesAlone, &locksAlone);
  appendCosts(true, &writesAgain, &locksAgain);
  EXPECT_GT(writesAlone, 0);
  EXPECT_EQ(writesAgain, writesAlone);
  EXPECT_EQ(locksAgain, locksAlone);
}

TEST(ExternalIndexes, TagWalksMatchPerlXBaseIndex) {
  std::string root = sourceDir() + "/tests/fixtures/external";
  ScratchDir dir;
  int walked = 0;
  for (auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    std::string ext = entry.path().extension().string();
    if (ext != ".MDX" && ext != ".mdx") continue;
    std::string base = entry.path().stem().string();
    std::string dbf = (entry.path().parent_path() / (base + ".DBF")).string();
    if (!std::filesystem::exists(dbf)) continue;
    if (base == "QLOG") continue;  // its index is stale and flag 0: not used
    std::string copyDbf = dir.file(base + ".DBF"), copyMdx = dir.file(base + ".MDX");
    talvex::testing::CopyFileOver(dbf, copyDbf);
    talvex::testing::CopyFileOver(entry.path(), copyMdx);
    std::string dbt = (entry.path().parent_path() / (base + ".DBT")).string();
    if (std::filesystem::exists(dbt))
      talvex::testing::CopyFileOver(dbt, dir.file(base + ".DBT"));
    Ctx ctx;
    C4Table t = d4open(ctx, copyDbf.c_str());
    ASSERT_NE(t, 0u) << base << ": " << error4text(ctx, 0);
    std::string walks = run("perl " + sourceDir() + "/tests/engine/oracle/mdx_walk.pl " + copyMdx);
    for (size_t p = 0, q; p < walks.size(); p = q + 1) {
      q = walks.find('\n', p);
      if (q == std::string::npos) break;
      std::string line = walks.substr(p, q - p);
      std::string name = line.substr(0, line.find('\t'));
      std::string perl = line.substr(line.find('\t') + 1);
      C4Tag h = d4tag(t, name.c_str());
      ASSERT_NE(h, 0u) << base << " tag " << name << ": " << error4text(ctx, 0);
      ASSERT_EQ(d4tagSelectP(t, h), 0);
      std::string ours;
      for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1))
        ours += (ours.empty() ? "" : " ") + std::to_string(d4recNoLow(t));
      EXPECT_EQ(ours, perl) << base << " tag " << name;
      ++walked;
    }
    EXPECT_EQ(d4check(t), 0) << base << ": " << error4text(ctx, 0);
    d4close(t);
  }
  EXPECT_GE(walked, 10);
}

}  // namespace
