// Memo files: space given up by changed memos is reused, d4pack compacts the
// .dbt (and fails cleanly), damaged memo files give e4memo naming file and
// block, and level 7 tables are refused by name.
#include <cstring>
#include <random>

#include "platform/testing/fault_seam.h"
#include "engine_test_util.h"
#include "memo_fixture.h"
#include "../common/copy_over.h"

using namespace enginetest;

namespace {

const C4FieldInfo kMemoFields[] = {{"ID", 'N', 6, 0}, {"NOTE", 'M', 10, 0}, {nullptr, 0, 0, 0}};

std::string memoText(std::mt19937& rng, int rec, int round) {
  size_t len = 20 + rng() % 3000;
  std::string s = "r" + std::to_string(rec) + "/" + std::to_string(round) + ":";
  s.resize(len, static_cast<char>('a' + (rec * 7 + round) % 26));
  return s;
}

uint64_t fileSize(const std::string& p) { return std::filesystem::file_size(p); }

// Every record's memo as we expect it, read through a fresh open.
void expectMemos(C4Context ctx, const std::string& path, const std::vector<std::string>& want) {
  C4Table t = d4open(ctx, path.c_str());
  ASSERT_NE(t, 0u) << error4text(ctx, code4errorCode(ctx, 0));
  ASSERT_EQ(static_cast<size_t>(d4recCount(t)), want.size());
  for (size_t r = 1; r <= want.size(); ++r) {
    ASSERT_EQ(d4goLow(t, static_cast<int32_t>(r), 0), 0);
    C4Field f = d4field(t, "NOTE");
    EXPECT_EQ(std::string(f4memoStr(f), f4memoLen(f)), want[r - 1]) << "record " << r;
  }
  d4close(t);
}

TEST(MemoSpace, RewrittenMemosReuseTheirBlocksAndPackLeavesOnlyLiveMemos) {
  ScratchDir dir;
  Ctx ctx;
  std::string path = dir.file("grow.dbf"), dbt = dir.file("grow.dbt");
  C4Table t = d4create(ctx, path.c_str(), kMemoFields, nullptr);
  ASSERT_NE(t, 0u);
  std::mt19937 rng(16);
  const int n = 80;
  std::vector<std::string> live(n);
  for (int r = 0; r < n; ++r) {
    live[r] = memoText(rng, r, 0);
    ASSERT_EQ(d4appendBlank(t), 0);
    f4assignInt(d4field(t, "ID"), r + 1);
    ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), live[r].c_str()), 0);
  }
  ASSERT_EQ(d4flush(t), 0);
  auto liveBytes = [&] {
    uint64_t s = 512;
    for (const std::string& m : live) s += m.empty() ? 0 : m.size() + 8;
    return s;
  };
  auto liveBlocks = [&] {
    uint64_t s = 512;
    for (const std::string& m : live) s += m.empty() ? 0 : (m.size() + 8 + 511) / 512 * 512;
    return s;
  };
  double worst = 0, worstBlocks = 0;
  for (int round = 1; round <= 10; ++round) {
    for (int r = 0; r < n; ++r) {
      // Every fifth memo is emptied now and then, to free whole memos too.
      live[r] = (r % 5 == 0 && round % 3 == 0) ? "" : memoText(rng, r, round);
      ASSERT_EQ(d4goLow(t, r + 1, 0), 0);
      ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), live[r].c_str()), 0);
    }
    ASSERT_EQ(d4flush(t), 0);
    double ratio = static_cast<double>(fileSize(dbt)) / static_cast<double>(liveBytes());
    worst = std::max(worst, ratio);
    worstBlocks = std::max(worstBlocks, static_cast<double>(fileSize(dbt)) / static_cast<double>(liveBlocks()));
    EXPECT_LE(ratio, 2.0) << "round " << round << ": .dbt " << fileSize(dbt) << " bytes for "
                          << liveBytes() << " live";
  }
  std::printf("memo growth: %d memos rewritten 10 times, .dbt at most %.2fx its live bytes"
              " (%.2fx the whole blocks they take)\n", n, worst, worstBlocks);
  ASSERT_EQ(d4close(t), 0);
  expectMemos(ctx, path, live);

  // Delete every third record; pack keeps only the memos of the others.
  t = d4open(ctx, path.c_str());
  ASSERT_NE(t, 0u);
  std::vector<std::string> kept;
  for (int r = 0; r < n; ++r) {
    ASSERT_EQ(d4goLow(t, r + 1, 0), 0);
    if (r % 3 == 1) ASSERT_EQ(d4delete(t), 0);
    else kept.push_back(live[r]);
  }
  uint64_t before = fileSize(dbt);
  ASSERT_EQ(d4pack(t), 0) << error4text(ctx, code4errorCode(ctx, 0));
  ASSERT_EQ(d4close(t), 0);
  live = kept;
  uint64_t memos = 0;
  for (const std::string& m : live) memos += m.empty() ? 0 : 1;
  uint64_t after = fileSize(dbt);
  EXPECT_LE(after, liveBytes() + 512 * memos);
  std::printf("memo pack: .dbt %llu -> %llu bytes, live %llu bytes in %llu memos (%.2f blocks of slack per memo)\n",
              static_cast<unsigned long long>(before), static_cast<unsigned long long>(after),
              static_cast<unsigned long long>(liveBytes()), static_cast<unsigned long long>(memos),
              static_cast<double>(after - liveBytes()) / 512.0 / static_cast<double>(memos));
  expectMemos(ctx, path, live);
  // The compacted file takes new memos as usual.
  t = d4open(ctx, path.c_str());
  ASSERT_EQ(d4goLow(t, 2, 0), 0);
  live[1] = std::string(5000, 'n');
  ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), live[1].c_str()), 0);
  ASSERT_EQ(d4close(t), 0);
  expectMemos(ctx, path, live);
}

