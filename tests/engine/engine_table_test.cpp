// The .dbf/.dbt core through the C API on real files: creation, appends,
// field conversions, memos, the record buffer, sharing between handles,
// deletion and pack.
#include <cstring>
#include <ctime>

#include "engine_test_util.h"

using namespace enginetest;

namespace {

const C4FieldInfo kFields[] = {
    {"NAME", 'C', 20, 0}, {"AMOUNT", 'N', 10, 2}, {"RATE", 'F', 8, 3}, {"BORN", 'D', 8, 0},
    {"ACTIVE", 'L', 1, 0}, {"NOTES", 'M', 10, 0}, {"COUNT", 'N', 5, 0}, {nullptr, 0, 0, 0}};

uint32_t u32(const std::vector<unsigned char>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

class TableTest : public ::testing::Test {
 protected:
  ScratchDir dir;
  Ctx ctx;
  std::string path() { return dir.file("people.dbf"); }
  C4Table create() {
    C4Table t = d4create(ctx, path().c_str(), kFields, nullptr);
    EXPECT_NE(t, 0u) << error4text(ctx, code4errorCode(ctx, 0));
    return t;
  }
};

TEST_F(TableTest, WritesValuesThatReadBackAfterReopen) {
  C4Table t = create();
  ASSERT_EQ(d4appendBlank(t), 0);
  EXPECT_EQ(f4assign(d4field(t, "name"), "Alice"), 0);
  EXPECT_EQ(f4assignDouble(d4field(t, "AMOUNT"), 1234.5), 0);
  EXPECT_EQ(f4assignDouble(d4field(t, "RATE"), 0.1255), 0);
  EXPECT_EQ(f4assign(d4field(t, "BORN"), "19800229"), 0);
  EXPECT_EQ(f4assign(d4field(t, "ACTIVE"), "Y"), 0);
  EXPECT_EQ(f4memoAssign(d4field(t, "NOTES"), "first memo"), 0);
  EXPECT_EQ(f4assignInt(d4field(t, "COUNT"), -42), 0);
  ASSERT_EQ(d4appendStart(t, 0), 0);
  ASSERT_EQ(d4blank(t), 0);
  f4assign(d4field(t, "NAME"), "Bob");
  ASSERT_EQ(d4append(t), 0);
  EXPECT_EQ(d4recCount(t), 2);
  ASSERT_EQ(d4close(t), 0);

  t = d4open(ctx, dir.file("PEOPLE").c_str());  // no extension, other case
  ASSERT_NE(t, 0u) << error4text(ctx, 0);
  ASSERT_EQ(d4top(t), 0);
  EXPECT_EQ(str(d4field(t, "NAME")), "Alice");
  EXPECT_STREQ(f4str(d4field(t, "AMOUNT")), "   1234.50");
  EXPECT_STREQ(f4str(d4field(t, "RATE")), "   0.126");  // half away from zero on 0.1255
  EXPECT_STREQ(f4str(d4field(t, "BORN")), "19800229");
  EXPECT_EQ(f4true(d4field(t, "ACTIVE")), 1);
  EXPECT_STREQ(f4memoStr(d4field(t, "NOTES")), "first memo");
  EXPECT_EQ(f4int(d4field(t, "COUNT")), -42);
  double v = 0;
  EXPECT_EQ(f4double2(d4field(t, "AMOUNT"), &v), 0);
  EXPECT_DOUBLE_EQ(v, 1234.5);
  ASSERT_EQ(d4skip(t, 1), 0);
  EXPECT_EQ(str(d4field(t, "NAME")), "Bob");
  EXPECT_STREQ(f4str(d4field(t, "AMOUNT")), "          ");
  EXPECT_EQ(f4int(d4field(t, "AMOUNT")), 0);  // blank reads as 0
  EXPECT_EQ(f4memoLen(d4field(t, "NOTES")), 0u);
  EXPECT_EQ(d4skip(t, 1), r4eof);
  EXPECT_NE(d4eof(t), 0);
  EXPECT_EQ(d4skip(t, -1), 0);
  EXPECT_EQ(d4recNoLow(t), 2);
  ASSERT_EQ(d4close(t), 0);

  // Header: dBASE IV with memo, count, today's date, exact end with 0x1A.
  std::vector<unsigned char> b = readBytes(path());
  ASSERT_GT(b.size(), 32u);
  EXPECT_EQ(b[0], 0x8B);
  EXPECT_EQ(u32(b, 4), 2u);
  size_t hl = b[8] | (b[9] << 8), rl = b[10] | (b[11] << 8);
  EXPECT_EQ(hl, 32u + 32 * 7 + 1);
  EXPECT_EQ(rl, 1u + 20 + 10 + 8 + 8 + 1 + 10 + 5);
  EXPECT_EQ(b.size(), hl + 2 * rl + 1);
  EXPECT_EQ(b.back(), 0x1A);
  EXPECT_EQ(b[hl - 1], 0x0D);
  std::time_t now = std::time(nullptr);
  std::tm tm = *std::localtime(&now);
  EXPECT_EQ(b[1], tm.tm_year);
  EXPECT_EQ(b[2], tm.tm_mon + 1);
  EXPECT_EQ(b[3], tm.tm_mday);
  EXPECT_EQ(b[28], 0);  // no production index
  // dBASE IV memo pointer is zero-padded.
  std::string ptr(reinterpret_cast<const char*>(&b[hl + 1 + 20 + 10 + 8 + 8 + 1]), 10);
  EXPECT_EQ(ptr, "0000000001");
}

TEST_F(TableTest, NumericLayoutRoundingAndOverflow) {
  C4Table t = create();
  ASSERT_EQ(d4appendBlank(t), 0);
  C4Field amount = d4field(t, "AMOUNT"), count = d4field(t, "COUNT"), name = d4field(t, "NAME");
  struct Case { double in; const char* out; } cases[] = {
      {2.675, "      2.68"}, {-2.675, "     -2.68"}, {0.5, "      0.50"}, {-0.004, "      0.00"},
      {9999999.994, "9999999.99"}, {1e-7, "      0.00"}, {-0.005, "     -0.01"}};
  for (const Case& c : cases) {
    EXPECT_EQ(f4assignDouble(amount, c.in), 0) << c.in;
    EXPECT_STREQ(f4str(amount), c.out) << c.in;
  }
  // Too wide: asterisks over the whole width and an error, never a wrong number.
  EXPECT_EQ(f4assignDouble(amount, 99999999.995), e4field);
  EXPECT_STREQ(f4str(amount), "**********");
  double v = 1;
  EXPECT_EQ(f4double2(amount, &v), e4field);
  code4errorCode(ctx, 0);
  EXPECT_EQ(f4assignInt(count, 123456), e4field);
  EXPECT_STREQ(f4str(count), "*****");
  EXPECT_EQ(f4assignInt(count, -9999), 0);
  EXPECT_STREQ(f4str(count), "-9999");
  // Text into a number field is read as a number and laid out again.
  EXPECT_EQ(f4assign(amount, "  -12.5"), 0);
  EXPECT_STREQ(f4str(amount), "    -12.50");
  EXPECT_EQ(f4assign(amount, "12x"), e4field);
  EXPECT_STREQ(f4str(amount), "    -12.50");  // unchanged
  EXPECT_EQ(f4assign(amount, ""), 0);
  EXPECT_STREQ(f4str(amount), "          ");
  // Numbers into a character field are right-aligned, as claim keys are.
  EXPECT_EQ(f4assignInt(name, 1234), 0);
  EXPECT_STREQ(f4str(name), "                1234");
  code4errorCode(ctx, 0);
  d4close(t);
}

TEST_F(TableTest, DatesLogicalsAndCharacterWidths) {
  C4Table t = create();
  ASSERT_EQ(d4appendBlank(t), 0);
  C4Field born = d4field(t, "BORN"), active = d4field(t, "ACTIVE"), name = d4field(t, "NAME");
  EXPECT_EQ(f4assign(born, "20240229"), 0);
  EXPECT_EQ(f4assign(born, "20230229"), e4field);
  EXPECT_STREQ(f4str(born), "20240229");
  EXPECT_EQ(f4assign(born, "2024-01-01"), e4field);
  EXPECT_EQ(f4assign(born, "00000000"), 0);  // the other blank form
  EXPECT_STREQ(f4str(born), "        ");
  EXPECT_EQ(f4assign(active, "n"), 0);
  EXPECT_STREQ(f4str(active), "F");
  EXPECT_EQ(f4true(active), 0);
  EXPECT_EQ(f4assign(active, "x"), e4field);
  EXPECT_EQ(f4true(name), e4field);
  EXPECT_EQ(f4assign(name, "a text that is longer than twenty"), 0);
  EXPECT_STREQ(f4str(name), "a text that is longe");
  EXPECT_EQ(f4assignN(name, "ab\0cd", 5), 0);
  EXPECT_EQ(std::memcmp(f4str(name), "ab\0cd   ", 8), 0);
  EXPECT_EQ(f4len(name), 20);
  EXPECT_EQ(f4type(d4field(t, "RATE")), 'F');
  EXPECT_EQ(f4decimals(d4field(t, "RATE")), 3);
  EXPECT_STREQ(f4name(d4fieldJ(t, 6)), "NOTES");
  EXPECT_EQ(d4numFields(t), 7);
  EXPECT_EQ(d4fieldJ(t, 8), 0u);
  EXPECT_EQ(d4field(t, "NOPE"), 0u);
  EXPECT_EQ(code4errorCode(ctx, 0), e4field);
  d4close(t);
}

TEST_F(TableTest, AssignFieldConvertsBetweenTypesAndWidths) {
  const C4FieldInfo other[] = {{"TEXT", 'C', 6, 0}, {"NUM", 'N', 5, 0}, {"WIDE", 'N', 12, 4},
                               {"DAY", 'D', 8, 0}, {"FLAG", 'L', 1, 0}, {"MEMO", 'M', 10, 0},
                               {nullptr, 0, 0, 0}};
  C4Table a = create();
  C4Table b = d4create(ctx, dir.file("other.dbf").c_str(), other, nullptr);
  ASSERT_NE(b, 0u);
  ASSERT_EQ(d4appendBlank(a), 0);
  ASSERT_EQ(d4appendBlank(b), 0);
  f4assign(d4field(a, "NAME"), "  42.7abc");
  f4assignDouble(d4field(a, "AMOUNT"), 1234.56);
  f4assign(d4field(a, "BORN"), "19991231");
  f4assign(d4field(a, "ACTIVE"), "T");
  f4memoAssign(d4field(a, "NOTES"), "memo text");

  EXPECT_EQ(f4assignField(d4field(b, "NUM"), d4field(a, "NAME")), 0);  // VAL(): 42.7 -> 43
  EXPECT_STREQ(f4str(d4field(b, "NUM")), "   43");
  EXPECT_EQ(f4assignField(d4field(b, "NUM"), d4field(a, "AMOUNT")), 0);
  EXPECT_STREQ(f4str(d4field(b, "NUM")), " 1235");
  EXPECT_EQ(f4assignField(d4field(b, "WIDE"), d4field(a, "AMOUNT")), 0);
  EXPECT_STREQ(f4str(d4field(b, "WIDE")), "   1234.5600");
  EXPECT_EQ(f4assignField(d4field(b, "TEXT"), d4field(a, "AMOUNT")), e4field);  // 7 chars into 6
  EXPECT_STREQ(f4str(d4field(b, "TEXT")), "******");
  EXPECT_EQ(f4assignField(d4field(b, "TEXT"), d4field(a, "COUNT")), 0);  // blank number
  EXPECT_EQ(f4assignField(d4field(b, "TEXT"), d4field(a, "NAME")), 0);   // cut to 6
  EXPECT_STREQ(f4str(d4field(b, "TEXT")), "  42.7");
  EXPECT_EQ(f4assignField(d4field(b, "DAY"), d4field(a, "BORN")), 0);
  EXPECT_STREQ(f4str(d4field(b, "DAY")), "19991231");
  EXPECT_EQ(f4assignField(d4field(b, "FLAG"), d4field(a, "ACTIVE")), 0);
  EXPECT_STREQ(f4str(d4field(b, "FLAG")), "T");
  EXPECT_EQ(f4assignField(d4field(b, "MEMO"), d4field(a, "NOTES")), 0);
  ASSERT_EQ(d4flush(b), 0);
  ASSERT_EQ(d4flush(a), 0);
  EXPECT_STREQ(f4memoStr(d4field(b, "MEMO")), "memo text");
  code4errorCode(ctx, 0);
  d4close(b);
  b = d4open(ctx, dir.file("other.dbf").c_str());
  ASSERT_EQ(d4top(b), 0);
  EXPECT_STREQ(f4memoStr(d4field(b, "MEMO")), "memo text");
  EXPECT_STREQ(f4str(d4field(b, "WIDE")), "   1234.5600");
}

TEST_F(TableTest, MemosOfManyMegabytesAndBinaryBytes) {
  C4Table t = create();
  std::string big(5 * 1024 * 1024 + 123, 'x');
  for (size_t i = 0; i < big.size(); i += 997) big[i] = static_cast<char>(i % 251);
  std::string binary("a\0b\x1A\x1A" "c\xFF", 7);
  ASSERT_EQ(d4appendBlank(t), 0);
  ASSERT_EQ(f4memoAssignN(d4field(t, "NOTES"), big.data(), static_cast<uint32_t>(big.size())), 0);
  ASSERT_EQ(d4appendBlank(t), 0);
  ASSERT_EQ(f4memoAssignN(d4field(t, "NOTES"), binary.data(), 7), 0);
  ASSERT_EQ(d4close(t), 0);
  t = d4open(ctx, path().c_str());
  ASSERT_EQ(d4top(t), 0);
  C4Field notes = d4field(t, "NOTES");
  ASSERT_EQ(f4memoLen(notes), big.size());
  EXPECT_EQ(std::string(f4memoStr(notes), f4memoLen(notes)), big);
  ASSERT_EQ(d4skip(t, 1), 0);
  ASSERT_EQ(f4memoLen(notes), 7u);
  EXPECT_EQ(std::string(f4memoStr(notes), 7), binary);
  d4close(t);
}

TEST_F(TableTest, ChangedMemoNeverOverwritesAnotherRecordsMemo) {
  C4Table t = create();
  C4Field notes = d4field(t, "NOTES");
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(d4appendBlank(t), 0);
    ASSERT_EQ(f4memoAssign(notes, ("memo of record " + std::to_string(i + 1)).c_str()), 0);
  }
  ASSERT_EQ(d4flush(t), 0);
  // Grow record 1's memo beyond its block: it must move, record 2 stays.
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  std::string grown(3000, 'g');
  ASSERT_EQ(f4memoAssign(notes, grown.c_str()), 0);
  ASSERT_EQ(d4goLow(t, 2, 0), 0);
  EXPECT_STREQ(f4memoStr(notes), "memo of record 2");
  // A changed memo goes to other blocks, never over its own (a writer killed
  // before the record is written leaves the old memo whole).
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  std::string before = f4str(notes);
  ASSERT_EQ(f4memoAssign(notes, "short"), 0);
  ASSERT_EQ(d4writeLow(t, 1, 0, 1), 0);
  EXPECT_NE(std::string(f4str(notes)), before);
  EXPECT_STREQ(f4memoStr(notes), "short");
  // A copy made by appendStart(1) gets blocks of its own.
  ASSERT_EQ(d4goLow(t, 3, 0), 0);
  ASSERT_EQ(d4appendStart(t, 1), 0);
  ASSERT_EQ(d4append(t), 0);
  EXPECT_STREQ(f4memoStr(notes), "memo of record 3");
  ASSERT_EQ(f4memoAssign(notes, "changed copy"), 0);
  ASSERT_EQ(d4goLow(t, 3, 0), 0);
  EXPECT_STREQ(f4memoStr(notes), "memo of record 3");
  ASSERT_EQ(d4goLow(t, 4, 0), 0);
  EXPECT_STREQ(f4memoStr(notes), "changed copy");
  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  EXPECT_STREQ(f4memoStr(notes), "short");
  d4close(t);
}

TEST_F(TableTest, ChangesAreWrittenOnMoveFlushCloseAndWriteLow) {
  C4Table t = create();
  for (int i = 0; i < 3; ++i) ASSERT_EQ(d4appendBlank(t), 0);
  C4Table other = d4openClone(t);
  ASSERT_NE(other, 0u);
  C4Field name = d4field(t, "NAME"), otherName = d4field(other, "NAME");

  ASSERT_EQ(d4goLow(t, 1, 0), 0);
  f4assign(name, "moved");
  ASSERT_EQ(d4goLow(other, 1, 1), 0);
  EXPECT_EQ(str(otherName), "");  // not written yet
  ASSERT_EQ(d4skip(t, 1), 0);     // the move writes it
  ASSERT_EQ(d4goLow(other, 1, 1), 0);
  EXPECT_EQ(str(otherName), "moved");

  f4assign(name, "written");
  ASSERT_EQ(d4writeLow(t, 2, 0, 1), 0);
  ASSERT_EQ(d4goLow(other, 2, 1), 0);
  EXPECT_EQ(str(otherName), "written");

  ASSERT_EQ(d4goLow(t, 3, 0), 0);
  f4assign(name, "flushed");
  ASSERT_EQ(d4flush(t), 0);
  ASSERT_EQ(d4goLow(other, 3, 1), 0);
  EXPECT_EQ(str(otherName), "flushed");

  // Appends of one handle are seen by the other at once.
  ASSERT_EQ(d4appendBlank(other), 0);
  f4assign(otherName, "from clone");
  EXPECT_EQ(d4recCount(t), 4);
  ASSERT_EQ(d4close(other), 0);  // close writes the pending change
  ASSERT_EQ(d4goLow(t, 4, 1), 0);
  EXPECT_EQ(str(name), "from clone");
  // A second d4open of the same file in another context shares it too.
  Ctx second;
  C4Table again = d4open(second, path().c_str());
  ASSERT_NE(again, 0u);
  ASSERT_EQ(d4appendBlank(again), 0);
  EXPECT_EQ(d4recCount(t), 5);
  d4close(again);
  d4close(t);
}

TEST_F(TableTest, DeleteRecallAndPack) {
  C4Table t = create();
  C4Field count = d4field(t, "COUNT"), notes = d4field(t, "NOTES");
  for (int i = 1; i <= 6; ++i) {
    ASSERT_EQ(d4appendBlank(t), 0);
    f4assignInt(count, i);
    f4memoAssign(notes, ("note " + std::to_string(i)).c_str());
  }
  for (int r : {2, 3, 5}) {
    ASSERT_EQ(d4goLow(t, r, 0), 0);
    ASSERT_EQ(d4delete(t), 0);
  }
  ASSERT_EQ(d4goLow(t, 3, 0), 0);
  EXPECT_NE(d4deleted(t), 0);
  ASSERT_EQ(d4recall(t), 0);
  ASSERT_EQ(d4top(t), 0);
  ASSERT_EQ(d4goLow(t, 2, 0), 0);
  EXPECT_NE(d4deleted(t), 0);
  EXPECT_EQ(d4recCount(t), 6);  // marked, not removed
  ASSERT_EQ(d4pack(t), 0);
  EXPECT_EQ(d4recCount(t), 4);
  std::vector<long> seen;
  std::vector<std::string> memos;
  for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
    seen.push_back(f4int(count));
    memos.push_back(f4memoStr(notes));
    EXPECT_EQ(d4deleted(t), 0);
  }
  EXPECT_EQ(seen, (std::vector<long>{1, 3, 4, 6}));
  EXPECT_EQ(memos, (std::vector<std::string>{"note 1", "note 3", "note 4", "note 6"}));
  d4close(t);
  std::vector<unsigned char> b = readBytes(path());
  size_t hl = b[8] | (b[9] << 8), rl = b[10] | (b[11] << 8);
  EXPECT_EQ(u32(b, 4), 4u);
  EXPECT_EQ(b.size(), hl + 4 * rl + 1);
  EXPECT_EQ(b.back(), 0x1A);
}

