// The binding against the real engine: handles close on every path and the
// context carries no error out of a failed open or probe.
#include "common/tableengine/table.h"

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

using talvex::common::ContextGuard;
using talvex::common::fieldText;
using talvex::common::Table;

class TableBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(guard);
    const C4FieldInfo fields[] = {{"C_NAME", 'C', 10, 0}, {"C_CLAIM", 'N', 10, 0}, {nullptr, 0, 0, 0}};
    const C4TagInfo tags[] = {{nullptr, nullptr, nullptr, 0, 0}};
    C4Table t = d4create(guard.get(), dir.host("BSCLAIM.DBF").c_str(), fields, tags);
    ASSERT_NE(t, 0u);
    ASSERT_EQ(d4appendStart(t, 0), 0);
    ASSERT_EQ(f4assign(d4field(t, "C_NAME"), "SMITH"), 0);
    ASSERT_EQ(d4append(t), 0);
    ASSERT_EQ(d4close(t), 0);
    code4errorCode(guard.get(), 0);
  }
  talvex::testing::TempDir dir;
  ContextGuard guard{code4initP()};
};

TEST_F(TableBinding, AFailedOpenLeavesNoErrorBehind) {
  Table missing = Table::open(guard.get(), dir.host("NOSUCH.DBF"));
  EXPECT_FALSE(missing);
  EXPECT_EQ(code4errorCode(guard.get(), 0), 0);
  EXPECT_EQ(missing.close(), 0);
}

TEST_F(TableBinding, ProbesClearTheErrorAndFindFieldsInAnyCase) {
  Table t = Table::open(guard.get(), dir.host("bsclaim"));
  ASSERT_TRUE(t);
  EXPECT_NE(t.field("c_name"), 0u);
  EXPECT_TRUE(t.hasField("C_CLAIM"));
  EXPECT_EQ(t.field("C_PCN"), 0u);  // the usual test of a table's layout
  EXPECT_EQ(code4errorCode(guard.get(), 0), 0);
  EXPECT_EQ(t.tag("CL_ONLY"), 0u);
  EXPECT_EQ(code4errorCode(guard.get(), 0), 0);
  ASSERT_EQ(d4top(t.handle()), 0);
  EXPECT_EQ(fieldText(t.field("C_NAME")), "SMITH");
  EXPECT_EQ(fieldText(0), "");
}

TEST_F(TableBinding, HandlesCloseOnEveryPath) {
  {
    Table t = Table::open(guard.get(), dir.host("BSCLAIM.DBF"));
    ASSERT_TRUE(t);
    EXPECT_NE(code4data(guard.get(), "BSCLAIM"), 0u);
    Table moved = std::move(t);
    EXPECT_FALSE(t);
    EXPECT_TRUE(moved);
  }
  EXPECT_EQ(code4data(guard.get(), "BSCLAIM"), 0u);
  code4errorCode(guard.get(), 0);

  // A clone is a handle of its own: closing it leaves the source open.
  C4Table host = d4open(guard.get(), dir.host("BSCLAIM.DBF").c_str());
  ASSERT_NE(host, 0u);
  {
    Table clone = Table::openClone(guard.get(), host);
    ASSERT_TRUE(clone);
    EXPECT_NE(clone.handle(), host);
  }
  EXPECT_EQ(d4top(host), 0);
  EXPECT_EQ(d4close(host), 0);
  EXPECT_FALSE(Table::openClone(guard.get(), 0));
  EXPECT_EQ(code4errorCode(guard.get(), 0), 0);
}

// The roster's claim tables and the conversions open their index through the
// Table: it must travel with a move and go before the table on close.
TEST_F(TableBinding, AnIndexOpenedThroughTheTableMovesWithItAndClosesFirst) {
  const C4FieldInfo fields[] = {{"CLAIM", 'N', 10, 0}, {nullptr, 0, 0, 0}};
  const C4TagInfo tags[] = {{"L_CLAIM", "CLAIM", nullptr, 0, 0}, {nullptr, nullptr, nullptr, 0, 0}};
  C4Table created = d4create(guard.get(), dir.host("BSLINES.DBF").c_str(), fields, tags);
  ASSERT_NE(created, 0u);
  ASSERT_EQ(d4close(created), 0);
  Table moved;
  {
    Table t(guard.get(), d4open(guard.get(), dir.host("BSLINES.DBF").c_str()));
    ASSERT_TRUE(t);
    EXPECT_FALSE(t.openIndex(dir.host("NOSUCH.MDX")));
    EXPECT_NE(code4errorCode(guard.get(), 0), 0);  // left for the caller to report
    ASSERT_TRUE(t.openIndex(dir.host("BSLINES.MDX")));
    moved = std::move(t);
    EXPECT_EQ(t.index(), 0u);
  }
  ASSERT_NE(moved.index(), 0u);
  EXPECT_NE(i4tag(moved.index(), "L_CLAIM"), 0u);
  EXPECT_EQ(moved.close(), 0);
  EXPECT_EQ(moved.index(), 0u);
  EXPECT_EQ(code4data(guard.get(), "BSLINES"), 0u);
  EXPECT_EQ(code4errorCode(guard.get(), 0), 0);
}

TEST(ContextGuardTest, ReleasesTheContext) {
  talvex::testing::TempDir dir;
  C4Context c;
  {
    ContextGuard guard(code4initP());
    c = guard.get();
    ASSERT_NE(c, 0u);
  }
  // The handle is stale now, so the engine refuses it.
  EXPECT_EQ(d4open(c, dir.host("ANY.DBF").c_str()), 0u);
}

}  // namespace