// Held exclusively, the engine keeps the free chain's links in memory instead of
// re-reading them; the file it writes must be the one a shared writer writes.
TEST(MemoSpace, AnExclusiveWriterLeavesTheSameMemoFileAsASharedOne) {
  ScratchDir sharedDir, aloneDir;  // one table name: the .dbt header carries it
  auto churn = [&](ScratchDir& dir, const std::string& name, int mode) {
    Ctx ctx;
    std::string path = dir.file("churn.dbf");
    C4Table t = d4create(ctx, path.c_str(), kMemoFields, nullptr);
    EXPECT_NE(t, 0u);
    EXPECT_EQ(d4close(t), 0);
    code4accessMode(ctx, mode);
    t = d4open(ctx, path.c_str());
    EXPECT_NE(t, 0u) << error4text(ctx, code4errorCode(ctx, 0));
    std::mt19937 rng(7);
    const int n = 40;
    std::vector<std::string> live(n);
    for (int r = 0; r < n; ++r) {
      live[r] = memoText(rng, r, 0);
      EXPECT_EQ(d4appendBlank(t), 0);
      EXPECT_EQ(f4memoAssign(d4field(t, "NOTE"), live[r].c_str()), 0);
    }
    for (int round = 1; round <= 6; ++round) {
      for (int r = 0; r < n; ++r) {
        live[r] = (r % 4 == round % 4) ? "" : memoText(rng, r, round);
        EXPECT_EQ(d4goLow(t, r + 1, 0), 0);
        EXPECT_EQ(f4memoAssign(d4field(t, "NOTE"), live[r].c_str()), 0);
      }
      EXPECT_EQ(d4flush(t), 0);
    }
    for (int r = 0; r < n; ++r) {  // read back through the same handle, links kept
      EXPECT_EQ(d4goLow(t, r + 1, 0), 0);
      C4Field f = d4field(t, "NOTE");
      EXPECT_EQ(std::string(f4memoStr(f), f4memoLen(f)), live[r]) << name << " record " << r + 1;
    }
    EXPECT_EQ(d4close(t), 0);
    code4accessMode(ctx, 0);
    expectMemos(ctx, path, live);
    return readBytes(dir.file("churn.dbt"));
  };
  std::vector<unsigned char> shared = churn(sharedDir, "shared", 0),
                             alone = churn(aloneDir, "alone", 2);
  EXPECT_GT(shared.size(), 512u);
  EXPECT_TRUE(shared == alone) << "the exclusive writer's .dbt differs (" << alone.size()
                               << " bytes against " << shared.size() << ")";
}