TEST_F(TableTest, EmptyTableMovesAndEndsOfFile) {
  C4Table t = create();
  EXPECT_EQ(d4top(t), r4eof);
  EXPECT_NE(d4eof(t), 0);
  EXPECT_EQ(d4bottom(t), r4eof);
  EXPECT_EQ(d4skip(t, 1), r4eof);
  EXPECT_EQ(d4goLow(t, 1, 0), e4record);
  ASSERT_EQ(d4appendBlank(t), 0);
  ASSERT_EQ(d4appendBlank(t), 0);
  EXPECT_EQ(d4top(t), 0);
  EXPECT_EQ(d4skip(t, -1), r4bof);
  EXPECT_NE(d4bof(t), 0);
  EXPECT_EQ(d4recNoLow(t), 1);
  EXPECT_EQ(d4bottom(t), 0);
  EXPECT_EQ(d4recNoLow(t), 2);
  EXPECT_EQ(d4skip(t, 5), r4eof);
  EXPECT_EQ(d4recNoLow(t), 3);
  code4errorCode(ctx, 0);
  d4close(t);
}

TEST_F(TableTest, ContextAliasesErrorsAndStaleHandles) {
  C4Table t = create();
  EXPECT_EQ(code4data(ctx, "PeOpLe"), t);
  EXPECT_EQ(code4data(ctx, "nothere"), 0u);
  EXPECT_STREQ(d4alias(t), "people");
  C4Field f = d4field(t, "NAME");
  EXPECT_EQ(code4autoOpen(ctx, 0), 1);
  EXPECT_EQ(code4accessMode(ctx, 1), 0);
  EXPECT_EQ(code4accessMode(ctx, 7), e4parm);
  EXPECT_EQ(code4optimizeWrite(ctx, 1), 0);
  ASSERT_EQ(d4close(t), 0);

  // Stale and made-up handles fail cleanly and leave the context usable.
  EXPECT_EQ(d4close(t), e4handle);
  EXPECT_EQ(d4top(t), e4handle);
  EXPECT_EQ(f4str(f), std::string());
  EXPECT_EQ(f4assign(f, "x"), e4handle);
  EXPECT_EQ(d4top(0), e4handle);
  EXPECT_EQ(d4top(0x12345678), e4handle);
  EXPECT_EQ(d4top(static_cast<C4Table>(ctx)), e4handle);  // a context is not a table
  EXPECT_EQ(code4errorCode(0xDEADBEEF, 0), e4handle);
  EXPECT_EQ(d4open(ctx, nullptr), 0u);
  EXPECT_EQ(code4errorCode(ctx, 0), e4parm);
  EXPECT_EQ(d4open(ctx, dir.file("missing.dbf").c_str()), 0u);
  EXPECT_EQ(code4errorCode(ctx, 0), e4open);
  EXPECT_NE(std::string(error4text(ctx, e4open)).find("missing.dbf"), std::string::npos);
  EXPECT_EQ(d4create(ctx, dir.file("bad.dbf").c_str(), nullptr, nullptr), 0u);
  const C4FieldInfo bad[] = {{"1X", 'C', 5, 0}, {nullptr, 0, 0, 0}};
  EXPECT_EQ(d4create(ctx, dir.file("bad.dbf").c_str(), bad, nullptr), 0u);
  const C4FieldInfo wide[] = {{"N", 'N', 25, 0}, {nullptr, 0, 0, 0}};
  EXPECT_EQ(d4create(ctx, dir.file("bad.dbf").c_str(), wide, nullptr), 0u);
  const C4FieldInfo type[] = {{"N", 'Q', 5, 0}, {nullptr, 0, 0, 0}};
  EXPECT_EQ(d4create(ctx, dir.file("bad.dbf").c_str(), type, nullptr), 0u);
  EXPECT_EQ(code4errorCode(ctx, 0), e4field);
  t = d4open(ctx, path().c_str());
  ASSERT_NE(t, 0u);
  EXPECT_EQ(f4double2(d4field(t, "AMOUNT"), nullptr), e4parm);
  EXPECT_EQ(f4assign(d4field(t, "NAME"), nullptr), e4parm);
  EXPECT_EQ(d4seek(t, nullptr), e4parm);
  EXPECT_EQ(code4data(ctx, nullptr), 0u);
  EXPECT_EQ(code4initUndo(ctx), 0);  // closes t too
  EXPECT_EQ(d4top(t), e4handle);
  EXPECT_EQ(code4initUndo(ctx), e4handle);
}

