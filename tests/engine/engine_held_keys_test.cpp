// Key changes held in memory while a table is open deny-write or exclusive:
// the same changes made with the keys written at once (shared open) and
// held back must leave the same records and the same tag orders, whatever
// moves and seeks come between them; a merge that fails is reported by the
// call that caused it and leaves tags that d4check accepts afterwards.
#include <map>
#include <random>

#include "platform/testing/fault_seam.h"
#include "engine_test_util.h"

using namespace enginetest;

namespace {

const C4FieldInfo kFields[] = {{"CLAIM", 'N', 10, 0}, {"ID_TYPE", 'C', 4, 0},
                               {"NAME", 'C', 15, 0},  {"AMOUNT", 'N', 9, 2},
                               {"SERVED", 'D', 8, 0}, {nullptr, 0, 0, 0}};
// No unique tag: an index with one writes its keys at once.
const C4TagInfo kTags[] = {{"BY_CLAIM", "STR(CLAIM,10)+ID_TYPE", nullptr, 0, 0},
                           {"BY_AMOUNT", "AMOUNT", nullptr, 0, 0},
                           {"BY_DATE", "SERVED", nullptr, 0, 1},
                           {"LIVE_NAME", "UPPER(NAME)", ".NOT. DELETED()", 0, 0},
                           {"BIG", "NAME", "AMOUNT > 100", 0, 0},
                           {nullptr, nullptr, nullptr, 0, 0}};
const char* const kTagNames[] = {"BY_CLAIM", "BY_AMOUNT", "BY_DATE", "LIVE_NAME", "BIG"};

std::vector<int> order(C4Table t, const char* tag) {
  EXPECT_EQ(d4tagSelectP(t, d4tag(t, tag)), 0);
  std::vector<int> recs;
  for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) recs.push_back(d4recNoLow(t));
  return recs;
}

// One table and the random changes made to it; two of these get the same seed.
struct Side {
  Ctx ctx;
  C4Table t = 0;
  std::mt19937 rng{11};

  void open(const std::string& path, int mode) {
    code4accessMode(ctx, mode);
    code4optimizeWrite(ctx, mode >= 1 ? 1 : 0);
    t = d4open(ctx, path.c_str());
    ASSERT_NE(t, 0u) << error4text(ctx, 0);
  }
  void add() {
    const char* types[] = {"REFC", "FACC", "MSCP", "PSSL"};
    const char* names[] = {"adams", "Brown", "clark", "Davis", ""};
    ASSERT_EQ(d4appendBlank(t), 0) << error4text(ctx, 0);
    f4assignInt(d4field(t, "CLAIM"), static_cast<long>(rng() % 300));
    f4assign(d4field(t, "ID_TYPE"), types[rng() % 4]);
    f4assign(d4field(t, "NAME"), names[rng() % 5]);
    f4assignDouble(d4field(t, "AMOUNT"), static_cast<double>(rng() % 30000) / 100.0);
    f4assign(d4field(t, "SERVED"), rng() % 4 ? ("2024011" + std::to_string(rng() % 10)).c_str() : "");
    ASSERT_EQ(d4writeLow(t, d4recNoLow(t), 0, 1), 0) << error4text(ctx, 0);
  }
  // One step: appends mostly, changes and deletions of earlier records, and
  // now and then a seek or a walk that must see every change made so far.
  void step(std::vector<int>* seen) {
    const int op = static_cast<int>(rng() % 12);
    const int n = d4recCount(t);
    if (op < 5 || n == 0) return add();
    if (op == 10) {
      seen->push_back(d4seek(t, "       100") == 0 ? d4recNoLow(t) : -1);
      return;
    }
    if (op == 11) {
      std::vector<int> walk = order(t, kTagNames[rng() % 5]);
      seen->insert(seen->end(), walk.begin(), walk.end());
      return;
    }
    ASSERT_EQ(d4goLow(t, static_cast<int32_t>(1 + rng() % n), 0), 0);
    if (op == 5) d4delete(t);
    else if (op == 6) d4recall(t);
    else if (op == 7) f4assignInt(d4field(t, "CLAIM"), static_cast<long>(rng() % 300));
    else if (op == 8) f4assign(d4field(t, "NAME"), rng() % 2 ? "evans" : "Fox");
    else f4assignDouble(d4field(t, "AMOUNT"), static_cast<double>(rng() % 30000) / 100.0);
  }
};

class HeldKeysTest : public ::testing::Test {
 protected:
  ScratchDir dir;
  void SetUp() override {
    for (const char* name : {"shared.dbf", "held.dbf"}) {
      Ctx c;
      C4Table t = d4create(c, dir.file(name).c_str(), kFields, kTags);
      ASSERT_NE(t, 0u) << error4text(c, 0);
      ASSERT_EQ(d4close(t), 0);
    }
  }
};