// A memo that grows out of its blocks frees them; the next memo that fits
// takes them instead of growing the file; a shrunken memo gives back its tail.
TEST(MemoSpace, FreedBlocksGoOnTheChainAndAreTakenFirst) {
  ScratchDir dir;
  Ctx ctx;
  std::string path = dir.file("chain.dbf"), dbt = dir.file("chain.dbt");
  C4Table t = d4create(ctx, path.c_str(), kMemoFields, nullptr);
  ASSERT_NE(t, 0u);
  std::vector<std::string> want = {std::string(1500, 'a'), std::string(100, 'b'), std::string(100, 'c')};
  for (const std::string& m : want) {
    ASSERT_EQ(d4appendBlank(t), 0);
    ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), m.c_str()), 0);
  }
  ASSERT_EQ(d4flush(t), 0);
  // Blocks: 0 header, 1-3 a, 4 b, 5 c; the file ends at 6.
  ASSERT_EQ(fileSize(dbt), 6u * 512);
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  want[0] = std::string(2000, 'A');  // needs 4 blocks: moves to 6-9, frees 1-3
  ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), want[0].c_str()), 0);
  ASSERT_EQ(d4flush(t), 0);
  std::vector<unsigned char> b = readBytes(dbt);
  ASSERT_EQ(b.size(), 10u * 512);
  EXPECT_EQ(get32le(b, 0), 1u);            // header -> run at 1
  EXPECT_EQ(get32le(b, 512), 10u);         // run 1 -> the file's end
  EXPECT_EQ(get32le(b, 512 + 4), 3u);      // of 3 blocks
  ASSERT_EQ(d4goLow(t, 2, 0), 0);
  want[1] = std::string(900, 'B');  // 2 blocks: taken from the run at 1
  ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), want[1].c_str()), 0);
  ASSERT_EQ(d4flush(t), 0);
  b = readBytes(dbt);
  EXPECT_EQ(b.size(), 10u * 512) << "the file grew although a free run fitted";
  EXPECT_EQ(std::string(f4str(d4field(t, "NOTE")), 10), "0000000001");
  // Now free: 3 (rest of the run) and 4 (b's old block), merged into one run.
  EXPECT_EQ(get32le(b, 0), 3u);
  EXPECT_EQ(get32le(b, 3 * 512), 10u);
  EXPECT_EQ(get32le(b, 3 * 512 + 4), 2u);
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  want[0] = "short now";  // never over its own blocks: takes 3, gives back 6-9
  ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), want[0].c_str()), 0);
  ASSERT_EQ(d4goLow(t, 3, 0), 0);
  EXPECT_EQ(std::string(f4str(d4field(t, "NOTE")), 10), "0000000005");
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  EXPECT_EQ(std::string(f4str(d4field(t, "NOTE")), 10), "0000000003");
  ASSERT_EQ(d4goLow(t, 3, 0), 0);
  want[2] = "";  // gives back 5, which joins 4
  ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), want[2].c_str()), 0);
  ASSERT_EQ(d4close(t), 0);
  b = readBytes(dbt);
  ASSERT_EQ(b.size(), 4u * 512);  // 4-9 were free up to the file's end: cut off
  EXPECT_EQ(get32le(b, 0), 4u);   // no free run: the next block to append
  expectMemos(ctx, path, want);
}

TEST(MemoSpace, PackOfADBaseIIITableCompactsItsMemoFile) {
  ScratchDir dir;
  Ctx ctx;
  std::string base = dir.file("three");
  MemoTableShape s;
  s.version = 0x83;
  s.memos = {std::string(700, 'x'), "gone", "", "kept"};
  writeMemoTable(base, s);
  C4Table t = d4open(ctx, (base + ".dbf").c_str());
  ASSERT_NE(t, 0u);
  ASSERT_EQ(d4goLow(t, 2, 0), 0);
  ASSERT_EQ(d4delete(t), 0);
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), "first, moved"), 0);  // III: appended
  ASSERT_EQ(d4pack(t), 0) << error4text(ctx, code4errorCode(ctx, 0));
  ASSERT_EQ(d4close(t), 0);
  std::vector<unsigned char> b = readBytes(base + ".dbt");
  EXPECT_EQ(b.size(), 3u * 512);  // header, "first, moved", "kept"
  EXPECT_EQ(get32le(b, 0), 3u);
  EXPECT_EQ(b[16], 0x03);
  expectMemos(ctx, base + ".dbf", {"first, moved", "", "kept"});
  std::vector<unsigned char> dbf = readBytes(base + ".dbf");
  EXPECT_EQ(std::string(dbf.begin() + 97 + 5, dbf.begin() + 97 + 15), "         1");  // III right-aligned
}

