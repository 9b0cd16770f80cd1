// A change that fails part-way leaves the table as it was: for every write an
// append or a key-changing record write makes, that write is made to fail, and
// then a fresh handle must find the tags in step with the records, the count
// unchanged and every live record by its keys. The failed call is retried on
// the same handle with the next write failing, until it goes through.
#include <cstring>

#include "platform/testing/fault_seam.h"
#include "engine_test_util.h"

using namespace enginetest;

namespace {

const C4FieldInfo kFields[] = {{"CLAIM", 'N', 10, 0},
                               {"ID_TYPE", 'C', 4, 0},
                               {"NAME", 'C', 15, 0},
                               {"NOTE", 'M', 10, 0},
                               {nullptr, 0, 0, 0}};
const C4TagInfo kTags[] = {{"BY_CLAIM", "STR(CLAIM,10)+ID_TYPE", nullptr, 0, 0},
                           {"BY_NAME", "UPPER(NAME)", nullptr, 0, 0},
                           {"LIVE_TYPE", "ID_TYPE", ".NOT. DELETED()", 0, 0},
                           {nullptr, nullptr, nullptr, 0, 0}};

std::string claimKey(long claim, const std::string& type) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%10ld", claim);
  return buf + type;
}

std::string nameOf(long claim) { return "patient" + std::to_string(claim); }

class AtomicChange : public ::testing::Test {
 protected:
  ScratchDir dir;
  Ctx ctx;
  std::string dbf;

  void SetUp() override {
    dbf = dir.file("claims.dbf");
    code4accessMode(ctx, 0);  // shared: every record goes straight to the file
    C4Table t = d4create(ctx, dbf.c_str(), kFields, kTags);
    ASSERT_NE(t, 0u) << error4text(ctx, 0);
    // Enough records for several leaf pages, so later keys split pages.
    for (long c = 1; c <= 60; ++c) fill(t, c * 10, true);
    ASSERT_EQ(d4close(t), 0) << error4text(ctx, 0);
  }

  void fill(C4Table t, long claim, bool write) {
    ASSERT_EQ(d4appendStart(t, 0), 0);
    f4assignInt(d4field(t, "CLAIM"), claim);
    f4assign(d4field(t, "ID_TYPE"), "REFC");
    f4assign(d4field(t, "NAME"), nameOf(claim).c_str());
    f4memoAssign(d4field(t, "NOTE"), ("note of " + std::to_string(claim)).c_str());
    if (write) {
      ASSERT_EQ(d4append(t), 0) << error4text(ctx, 0);
    }
  }

  uint32_t countInFile() {
    std::vector<unsigned char> b = readBytes(dbf);
    return b[4] | b[5] << 8 | b[6] << 16 | uint32_t(b[7]) << 24;
  }

  // What anyone opening the table now sees: sound tags, `count` records, each
  // live one found under its keys, its memo readable. With `cloneOf` (a table
  // open exclusively, its appends buffered) a clone of it looks instead.
  void expectConsistent(int32_t count, const std::string& when, C4Table cloneOf = 0) {
    SCOPED_TRACE(when);
    C4Table f = cloneOf ? d4openClone(cloneOf) : d4open(ctx, dbf.c_str());
    ASSERT_NE(f, 0u) << error4text(ctx, 0);
    EXPECT_EQ(d4check(f), 0) << error4text(ctx, 0);
    EXPECT_EQ(d4recCount(f), count);
    if (!cloneOf) {
      EXPECT_EQ(countInFile(), uint32_t(count));
    }
    for (int32_t r = 1; r <= d4recCount(f); ++r) {
      ASSERT_EQ(d4goLow(f, r, 0), 0);
      if (d4deleted(f)) continue;
      long claim = std::atol(f4str(d4field(f, "CLAIM")));
      std::string type = str(d4field(f, "ID_TYPE"));
      std::string name = str(d4field(f, "NAME"));
      EXPECT_EQ(std::string(f4memoStr(d4field(f, "NOTE"))).rfind("note of ", 0), 0u) << r;
      d4tagSelectP(f, d4tag(f, "BY_CLAIM"));
      EXPECT_EQ(d4seek(f, claimKey(claim, type).c_str()), 0) << "record " << r;
      EXPECT_EQ(d4recNoLow(f), r);
      d4tagSelectP(f, d4tag(f, "BY_NAME"));
      for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      EXPECT_EQ(d4seek(f, name.c_str()), 0) << "record " << r;
      EXPECT_EQ(d4recNoLow(f), r);
      d4tagSelectP(f, 0);
    }
    EXPECT_EQ(d4close(f), 0);
    code4errorCode(ctx, 0);
  }
};