TEST_F(HeldKeysTest, HeldKeysGiveTheSameTagsAsKeysWrittenAtOnce) {
  Side shared, held;
  shared.open(dir.file("shared.dbf"), 0);
  held.open(dir.file("held.dbf"), 1);
  std::vector<int> sharedSeen, heldSeen;
  for (int i = 0; i < 2500; ++i) {
    shared.step(&sharedSeen);
    held.step(&heldSeen);
    if (i == 1200) {
      // A flush in the middle merges what is held so far.
      ASSERT_EQ(d4flush(held.t), 0) << error4text(held.ctx, 0);
      ASSERT_EQ(d4check(held.t), 0) << error4text(held.ctx, 0);
    }
  }
  EXPECT_EQ(sharedSeen, heldSeen);
  ASSERT_EQ(d4check(shared.t), 0) << error4text(shared.ctx, 0);
  ASSERT_EQ(d4close(shared.t), 0);
  ASSERT_EQ(d4close(held.t), 0) << error4text(held.ctx, 0);

  // What close merged is in the file: read again, shared, by another context.
  Ctx c;
  C4Table a = d4open(c, dir.file("shared.dbf").c_str());
  C4Table b = d4open(c, dir.file("held.dbf").c_str());
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  EXPECT_EQ(d4check(b), 0) << error4text(c, 0);
  for (const char* tag : kTagNames) EXPECT_EQ(order(a, tag), order(b, tag)) << tag;
  d4close(a);
  d4close(b);
  EXPECT_EQ(readBytes(dir.file("shared.dbf")), readBytes(dir.file("held.dbf")));
}

TEST_F(HeldKeysTest, HeldKeysReachTheFileOnlyAtAFlushWhateverTheNameGiven) {
  // As the updater names them: "\\" separators, the index opened by hand
  // under another case than the table.
  std::string host = dir.path();
  for (char& ch : host)
    if (ch == '/') ch = '\\';
  Side held;
  code4autoOpen(held.ctx, 0);
  held.open(host + "\\HELD.DBF", 1);
  C4Index index = i4open(held.t, (host + "\\held.mdx").c_str());
  ASSERT_NE(index, 0u) << error4text(held.ctx, 0);
  const std::vector<unsigned char> before = readBytes(dir.file("held.mdx"));
  for (int i = 0; i < 50; ++i) held.add();
  EXPECT_EQ(readBytes(dir.file("held.mdx")), before);
  // A walk sees every key; the pages it needed changed stay in memory.
  EXPECT_EQ(order(held.t, "BY_AMOUNT").size(), 50u);
  EXPECT_EQ(readBytes(dir.file("held.mdx")), before);
  ASSERT_EQ(d4flush(held.t), 0) << error4text(held.ctx, 0);
  EXPECT_NE(readBytes(dir.file("held.mdx")), before);
  EXPECT_EQ(d4check(held.t), 0) << error4text(held.ctx, 0);
  // A shared opener's keys go to the file with each change.
  Side shared;
  shared.open(dir.file("shared.dbf"), 0);
  const std::vector<unsigned char> empty = readBytes(dir.file("shared.mdx"));
  shared.add();
  EXPECT_NE(readBytes(dir.file("shared.mdx")), empty);
  i4close(index);
}

TEST_F(HeldKeysTest, AMergeThatFailsFailsTheFlushOrCloseAndLeavesSoundTags) {
  Side held;
  held.open(dir.file("held.dbf"), 2);
  std::vector<int> seen;
  for (int i = 0; i < 400; ++i) held.add();
  // The merge's page writes fail: the flush says so, a later one rebuilds.
  c4faultClear();
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  EXPECT_NE(d4flush(held.t), 0);
  EXPECT_EQ(code4errorCode(held.ctx, 0), e4index);
  c4faultClear();
  ASSERT_EQ(d4flush(held.t), 0) << error4text(held.ctx, 0);
  ASSERT_EQ(d4check(held.t), 0) << error4text(held.ctx, 0);
  EXPECT_EQ(order(held.t, "BY_CLAIM").size(), 400u);

  // The same at close: d4close reports it; the table is sound when reopened.
  for (int i = 0; i < 100; ++i) held.add();
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  EXPECT_NE(d4close(held.t), 0);
  c4faultClear();
  code4errorCode(held.ctx, 0);
  Ctx c;
  C4Table t = d4open(c, dir.file("held.dbf").c_str());
  ASSERT_NE(t, 0u) << error4text(c, 0);
  EXPECT_EQ(d4recCount(t), 500);
  EXPECT_EQ(d4check(t), 0) << error4text(c, 0);
  EXPECT_EQ(order(t, "BY_AMOUNT").size(), 500u);
  d4close(t);
}

TEST_F(HeldKeysTest, ManyHeldChangesAreRebuiltAndPerlReadsTheTags) {
  // More appends than the held list keeps: the index is rebuilt when a tag
  // is next used, and the file reads the same to XBase::Index.
  Side held;
  held.open(dir.file("held.dbf"), 1);
  for (int i = 0; i < 205000; ++i) {
    ASSERT_EQ(d4appendBlank(held.t), 0);
    f4assignInt(d4field(held.t, "CLAIM"), 205000 - i);
    f4assign(d4field(held.t, "ID_TYPE"), i % 2 ? "REFC" : "FACC");
    f4assignDouble(d4field(held.t, "AMOUNT"), (i % 5000) / 10.0);
  }
  std::vector<int> byClaim = order(held.t, "BY_CLAIM");
  ASSERT_EQ(byClaim.size(), 205000u);
  EXPECT_EQ(byClaim.front(), 205000);
  EXPECT_EQ(byClaim.back(), 1);
  ASSERT_EQ(d4check(held.t), 0) << error4text(held.ctx, 0);
  ASSERT_EQ(d4close(held.t), 0);
  std::string ourText;
  for (int r : byClaim) ourText += (ourText.empty() ? "" : " ") + std::to_string(r);
  int status = 0;
  std::string out =
      run("perl " + sourceDir() + "/tests/engine/oracle/mdx_walk.pl " + dir.file("held.mdx"), &status);
  ASSERT_EQ(status, 0) << out.substr(0, 400);
  EXPECT_NE(out.find("BY_CLAIM\t" + ourText + "\n"), std::string::npos) << out.substr(0, 400);
}

}  // namespace