// A pack whose memo rewrite fails leaves .dbf and .dbt byte for byte as they
// were and says why.
TEST(MemoSpace, APackWhoseMemoRewriteFailsChangesNothing) {
  ScratchDir dir;
  std::string base = dir.file("fail");
  MemoTableShape s;
  s.memos = {"one", "two", "three", "four"};
  writeMemoTable(base, s);
  {  // a deleted record, so pack has work to do
    Ctx ctx;
    C4Table t = d4open(ctx, (base + ".dbf").c_str());
    ASSERT_EQ(d4goLow(t, 2, 0), 0);
    ASSERT_EQ(d4delete(t), 0);
    ASSERT_EQ(d4close(t), 0);
  }
  std::vector<unsigned char> dbf = readBytes(base + ".dbf"), dbt = readBytes(base + ".dbt");
  struct Case {
    const char* what;
    int op;     // fault armed, or -1 for a damaged memo
    int code;
  };
  for (Case c : {Case{"the new memo file cannot be created", TALVEX_FAULT_CREATE, e4create},
                 Case{"the new table cannot take its finished name", TALVEX_FAULT_MOVE, e4write},
                 Case{"a kept record's memo is damaged", -1, e4memo}}) {
    std::vector<unsigned char> bad = dbt;
    if (c.op < 0) bad[3 * 512 + 7] = 0x7F;  // "three" claims a length past the end
    writeBytes(base + ".dbt", bad);
    writeBytes(base + ".dbf", dbf);
    Ctx ctx;
    code4accessMode(ctx, 2);
    C4Table t = d4open(ctx, (base + ".dbf").c_str());
    ASSERT_NE(t, 0u) << c.what;
    if (c.op >= 0) c4faultArm(c.op, 1);
    EXPECT_EQ(d4pack(t), c.code) << c.what;
    c4faultClear();
    std::string text = error4text(ctx, code4errorCode(ctx, 0));
    EXPECT_NE(text.find("pack stopped"), std::string::npos) << c.what << ": " << text;
    d4close(t);
    EXPECT_EQ(readBytes(base + ".dbf"), dbf) << c.what;
    EXPECT_EQ(readBytes(base + ".dbt"), bad) << c.what;
    EXPECT_FALSE(std::filesystem::exists(dir.file("fail.pbt"))) << c.what;
    EXPECT_FALSE(std::filesystem::exists(dir.file("fail.pkt"))) << c.what;
    EXPECT_FALSE(std::filesystem::exists(dir.file("fail.pkd"))) << c.what;
  }
}