// A dBASE III table with memo stays dBASE III: memos are appended 1A 1A-ended.
TEST_F(TableTest, DbaseIIIMemoTableIsWrittenInItsOwnStyle) {
  std::string src = sourceDir() + "/tests/fixtures/external/perl-xbase/";
  std::filesystem::copy_file(src + "test.dbf", dir.file("test.dbf"));
  std::filesystem::copy_file(src + "test.dbt", dir.file("test.dbt"));
  std::filesystem::permissions(dir.file("test.dbf"), std::filesystem::perms::owner_all);
  std::filesystem::permissions(dir.file("test.dbt"), std::filesystem::perms::owner_all);
  C4Table t = d4open(ctx, dir.file("test.dbf").c_str());
  ASSERT_NE(t, 0u) << error4text(ctx, 0);
  ASSERT_EQ(d4top(t), 0);
  C4Field note = d4field(t, "NOTE");
  std::string first = f4memoStr(note);
  ASSERT_EQ(d4skip(t, 2), 0);
  ASSERT_EQ(f4memoAssign(note, "a new dBASE III memo"), 0);
  ASSERT_EQ(d4appendBlank(t), 0);
  ASSERT_EQ(f4memoAssign(note, "appended"), 0);
  ASSERT_EQ(d4close(t), 0);
  std::vector<unsigned char> b = readBytes(dir.file("test.dbf"));
  EXPECT_EQ(b[0], 0x83);
  std::vector<unsigned char> m = readBytes(dir.file("test.dbt"));
  std::string memo(m.begin(), m.end());
  size_t at = memo.find("a new dBASE III memo");
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(memo.substr(at + 20, 2), "\x1A\x1A");
  EXPECT_EQ(at % 512, 0u);
  t = d4open(ctx, dir.file("test.dbf").c_str());
  ASSERT_EQ(d4top(t), 0);
  EXPECT_EQ(f4memoStr(d4field(t, "NOTE")), first);
  ASSERT_EQ(d4bottom(t), 0);
  EXPECT_STREQ(f4memoStr(d4field(t, "NOTE")), "appended");
  ASSERT_EQ(d4skip(t, -1), 0);
  EXPECT_STREQ(f4memoStr(d4field(t, "NOTE")), "a new dBASE III memo");
}

}  // namespace
