// Operators, field references, result types and key lengths, and the key
// expressions found in dBASE-written index files.
#include <gtest/gtest.h>

#include "test_table.h"

namespace talvex::engine::expr::testing {
namespace {

const std::string kRec = Record({{"ID", "42"},
                                 {"TYPE", "AB"},
                                 {"CLASS", "100"},
                                 {"DATE_FACT", "19970711"},
                                 {"CODE_CLIEN", "7"},
                                 {"LASTNAME", "Arlich"},
                                 {"FIRSTNAME", "Kim"},
                                 {"PAID", "T"},
                                 {"PRICE", "125.50"}});

TEST(KeyExpressions, FixtureKeysHaveDbaseLengthsAndBytes) {
  // STR() defaults to width 10 even on a narrower field: 10 + 2 + 10.
  auto e = MustCompile("STR(ID) + TYPE + STR(CLASS)");
  EXPECT_EQ(e->type(), ValueType::Character);
  EXPECT_EQ(e->keyLength(), 22);
  EXPECT_EQ(e->Evaluate(kRec, 1).text, "        42AB       100");

  auto j = MustCompile("dtos(date_fact)+str(code_clien)");
  EXPECT_EQ(j->keyLength(), 18);
  EXPECT_EQ(j->Evaluate(kRec, 1).text, "19970711         7");

  auto t = MustCompile("TRIM(Lastname)+Firstname");
  EXPECT_EQ(t->keyLength(), 25);
  EXPECT_EQ(t->Evaluate(kRec, 1).text, "ArlichKim                ");

  auto u = MustCompile("UPPER(Lastname+Firstname)");
  EXPECT_EQ(u->Evaluate(kRec, 1).text, "ARLICH         KIM       ");
}

TEST(KeyExpressions, OverlongFieldNameMatchesOnTenCharacters) {
  // dBASE wrote "code_client" for the field CODE_CLIEN.
  auto e = MustCompile("code_client");
  EXPECT_EQ(e->type(), ValueType::Numeric);
  EXPECT_EQ(e->keyLength(), 12);
  EXPECT_EQ(e->Evaluate(kRec, 1).number, 7);
  EXPECT_TRUE(Compile("CODE_CLIENTNUMBER", Resolver()).ok());
  // A name that differs within the first ten characters is not the field.
  EXPECT_NE(CompileError("code_cliex").find("unknown field"), std::string::npos);
  EXPECT_NE(CompileError("code_cli").find("unknown field code_cli"), std::string::npos);
}

TEST(KeyExpressions, AliasPrefixes) {
  EXPECT_EQ(EvalText("claims->TYPE", kRec), "AB");
  EXPECT_EQ(EvalText("CLAIMS.type + Claims->TYPE", kRec), "ABAB");
  EXPECT_NE(CompileError("OTHER->TYPE").find("unknown field OTHER->TYPE"), std::string::npos);
  // With no alias given to the resolver, any prefix is the table's own.
  CompileResult r = Compile("X->TYPE", MakeFieldResolver(Fields(), ""));
  EXPECT_TRUE(r.ok()) << r.error;
}

TEST(KeyExpressions, FieldTypesAndValues) {
  auto n = MustCompile("PRICE");
  Value v = n->Evaluate(kRec, 1);
  EXPECT_EQ(v.type, ValueType::Numeric);
  EXPECT_DOUBLE_EQ(v.number, 125.5);
  EXPECT_EQ(v.text, "125.50");  // the stored digits, for exact BCD keys
  EXPECT_EQ(n->decimals(), 2);

  auto d = MustCompile("DATE_FACT");
  v = d->Evaluate(kRec, 1);
  EXPECT_EQ(v.type, ValueType::Date);
  EXPECT_EQ(v.text, "19970711");
  EXPECT_EQ(v.number, 2450641);  // Julian day number of the sample key
  EXPECT_EQ(d->keyLength(), 8);

  auto l = MustCompile("PAID");
  EXPECT_EQ(l->type(), ValueType::Logical);
  EXPECT_EQ(l->keyLength(), 0);
  EXPECT_TRUE(l->Evaluate(kRec, 1).logical);
}

TEST(KeyExpressions, BlankAndBadStoredValues) {
  std::string blank = Record({});
  Value v = MustCompile("ID")->Evaluate(blank, 1);
  EXPECT_EQ(v.number, 0);
  EXPECT_EQ(v.text, "0");  // a blank numeric field is indexed as zero
  v = MustCompile("DATE_FACT")->Evaluate(blank, 1);
  EXPECT_EQ(v.text, "        ");
  EXPECT_EQ(v.number, 0);
  EXPECT_FALSE(MustCompile("PAID")->Evaluate(blank, 1).logical);

  std::string bad = Record({{"ID", "***"}, {"DATE_FACT", "19971340"}, {"PRICE", "12a"}});
  EXPECT_EQ(MustCompile("ID")->Evaluate(bad, 1).number, 0);
  EXPECT_EQ(MustCompile("PRICE")->Evaluate(bad, 1).text, "0");
  EXPECT_EQ(MustCompile("DTOS(DATE_FACT)")->Evaluate(bad, 1).text, "        ");
  EXPECT_EQ(MustCompile("DATE_FACT")->Evaluate(Record({{"DATE_FACT", "00000000"}}), 1).number, 0);
  // A record buffer shorter than the layout reads as blanks.
  EXPECT_EQ(MustCompile("FIRSTNAME")->Evaluate(std::string_view(kRec).substr(0, 30), 1).text,
            std::string(10, ' '));
  EXPECT_EQ(MustCompile("FIRSTNAME")->Evaluate(std::string_view(kRec).substr(0, 42), 1).text,
            "K         ");
}

TEST(Operators, ConcatenationKeepsOrMovesBlanks) {
  EXPECT_EQ(EvalText("TYPE + LASTNAME", kRec), "ABArlich         ");
  // "-" moves the left operand's trailing blanks to the end, width kept.
  auto e = MustCompile("LASTNAME - FIRSTNAME");
  EXPECT_EQ(e->width(), 25);
  EXPECT_EQ(e->Evaluate(kRec, 1).text, "ArlichKim                ");
  EXPECT_EQ(EvalText("'Bailey  ' - 'Gwen '", kRec), "BaileyGwen   ");
}

TEST(Operators, ArithmeticAndPrecedence) {
  auto v = [&](const char *t) { return MustCompile(t)->Evaluate(kRec, 1).number; };
  EXPECT_EQ(v("1 + 2 * 3"), 7);
  EXPECT_EQ(v("(1 + 2) * 3"), 9);
  EXPECT_EQ(v("2 ^ 3 ** 2"), 64);  // left to right
  EXPECT_EQ(v("10 / 4"), 2.5);
  EXPECT_EQ(v("ID - CLASS"), -58);
  EXPECT_EQ(v("-ID + 2"), -40);
  EXPECT_EQ(v("1 / 0"), 0);  // no crash, no infinity in a key
  EXPECT_EQ(MustCompile("0.1 + 0.2")->Evaluate(kRec, 1).text, "0.3");
  EXPECT_EQ(MustCompile("ID * 2")->Evaluate(kRec, 1).text, "84");
}

TEST(Operators, DateArithmetic) {
  EXPECT_EQ(EvalText("DTOS(DATE_FACT + 30)", kRec), "19970810");
  EXPECT_EQ(EvalText("DTOS(1 + DATE_FACT)", kRec), "19970712");
  EXPECT_EQ(EvalText("DTOS(DATE_FACT - 11)", kRec), "19970630");
  EXPECT_EQ(MustCompile("DATE_FACT - {01/01/97}")->Evaluate(kRec, 1).number, 191);
  // Arithmetic on a blank date stays blank.
  EXPECT_EQ(EvalText("DTOS(DATE_FACT + 1)", Record({})), "        ");
}

TEST(Operators, StringComparisonWithExactOff) {
  auto l = [&](const std::string &t) { return MustCompile(t)->Evaluate(kRec, 1).logical; };
  EXPECT_TRUE(l("LASTNAME = 'Arl'"));    // left looked at only as far as the right
  EXPECT_TRUE(l("LASTNAME = ''"));
  EXPECT_FALSE(l("'Arl' = LASTNAME"));   // the right operand is longer
  EXPECT_TRUE(l("'Arlich' = LASTNAME"));  // blanks pad the shorter left
  EXPECT_FALSE(l("LASTNAME <> 'Arlich'"));
  EXPECT_TRUE(l("LASTNAME # 'Brown'"));
  EXPECT_TRUE(l("LASTNAME < 'B'"));
  EXPECT_TRUE(l("LASTNAME >= 'Arlich'"));
  EXPECT_FALSE(l("LASTNAME > 'Arlich'"));
  EXPECT_TRUE(l("LASTNAME == 'Arlich'"));  // exact: trailing blanks ignored
  EXPECT_FALSE(l("LASTNAME == 'Arl'"));
  EXPECT_TRUE(l("'lic' $ LASTNAME"));
  EXPECT_FALSE(l("'LIC' $ LASTNAME"));
  EXPECT_FALSE(l("'' $ LASTNAME"));
  EXPECT_TRUE(l("'a' < 'b' .AND. 'B' < 'a'"));  // byte order: upper before lower
}

TEST(Operators, NumericDateAndLogicalComparison) {
  auto l = [&](const std::string &t) { return MustCompile(t)->Evaluate(kRec, 1).logical; };
  EXPECT_TRUE(l("ID = 42"));
  EXPECT_TRUE(l("0.1 + 0.2 = 0.3"));
  EXPECT_TRUE(l("PRICE > 125.49 .AND. PRICE < 125.51"));
  EXPECT_TRUE(l("DATE_FACT > {12/31/96}"));
  EXPECT_TRUE(l("DATE_FACT = CTOD('07/11/97')"));
  EXPECT_TRUE(l("PAID = .T."));
  EXPECT_TRUE(l(".NOT. ID = 41 .AND. CLASS = 100 .OR. .F."));
  EXPECT_TRUE(l(".F. .OR. .T. .AND. .T."));    // .AND. binds tighter
  EXPECT_FALSE(l(".NOT. .T. .AND. .T."));      // .NOT. binds tighter than .AND.
  EXPECT_TRUE(l("ID=42.AND.CLASS=100"));       // no blanks around dotted words
  EXPECT_TRUE(l(".y. .and. .not. .n."));
}

TEST(Operators, FilterOnDeletionAndRecordNumber) {
  auto e = MustCompile(".NOT. DELETED() .AND. RECNO() > 2");
  EXPECT_FALSE(e->Evaluate(kRec, 2).logical);
  EXPECT_TRUE(e->Evaluate(kRec, 3).logical);
  std::string deleted = kRec;
  deleted[0] = '*';
  EXPECT_FALSE(e->Evaluate(deleted, 3).logical);
  EXPECT_EQ(MustCompile("RECNO()")->Evaluate(kRec, 123456).text, "123456");
}

TEST(Compile, ErrorTextsNameTheProblemAndPlace) {
  EXPECT_EQ(CompileError("ID +"), "unexpected end of expression at position 5");
  EXPECT_EQ(CompileError("NAMEX"), "unknown field NAMEX at position 1");
  EXPECT_EQ(CompileError("FOO(ID)"), "unknown function FOO() at position 1");
  EXPECT_EQ(CompileError("STR(ID"), "expected ',' or ')', found end of expression at position 7");
  EXPECT_EQ(CompileError("ID + TYPE"), "cannot add character to numeric at position 4");
  EXPECT_EQ(CompileError("TYPE = 1"), "cannot compare character with numeric at position 6");
  EXPECT_EQ(CompileError("'abc"), "unterminated string at position 1");
  EXPECT_EQ(CompileError("NOTES"), "memo field NOTES cannot be used in an expression at position 1");
  EXPECT_EQ(CompileError("ID ID"), "unexpected name ID at position 4");
  EXPECT_EQ(CompileError("ID .AND. PAID"), ".AND. needs logical operands at position 4");
  EXPECT_EQ(CompileError("STR()"), "STR() takes 1 to 3 arguments, not 0 at position 1");
  EXPECT_EQ(CompileError("IIF(PAID, TYPE, ID)"),
            "IIF() branches differ in type: character and numeric at position 1");
  EXPECT_EQ(CompileError(""), "unexpected end of expression at position 1");
  EXPECT_EQ(CompileError("{13/45/97}"), "invalid date {13/45/97} at position 1");
  EXPECT_EQ(CompileError("TYPE @ TYPE"), "unexpected character '@' at position 6");
  EXPECT_EQ(CompileError(std::string("TYPE\x01")), "unexpected byte 0x01 at position 5");
  EXPECT_EQ(CompileError("LEFT(TYPE, ID)"), "LEFT() argument 2 must be a constant number at position 1");
  EXPECT_EQ(CompileError("a.b.c"), "unknown field a->b at position 3");
}

TEST(Compile, ResultKeepsItsSourceAndNeedsNoResolverAfterwards) {
  std::unique_ptr<Expression> e;
  {
    auto fields = Fields();
    CompileResult r = Compile("STR(ID,6) + TYPE", MakeFieldResolver(fields, ""));
    ASSERT_TRUE(r.ok());
    e = std::move(r.expression);
  }
  EXPECT_EQ(e->source(), "STR(ID,6) + TYPE");
  EXPECT_EQ(e->Evaluate(kRec, 1).text, "    42AB");
}

TEST(Compile, ResolverThatThrowsGivesAnError) {
  FieldResolver bad = [](std::string_view, std::string_view) -> std::optional<FieldInfo> {
    throw std::runtime_error("boom");
  };
  CompileResult r = Compile("ID", bad);
  EXPECT_FALSE(r.ok());
  EXPECT_FALSE(r.error.empty());
  // Nor does a missing resolver crash.
  EXPECT_FALSE(Compile("ID", FieldResolver()).ok());
  EXPECT_TRUE(Compile("'x'", FieldResolver()).ok());
}

}  // namespace
}  // namespace talvex::engine::expr::testing