// Damage beyond what real programs leave: e4memo naming the file and the
// block, and no read outside the file, no endless walk.
TEST(MemoDamage, GivesTheMemoErrorWithFileAndBlock) {
  ScratchDir dir;
  std::string base = dir.file("dmg");
  MemoTableShape s;
  s.memos = {"alpha", std::string(600, 'b'), "gamma"};
  std::vector<unsigned char> good = writeMemoTable(base, s);
  Ctx ctx;

  {  // dBASE IV block size 0
    std::vector<unsigned char> b = good;
    b[20] = b[21] = 0;
    writeBytes(base + ".dbt", b);
    EXPECT_EQ(d4open(ctx, (base + ".dbf").c_str()), 0u);
    int code = code4errorCode(ctx, 0);
    EXPECT_EQ(code, e4memo);
    std::string text = error4text(ctx, code);
    EXPECT_NE(text.find("dmg.dbt"), std::string::npos) << text;
    EXPECT_NE(text.find("block size 0"), std::string::npos) << text;
  }
  struct Read {
    const char* what;
    size_t at;
    uint32_t value;
    int rec;
    const char* block;
  };
  for (Read c : {Read{"a length past the end", 512 + 4, 100000, 1, "block 1"},
                 Read{"a block that starts no memo", 2 * 512, 0x41414141, 2, "block 2"}}) {
    std::vector<unsigned char> b = good;
    put32le(b, c.at, c.value);
    writeBytes(base + ".dbt", b);
    C4Table t = d4open(ctx, (base + ".dbf").c_str());
    ASSERT_NE(t, 0u) << c.what;
    ASSERT_EQ(d4goLow(t, c.rec, 0), 0);
    EXPECT_STREQ(f4memoStr(d4field(t, "NOTE")), "") << c.what;
    int code = code4errorCode(ctx, 0);
    EXPECT_EQ(code, e4memo) << c.what;
    std::string text = error4text(ctx, code);
    EXPECT_NE(text.find("dmg.dbt " + std::string(c.block)), std::string::npos) << c.what << ": " << text;
    d4close(t);
  }
  {  // a record pointing past the end of the .dbt
    writeBytes(base + ".dbt", good);
    std::vector<unsigned char> dbf = readBytes(base + ".dbf");
    std::memcpy(dbf.data() + 97 + 2 * 15 + 5, "0000000099", 10);
    writeBytes(base + ".dbf", dbf);
    C4Table t = d4open(ctx, (base + ".dbf").c_str());
    ASSERT_NE(t, 0u);
    ASSERT_EQ(d4goLow(t, 3, 0), 0);
    EXPECT_STREQ(f4memoStr(d4field(t, "NOTE")), "");
    std::string text = error4text(ctx, code4errorCode(ctx, 0));
    EXPECT_NE(text.find("dmg.dbt block 99"), std::string::npos) << text;
    // Copied field to field (as a table copy does, singly or by list), the
    // memo is the same error, and the destination keeps what it had.
    writeMemoTable(base + "y", s);
    C4Table y = d4open(ctx, (base + "y.dbf").c_str());
    ASSERT_NE(y, 0u);
    ASSERT_EQ(d4goLow(y, 1, 0), 0);
    const C4Field to = d4field(y, "NOTE"), from = d4field(t, "NOTE");
    EXPECT_EQ(f4assignField(to, from), e4memo);
    text = error4text(ctx, code4errorCode(ctx, 0));
    EXPECT_NE(text.find("dmg.dbt block 99"), std::string::npos) << text;
    EXPECT_EQ(f4assignFields(&to, &from, 1), e4memo);
    code4errorCode(ctx, 0);
    EXPECT_STREQ(f4memoStr(to), "alpha");
    d4close(y);
    d4close(t);
  }
  {  // a free chain that loops: the write fails, it does not hang
    std::vector<unsigned char> b = good;
    // Two free runs of one block each that lead to each other. Blocks 2-3
    // belong to record 2, whose memo is dropped from the record first.
    put32le(b, 0, 2);
    put32le(b, 2 * 512, 3);
    put32le(b, 2 * 512 + 4, 1);
    put32le(b, 3 * 512, 2);
    put32le(b, 3 * 512 + 4, 1);
    writeBytes(base + ".dbt", b);
    writeMemoTable(base + "x", s);  // a sound .dbf
    talvex::testing::CopyFileOver(base + "x.dbf", base + ".dbf");
    std::vector<unsigned char> dbf = readBytes(base + ".dbf");
    std::memcpy(dbf.data() + 97 + 15 + 5, "          ", 10);
    writeBytes(base + ".dbf", dbf);
    C4Table t = d4open(ctx, (base + ".dbf").c_str());
    ASSERT_NE(t, 0u);
    ASSERT_EQ(d4goLow(t, 1, 0), 0);
    ASSERT_EQ(f4memoAssign(d4field(t, "NOTE"), std::string(3000, 'z').c_str()), 0);
    EXPECT_EQ(d4flush(t), e4memo);
    std::string text = error4text(ctx, code4errorCode(ctx, 0));
    EXPECT_NE(text.find("dmg.dbt block"), std::string::npos) << text;
    EXPECT_NE(text.find("loops"), std::string::npos) << text;
    d4close(t);
    code4errorCode(ctx, 0);
  }
}

// Level 7 tables (version 0x04, 0x8C: a 68-byte header with the language
// driver name, 48-byte field descriptors) are refused by name.
TEST(Level7, IsRefusedWithATextSayingWhatTheFileIs) {
  ScratchDir dir;
  for (unsigned char version : {0x04, 0x8C}) {
    std::vector<unsigned char> b(68 + 48 + 1 + 12 + 1, 0);
    b[0] = version;
    b[1] = 124;
    b[2] = 1;
    b[3] = 1;
    b[4] = 1;  // one record
    b[8] = 68 + 48 + 1;
    b[10] = 12;
    std::memcpy(b.data() + 32, "DBWINUS0", 8);
    std::memcpy(b.data() + 68, "AMOUNT", 6);
    b[68 + 32] = 'I';
    b[68 + 33] = 4;
    b[68 + 48] = 0x0D;
    b[68 + 49] = ' ';
    writeBytes(dir.file("seven.dbf"), b);
    Ctx ctx;
    EXPECT_EQ(d4open(ctx, dir.file("seven.dbf").c_str()), 0u);
    int code = code4errorCode(ctx, 0);
    EXPECT_EQ(code, e4data);
    std::string text = error4text(ctx, code);
    EXPECT_NE(text.find("seven.dbf is a dBASE level 7 table, which this engine does not open"),
              std::string::npos)
        << text;
  }
}

}  // namespace
