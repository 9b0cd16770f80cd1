// f4assignFields against f4assignField pair by pair: the list call works out
// its conversions once and moves most bytes as they stand, so every stored
// form a field may hold (odd numbers, bad dates, lower-case logicals, NUL
// bytes, memos) must still come out byte for byte as the single calls make
// it, and a kept plan must never outlive the tables it was made for.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine_test_util.h"

namespace {

using enginetest::Ctx;
using enginetest::readBytes;
using enginetest::ScratchDir;
using enginetest::writeBytes;

// Source and target share names; widths, decimals, types and order differ.
const C4FieldInfo kSource[] = {
    {"TEXT", 'C', 8, 0},   {"CUT", 'C', 8, 0},    {"PAD", 'C', 4, 0},    {"AMT", 'N', 10, 2},
    {"NARROW", 'N', 10, 2}, {"WIDEN", 'N', 5, 0},  {"RATE", 'F', 8, 2},   {"DAY", 'D', 8, 0},
    {"FLAG", 'L', 1, 0},   {"NOTE", 'M', 10, 0},  {"MTEXT", 'M', 10, 0}, {"TMEMO", 'C', 12, 0},
    {"NUMTXT", 'N', 6, 1}, {"TXTNUM", 'C', 6, 0}, {"DAYTXT", 'D', 8, 0}, {"ONLYSRC", 'C', 3, 0},
    {"AMT2", 'N', 7, 0},   {nullptr, 0, 0, 0}};
const C4FieldInfo kTarget[] = {
    {"TEXT", 'C', 8, 0},   {"CUT", 'C', 5, 0},    {"PAD", 'C', 7, 0},    {"AMT", 'N', 10, 2},
    {"AMT2", 'N', 7, 0},   {"ONLYDST", 'C', 2, 0}, {"NARROW", 'N', 6, 0}, {"WIDEN", 'N', 12, 3},
    {"RATE", 'N', 8, 2},   {"FLAG", 'L', 1, 0},   {"DAY", 'D', 8, 0},    {"NOTE", 'M', 10, 0},
    {"MTEXT", 'C', 10, 0}, {"TMEMO", 'M', 10, 0}, {"NUMTXT", 'C', 6, 0}, {"TXTNUM", 'N', 6, 1},
    {"DAYTXT", 'C', 8, 0}, {nullptr, 0, 0, 0}};

// Stored forms per source type, including ones no assignment would write.
const std::vector<std::string> kChars = {"abc", "  lead", "exactly8", std::string("n\0l", 3), "", "12.5"};
const std::vector<std::string> kNumbers = {"12.50", "  -0.5", "007.25", "-0.00", "1.5", "*****",
                                           "+3.10", "12.5 ", "", "abc", "-123456.78", "99999.999",
                                           std::string("\0\0 1.00", 7), "0", "-7"};
const std::vector<std::string> kDates = {"20040229", "20030229", "", "00000000", "2004022", "abcdefgh"};
const std::vector<std::string> kLogicals = {"T", "F", "?", " ", "y", "n", "x", std::string(1, '\0')};

class AssignFields : public ::testing::Test {
 protected:
  // Each source field's bytes in record r, chosen from the list of its type.
  static std::string Stored(const C4FieldInfo& f, int r, int column) {
    const std::vector<std::string>* list = &kChars;
    if (f.type == 'N' || f.type == 'F') list = &kNumbers;
    if (f.type == 'D') list = &kDates;
    if (f.type == 'L') list = &kLogicals;
    std::string v = (*list)[static_cast<size_t>(r * 7 + column * 3) % list->size()];
    if ((f.type == 'N' || f.type == 'F') && v.size() < static_cast<size_t>(f.len))
      v.insert(0, static_cast<size_t>(f.len) - v.size(), ' ');  // mostly right-aligned
    v.resize(static_cast<size_t>(f.len), ' ');
    return v;
  }