TEST_F(AtomicChange, AppendFailingAtAnyWriteAddsNothing) {
  C4Table t = d4open(ctx, dbf.c_str());
  ASSERT_NE(t, 0u);
  int32_t count = d4recCount(t);
  // Several appends, so that the failures also fall on page splits.
  for (long claim = 1005; claim < 1005 + 30 * 10; claim += 10) {
    fill(t, claim, false);
    const size_t sizeBefore = readBytes(dbf).size();
    int n = 1;
    for (;; ++n) {
      ASSERT_LT(n, 100) << "the append never went through";
      c4faultArm(TALVEX_FAULT_WRITE, n);
      int rc = d4append(t);
      c4faultClear();
      if (rc == 0) break;
      EXPECT_LT(rc, 0) << "fault " << n;
      EXPECT_NE(code4errorCode(ctx, 0), 0);
      EXPECT_EQ(readBytes(dbf).size(), sizeBefore) << "fault " << n;
      expectConsistent(count, "append of " + std::to_string(claim) + ", fault " + std::to_string(n));
      if (HasFatalFailure() || HasFailure()) return;
    }
    EXPECT_GT(n, 3) << "the append made fewer writes than expected: the fault missed it";
    ++count;
    EXPECT_EQ(d4recNoLow(t), count);
    EXPECT_EQ(str(d4field(t, "NAME")), nameOf(claim));
  }
  d4close(t);
  expectConsistent(count, "after the appends");
  if (HasFailure()) return;
  t = d4open(ctx, dbf.c_str());
  ASSERT_EQ(d4goLow(t, count, 0), 0);
  EXPECT_STREQ(f4memoStr(d4field(t, "NOTE")), "note of 1295");
  d4close(t);
}

// Exclusive with buffered appends: only the memo and the tags reach the file
// during the append, and a failure there must drop the buffered record.
TEST_F(AtomicChange, BufferedAppendFailingAtAnyWriteAddsNothing) {
  code4accessMode(ctx, 2);
  code4optimizeWrite(ctx, 1);
  C4Table t = d4open(ctx, dbf.c_str());
  ASSERT_NE(t, 0u) << error4text(ctx, 0);
  int32_t count = d4recCount(t);
  for (long claim = 2005; claim < 2005 + 25 * 10; claim += 10) {
    fill(t, claim, false);
    int n = 1;
    for (;; ++n) {
      ASSERT_LT(n, 100) << "the append never went through";
      c4faultArm(TALVEX_FAULT_WRITE, n);
      int rc = d4append(t);
      c4faultClear();
      if (rc == 0) break;
      EXPECT_LT(rc, 0) << "fault " << n;
      code4errorCode(ctx, 0);
      expectConsistent(count, "append of " + std::to_string(claim) + ", fault " + std::to_string(n), t);
      if (HasFailure()) return;
    }
    EXPECT_GT(n, 1) << "the fault missed the append";
    ++count;
  }
  ASSERT_EQ(d4close(t), 0) << error4text(ctx, 0);
  code4accessMode(ctx, 0);
  expectConsistent(count, "after the buffered appends");
}

// The same for a record write that moves keys, by each way a change is
// written: d4writeLow, d4flush and a move off the record.
TEST_F(AtomicChange, KeyChangingWriteFailingAtAnyWriteKeepsTagsAndDataInStep) {
  enum Way { WriteLow, Flush, Move };
  const int32_t count = 60;
  for (Way way : {WriteLow, Flush, Move}) {
    SCOPED_TRACE("way " + std::to_string(way));
    C4Table t = d4open(ctx, dbf.c_str());
    ASSERT_NE(t, 0u);
    for (int32_t rec : {3, 30, 59}) {
      const long claim = 5000 + way * 100 + rec;
      ASSERT_EQ(d4goLow(t, rec, 0), 0);
      const std::string oldName = str(d4field(t, "NAME"));
      f4assignInt(d4field(t, "CLAIM"), claim);
      f4assign(d4field(t, "ID_TYPE"), "FACC");
      f4assign(d4field(t, "NAME"), nameOf(claim).c_str());
      f4memoAssign(d4field(t, "NOTE"), ("note of " + std::to_string(claim) + " changed").c_str());
      int n = 1;
      for (;; ++n) {
        ASSERT_LT(n, 100) << "the write never went through";
        c4faultArm(TALVEX_FAULT_WRITE, n);
        int rc = way == WriteLow ? d4writeLow(t, rec, 0, 1)
                 : way == Flush  ? d4flush(t)
                                 : d4goLow(t, rec == 3 ? 4 : 3, 0);
        c4faultClear();
        if (rc == 0) break;
        EXPECT_LT(rc, 0);
        code4errorCode(ctx, 0);
        expectConsistent(count, "record " + std::to_string(rec) + ", fault " + std::to_string(n));
        if (HasFailure()) return;
        // The record is either untouched or wholly changed.
        C4Table f = d4open(ctx, dbf.c_str());
        ASSERT_EQ(d4goLow(f, rec, 0), 0);
        std::string now = str(d4field(f, "NAME"));
        EXPECT_TRUE(now == oldName || now == nameOf(claim)) << now;
        d4close(f);
        if (way == Move) {
          ASSERT_EQ(d4recNoLow(t), rec);
        }
      }
      EXPECT_GT(n, 2) << "the write made fewer writes than expected: the fault missed it";
      C4Table f = d4open(ctx, dbf.c_str());
      d4tagSelectP(f, d4tag(f, "BY_CLAIM"));
      EXPECT_EQ(d4seek(f, claimKey(claim, "FACC").c_str()), 0);
      EXPECT_EQ(d4recNoLow(f), rec);
      d4close(f);
    }
    d4close(t);
    expectConsistent(count, "after the writes");
  }
}

}  // namespace
