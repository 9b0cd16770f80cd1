// Every function's dBASE result and static width.
#include <gtest/gtest.h>

#include "test_table.h"

namespace talvex::engine::expr::testing {
namespace {

const std::string kRec = Record({{"ID", "-42"},
                                 {"TYPE", "ab"},
                                 {"CLASS", "100"},
                                 {"DATE_FACT", "20000229"},
                                 {"LASTNAME", "  Bailey"},
                                 {"FIRSTNAME", "Gwen"},
                                 {"PRICE", "10.765"}});

struct Case {
  const char *expr;
  const char *text;  // full result, padded to the static width
  int width;
};

void Check(const std::vector<Case> &cases) {
  for (const auto &c : cases) {
    auto e = MustCompile(c.expr);
    if (!e) continue;
    EXPECT_EQ(e->width(), c.width) << c.expr;
    EXPECT_EQ(e->Evaluate(kRec, 7).text, c.text) << c.expr;
  }
}

TEST(Functions, Str) {
  Check({
      {"STR(ID)", "       -42", 10},
      {"STR(ID, 3)", "-42", 3},
      {"STR(ID, 2)", "**", 2},           // integer part does not fit
      {"STR(10.765, 5, 1)", " 10.8", 5},
      {"STR(10.765, 5, 2)", "10.77", 5},
      {"STR(10.765, 4, 2)", "10.8", 4},  // fewer decimals when they do not fit
      {"STR(10.765, 3, 2)", " 11", 3},
      {"STR(99.96, 4, 1)", " 100", 4},   // rounding carries into the integer part
      {"STR(2.675, 6, 2)", "  2.68", 6}, // half away from zero on the decimal value
      {"STR(-2.5, 3)", " -3", 3},
      {"STR(-0.4, 3)", "  0", 3},        // no negative zero
      {"STR(0.5, 4, 1)", " 0.5", 4},
      {"STR(1, 4, 1)", " 1.0", 4},
      {"STR(20000, 8, 2)", "20000.00", 8},
      {"STR(1234567890123)", "**********", 10},
      {"STR(PRICE, 8, 2)", "   10.77", 8},
      {"STR(3, 1 + 1)", " 3", 2},        // constant width expressions are fine
  });
  EXPECT_EQ(CompileError("STR(ID, 0)"), "STR() length must be 1 to 255 at position 1");
  EXPECT_EQ(CompileError("STR(TYPE)"), "STR() argument 1 must be numeric at position 1");
}

TEST(Functions, Dates) {
  Check({
      {"DTOS(DATE_FACT)", "20000229", 8},
      {"DTOC(DATE_FACT)", "02/29/00", 8},
      {"DTOC(CTOD('3/4/88'))", "03/04/88", 8},
      {"DTOS(CTOD('12/31/1999'))", "19991231", 8},
      {"DTOS(CTOD('02/29/1900'))", "        ", 8},  // not a leap year
      {"DTOS(CTOD(''))", "        ", 8},
      {"DTOS(STOD('20240101'))", "20240101", 8},
      {"DTOS({})", "        ", 8},
      {"STR(YEAR(DATE_FACT),4)+STR(MONTH(DATE_FACT),2)+STR(DAY(DATE_FACT),2)", "2000 229", 8},
  });
  std::string blank = Record({});
  EXPECT_EQ(MustCompile("DTOC(DATE_FACT)")->Evaluate(blank, 1).text, "  /  /  ");
  EXPECT_EQ(MustCompile("DTOS(DATE_FACT)")->Evaluate(blank, 1).text, "        ");
  EXPECT_EQ(MustCompile("YEAR(DATE_FACT)")->Evaluate(blank, 1).number, 0);
  auto d = MustCompile("CTOD('07/11/97')");
  EXPECT_EQ(d->type(), ValueType::Date);
  EXPECT_EQ(d->Evaluate(blank, 1).number, 2450641);
}

TEST(Functions, CaseAndTrimming) {
  Check({
      {"UPPER(TYPE)", "AB", 2},
      {"LOWER('AbC')", "abc", 3},
      {"UPPER('\xe9t\xe9')", "\xe9T\xe9", 3},  // bytes above 0x7F unchanged
      {"TRIM(LASTNAME) + '|'", "  Bailey|       ", 16},
      {"RTRIM(FIRSTNAME) + TYPE", "Gwenab      ", 12},
      {"LTRIM(LASTNAME) + '|'", "Bailey       |  ", 16},  // trailing blanks stay
      {"TRIM('   ') + 'x'", "x   ", 4},
  });
}

TEST(Functions, Substrings) {
  Check({
      {"LEFT(FIRSTNAME, 3)", "Gwe", 3},
      {"LEFT(TYPE, 5)", "ab", 2},  // never wider than the string
      {"LEFT(TYPE, 0) + 'x'", "x", 1},
      {"RIGHT(FIRSTNAME, 3)", "   ", 3},  // of the full blank-padded value
      {"RIGHT(TRIM(FIRSTNAME), 3)", "wen", 3},
      {"SUBSTR(FIRSTNAME, 2, 2)", "we", 2},
      {"SUBSTR(FIRSTNAME, 3)", "en      ", 8},
      {"SUBSTR(FIRSTNAME, 9, 5)", "  ", 2},
      {"SUBSTR(FIRSTNAME, 20, 2) + 'x'", "x", 1},  // a start past the end is empty
      {"SUBSTR(FIRSTNAME, CLASS / 50, 3)", "wen", 3},  // start may vary, length not
      {"SPACE(3) + 'x'", "   x", 4},
      {"CHR(65) + CHR(97)", "Aa", 2},
  });
  EXPECT_EQ(CompileError("SUBSTR(FIRSTNAME, CLASS)"),
            "SUBSTR() needs a constant start when the length is not given at position 1");
}

TEST(Functions, Numbers) {
  auto n = [&](const char *t) { return MustCompile(t)->Evaluate(kRec, 7).number; };
  EXPECT_EQ(n("VAL('  -12.5xyz')"), -12.5);
  EXPECT_EQ(n("VAL('abc')"), 0);
  EXPECT_EQ(n("VAL('.5')"), 0.5);
  EXPECT_EQ(n("VAL('1.2.3')"), 1.2);
  EXPECT_EQ(n("VAL(STR(ID))"), -42);
  EXPECT_EQ(n("LEN(FIRSTNAME)"), 10);
  EXPECT_EQ(n("LEN(TRIM(FIRSTNAME))"), 4);
  EXPECT_EQ(n("AT('we', FIRSTNAME)"), 2);
  EXPECT_EQ(n("AT('zz', FIRSTNAME)"), 0);
  EXPECT_EQ(n("ASC(FIRSTNAME)"), 71);
  EXPECT_EQ(n("INT(-3.7)"), -3);
  EXPECT_EQ(n("ABS(ID)"), 42);
  EXPECT_EQ(n("ROUND(2.675, 2)"), 2.68);
  EXPECT_EQ(n("ROUND(1250, -2)"), 1300);
  EXPECT_EQ(n("MOD(-7, 3)"), 2);
  EXPECT_EQ(n("MOD(7, 0)"), 7);
  EXPECT_EQ(n("MAX(ID, CLASS) + MIN(ID, CLASS)"), 58);
  EXPECT_EQ(n("RECNO()"), 7);
  EXPECT_EQ(MustCompile("DTOS(MAX(DATE_FACT, {01/01/99}))")->Evaluate(kRec, 7).text, "20000229");
}

TEST(Functions, IifTakesTheWiderBranchWidth) {
  Check({
      {"IIF(ID < 0, 'neg', 'positive')", "neg     ", 8},
      {"IIF(ID > 0, 'neg', 'positive')", "positive", 8},
      {"IIF(.T., TYPE, LASTNAME) + '|'", "ab|             ", 16},
      {"STR(IIF(PAID, 1, 2), 1)", "2", 1},
      {"DTOS(IIF(PAID, DATE_FACT, DATE_FACT + 1))", "20000301", 8},
  });
  EXPECT_EQ(CompileError("IIF(ID, 1, 2)"), "IIF() argument 1 must be logical at position 1");
}

TEST(Functions, DescendReversesOrder) {
  auto c = MustCompile("DESCEND(TRIM(TYPE) + 'A')");
  EXPECT_EQ(c->width(), 3);
  EXPECT_EQ(c->Evaluate(kRec, 1).text, "\x9e\x9d\xbe");
  // Padded before complementing, so the blanks reverse too.
  std::string t = MustCompile("DESCEND(TRIM(FIRSTNAME))")->Evaluate(kRec, 1).text;
  ASSERT_EQ(t.size(), 10u);
  EXPECT_EQ(static_cast<unsigned char>(t[9]), 0xDF);
  auto a = MustCompile("DESCEND(FIRSTNAME)");
  std::string x = a->Evaluate(Record({{"FIRSTNAME", "Abc"}}), 1).text;
  std::string y = a->Evaluate(Record({{"FIRSTNAME", "Abd"}}), 1).text;
  std::string z = a->Evaluate(Record({{"FIRSTNAME", "Ab"}}), 1).text;
  EXPECT_GT(x, y);
  EXPECT_GT(z, x);
  EXPECT_EQ(MustCompile("DESCEND(ID)")->Evaluate(kRec, 1).number, 42);
  auto d = MustCompile("DESCEND(DATE_FACT)");
  EXPECT_EQ(d->type(), ValueType::Date);
  long later = long(d->Evaluate(Record({{"DATE_FACT", "20000301"}}), 1).number);
  long earlier = long(d->Evaluate(kRec, 1).number);
  EXPECT_LT(later, earlier);
  EXPECT_EQ(MustCompile("DTOS(DESCEND(CTOD('01/01/0001')))")->Evaluate(kRec, 1).text, "99991231");
}

TEST(Functions, NamesIgnoreCaseAndTakeFourLetterAbbreviations) {
  Check({
      {"subs(FIRSTNAME, 1, 2)", "Gw", 2},
      {"SUBST(FIRSTNAME, 1, 2)", "Gw", 2},
      {"Uppe(TYPE)", "AB", 2},
      {"LTRI(LASTNAME) + '|'", "Bailey       |  ", 16},
      {"DESC(TYPE)", "\x9e\x9d", 2},
      {"str(reCN(), 3)", "  7", 3},
      {"IIF(DELE(), 'D', 'L')", "L", 1},
  });
  EXPECT_EQ(CompileError("SUB(FIRSTNAME, 1)"), "unknown function SUB() at position 1");
  EXPECT_EQ(CompileError("SUBSTRX(FIRSTNAME, 1)"), "unknown function SUBSTRX() at position 1");
}

TEST(Functions, ArgumentChecks) {
  EXPECT_EQ(CompileError("DTOS(TYPE)"), "DTOS() argument 1 must be a date at position 1");
  EXPECT_EQ(CompileError("UPPER(ID)"), "UPPER() argument 1 must be character at position 1");
  EXPECT_EQ(CompileError("DELETED(1)"), "DELETED() takes 0 arguments, not 1 at position 1");
  EXPECT_EQ(CompileError("LEFT(TYPE)"), "LEFT() takes 2 arguments, not 1 at position 1");
  EXPECT_EQ(CompileError("MAX(ID, DATE_FACT)"), "MAX() needs two numbers or two dates at position 1");
  EXPECT_EQ(CompileError("SPACE(100000)"), "SPACE() length out of range at position 1");
}

}  // namespace
}  // namespace talvex::engine::expr::testing