  // A source of n records whose stored bytes are written straight into the
  // file, since assignments would only ever store tidy forms.
  void MakeSource(int n) {
    C4Table t = d4create(ctx, src().c_str(), kSource, nullptr);
    ASSERT_NE(t, 0u);
    for (int r = 0; r < n; ++r) {
      ASSERT_EQ(d4appendBlank(t), 0);
      std::string note(static_cast<size_t>(r * 37 % 300), static_cast<char>('a' + r % 26));
      if (r % 4 == 1) note = std::string("bin\0ary", 7);
      ASSERT_EQ(f4memoAssignN(d4field(t, "NOTE"), note.data(), static_cast<uint32_t>(note.size())), 0);
      ASSERT_EQ(f4memoAssign(d4field(t, "MTEXT"), r % 3 ? "memo into text, cut" : ""), 0);
    }
    ASSERT_EQ(d4close(t), 0);
    auto bytes = readBytes(src());
    const size_t headerLen = bytes[8] | (bytes[9] << 8), recLen = bytes[10] | (bytes[11] << 8);
    for (int r = 0; r < n; ++r) {
      size_t at = headerLen + static_cast<size_t>(r) * recLen;
      bytes[at++] = r % 5 == 3 ? '*' : ' ';
      for (int k = 0; kSource[k].name; ++k) {
        if (kSource[k].type != 'M') {
          const std::string v = Stored(kSource[k], r, k);
          std::copy(v.begin(), v.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
        }
        at += static_cast<size_t>(kSource[k].len);
      }
    }
    writeBytes(src(), bytes);
  }

  std::vector<C4Field> Fields(C4Table t, const std::vector<const char*>& names) {
    std::vector<C4Field> out;
    for (const char* n : names) out.push_back(d4field(t, n));
    return out;
  }

  std::string src() const { return dir.file("src.dbf"); }
  ScratchDir dir;
  Ctx ctx;
};

const std::vector<const char*> kCommon = {"TEXT", "CUT",  "PAD",   "AMT",   "NARROW", "WIDEN",
                                          "RATE", "DAY",  "FLAG",  "NOTE",  "MTEXT",  "TMEMO",
                                          "NUMTXT", "TXTNUM", "DAYTXT", "AMT2"};

TEST_F(AssignFields, EveryStoredFormComesOutAsThePairByPairAssignmentsMakeIt) {
  const int n = 120;
  MakeSource(n);
  C4Table s = d4open(ctx, src().c_str());
  ASSERT_NE(s, 0u);
  C4Table one = d4create(ctx, dir.file("one.dbf").c_str(), kTarget, nullptr);
  C4Table list = d4create(ctx, dir.file("list.dbf").c_str(), kTarget, nullptr);
  ASSERT_NE(one, 0u);
  ASSERT_NE(list, 0u);
  const auto from = Fields(s, kCommon), toOne = Fields(one, kCommon), toList = Fields(list, kCommon);
  int failures = 0;
  for (int rc = d4top(s); rc == 0; rc = d4skip(s, 1)) {
    ASSERT_EQ(d4appendStart(one, 0), 0);
    ASSERT_EQ(d4blank(one), 0);
    int singleRc = 0;
    for (size_t k = 0; k < from.size(); ++k) {
      const int r = f4assignField(toOne[k], from[k]);
      if (r != 0 && singleRc == 0) singleRc = r;
    }
    ASSERT_EQ(d4append(one), 0);
    ASSERT_EQ(d4appendStart(list, 0), 0);
    ASSERT_EQ(d4blank(list), 0);
    const int listRc = f4assignFields(toList.data(), from.data(), static_cast<int>(from.size()));
    EXPECT_EQ(listRc, singleRc) << "record " << d4recNoLow(s);
    if (listRc != 0) ++failures;
    ASSERT_EQ(d4append(list), 0);
  }
  EXPECT_GT(failures, 0);  // the odd forms did reach the conversions
  code4errorCode(ctx, 0);
  ASSERT_EQ(d4close(one), 0);
  ASSERT_EQ(d4close(list), 0);
  ASSERT_EQ(d4close(s), 0);
  auto a = readBytes(dir.file("one.dbf")), b = readBytes(dir.file("list.dbf"));
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 1; i <= 3; ++i) a[i] = b[i] = 0;  // the date of the last change
  EXPECT_TRUE(a == b) << "the .dbf files differ";
  auto ma = readBytes(dir.file("one.dbt")), mb = readBytes(dir.file("list.dbt"));
  ASSERT_EQ(ma.size(), mb.size());
  for (size_t i = 8; i < 16; ++i) ma[i] = mb[i] = 0;  // the name of the table
  EXPECT_TRUE(ma == mb) << "the .dbt files differ";
}

TEST_F(AssignFields, AKeptPlanNeverServesOtherTablesOrOddLists) {
  MakeSource(3);
  C4Table s = d4open(ctx, src().c_str());
  C4Table a = d4create(ctx, dir.file("a.dbf").c_str(), kTarget, nullptr);
  C4Table b = d4create(ctx, dir.file("b.dbf").c_str(), kTarget, nullptr);
  ASSERT_NE(s, 0u);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  ASSERT_EQ(d4top(s), 0);
  ASSERT_EQ(d4skip(s, 1), 0);  // TEXT "  lead", AMT "  -0.5"
  ASSERT_EQ(d4appendBlank(a), 0);
  ASSERT_EQ(d4appendBlank(b), 0);
  const std::vector<const char*> names = {"TEXT", "AMT"};
  auto from = Fields(s, names), toA = Fields(a, names), toB = Fields(b, names);

  // Two lists in turn: each call lands in its own table only.
  ASSERT_EQ(f4assignFields(toA.data(), from.data(), 2), 0);
  ASSERT_EQ(f4assign(d4field(a, "TEXT"), "changed"), 0);
  ASSERT_EQ(f4assignFields(toB.data(), from.data(), 2), 0);
  EXPECT_STREQ(f4str(d4field(a, "TEXT")), "changed ");
  EXPECT_STREQ(f4str(d4field(b, "TEXT")), "  lead  ");
  EXPECT_STREQ(f4str(d4field(b, "AMT")), "     -0.50");

  // The source closed: the same lists now name nothing and fail cleanly.
  ASSERT_EQ(d4close(s), 0);
  EXPECT_EQ(f4assignFields(toA.data(), from.data(), 2), e4handle);
  EXPECT_STREQ(f4str(d4field(a, "TEXT")), "changed ");
  code4errorCode(ctx, 0);

  // Reopened, the source gets new handles and a new plan; the old one's
  // lists keep failing even though the new table may sit at the same place.
  s = d4open(ctx, src().c_str());
  ASSERT_NE(s, 0u);
  ASSERT_EQ(d4top(s), 0);
  ASSERT_EQ(d4skip(s, 2), 0);  // TEXT "exactly8", AMT blank
  auto again = Fields(s, names);
  ASSERT_EQ(f4assignFields(toA.data(), again.data(), 2), 0);
  EXPECT_STREQ(f4str(d4field(a, "AMT")), "          ");  // a stored "" is blank
  EXPECT_NE(f4assignFields(toA.data(), from.data(), 2), 0);
  code4errorCode(ctx, 0);

  // Within one table, and with a destination named twice, the pairs act in
  // order: the later one wins, as with single calls.
  C4Field text = d4field(a, "TEXT"), cut = d4field(a, "CUT"), pad = d4field(a, "PAD");
  ASSERT_EQ(f4assign(pad, "padded"), 0);
  const C4Field dests[] = {cut, text, cut};
  const C4Field srcs[] = {text, pad, pad};
  ASSERT_EQ(f4assignFields(dests, srcs, 3), 0);
  EXPECT_STREQ(f4str(cut), "padde");
  EXPECT_STREQ(f4str(text), "padded  ");
  const C4Field twice[] = {toB[0], toB[0]};
  const C4Field values[] = {again[0], d4field(s, "CUT")};
  ASSERT_EQ(f4assignFields(twice, values, 2), 0);
  EXPECT_EQ(std::string(f4str(toB[0])), std::string(f4str(d4field(s, "CUT"))));

  EXPECT_EQ(f4assignFields(nullptr, nullptr, 0), 0);
  EXPECT_EQ(f4assignFields(nullptr, srcs, 1), e4parm);
  code4errorCode(ctx, 0);
  d4close(a);
  d4close(b);
  d4close(s);
}

// A value the destination cannot hold is an error naming the field, singly
// and in a list (whose other pairs are still assigned), never a quiet blank:
// the table copy of an update relies on it to refuse rather than lose data.
TEST_F(AssignFields, AValueTooWideForItsNewFieldIsAFieldErrorNamingTheField) {
  const C4FieldInfo from[] = {{"HGB", 'N', 5, 0}, {"AMT", 'N', 10, 2}, {"NUM", 'N', 7, 0},
                              {"KEPT", 'C', 4, 0}, {nullptr, 0, 0, 0}};
  const C4FieldInfo to[] = {{"HGB", 'N', 5, 1}, {"AMT", 'N', 6, 0}, {"NUM", 'C', 5, 0},
                            {"KEPT", 'C', 4, 0}, {nullptr, 0, 0, 0}};
  C4Table s = d4create(ctx, src().c_str(), from, nullptr);
  C4Table d = d4create(ctx, dir.file("dst.dbf").c_str(), to, nullptr);
  ASSERT_NE(s, 0u);
  ASSERT_NE(d, 0u);
  ASSERT_EQ(d4appendBlank(s), 0);
  ASSERT_EQ(f4assign(d4field(s, "HGB"), "1234"), 0);
  ASSERT_EQ(f4assign(d4field(s, "AMT"), "1234567.89"), 0);
  ASSERT_EQ(f4assign(d4field(s, "NUM"), "1234567"), 0);
  ASSERT_EQ(f4assign(d4field(s, "KEPT"), "keep"), 0);
  ASSERT_EQ(d4appendBlank(d), 0);
  for (const char* name : {"HGB", "AMT", "NUM"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(f4assignField(d4field(d, name), d4field(s, name)), e4field);
    const std::string text = error4text(ctx, code4errorCode(ctx, 0));
    EXPECT_NE(text.find(std::string("dst.") + name), std::string::npos) << text;
    EXPECT_NE(text.find("does not fit"), std::string::npos) << text;
    EXPECT_EQ(std::string(f4str(d4field(d, name))).find_first_not_of('*'), std::string::npos);
  }
  ASSERT_EQ(d4blank(d), 0);
  const std::vector<const char*> names = {"HGB", "KEPT"};
  const auto dests = Fields(d, names), srcs = Fields(s, names);
  EXPECT_EQ(f4assignFields(dests.data(), srcs.data(), 2), e4field);
  EXPECT_NE(std::string(error4text(ctx, code4errorCode(ctx, 0))).find("dst.HGB"), std::string::npos);
  EXPECT_STREQ(f4str(d4field(d, "KEPT")), "keep");
  d4close(d);
  d4close(s);
}

}  // namespace
