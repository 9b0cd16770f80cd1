// Clone folders and release table sets written through the real engine: the
// files hold exactly the layouts, the probes read through the engine tell old
// from new, and an independent reader agrees on every field.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "../common/temp_dir.h"
#include "c4dll.h"
#include "platform/file_system.h"
#include "releases/clone_writer.h"
#include "releases/layouts.h"
#include "catalogue/catalogue.h"

namespace talvex::releases {
namespace {

using tabmend::RestructureSpec;

class CloneWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    context_ = code4initP();
    ASSERT_NE(context_, 0u);
    code4autoOpen(context_, 0);
  }
  void TearDown() override { code4initUndo(context_); }

  std::string folder(const std::string& name) const { return dir_.host(name) + "\\"; }

  // The table's structure as the engine reads it back from disk.
  TableLayout ReadBack(const std::string& folder, const TableLayout& expected) {
    TableLayout got;
    got.base = expected.base;
    got.family = expected.family;
    C4Table t = d4open(context_, (folder + expected.base + ".dbf").c_str());
    EXPECT_NE(t, 0u) << folder << expected.base;
    if (t == 0) return got;
    for (int j = 1; j <= d4numFields(t); ++j) {
      C4Field f = d4fieldJ(t, j);
      got.fields.push_back({f4name(f), static_cast<char>(f4type(f)), f4len(f), f4decimals(f)});
    }
    if (expected.hasIndex()) {
      C4Index index = i4open(t, nullptr);
      EXPECT_NE(index, 0u) << expected.base;
      if (index != 0) {
        for (const TagLayout& tag : expected.tags) {
          C4Tag handle = i4tag(index, tag.name.c_str());
          EXPECT_NE(handle, 0u) << expected.base << " tag " << tag.name;
          if (handle == 0) continue;
          TagLayout read = tag;
          read.expression = t4expr(handle);
          got.tags.push_back(read);
        }
        i4close(index);
      }
    }
    d4close(t);
    code4errorCode(context_, 0);
    return got;
  }

  // The probe decision of the update, from what the engine finds in the file.
  bool EngineProbeNeeded(const RestructureSpec& s, const std::string& folder) {
    tabmend::ProbeFindings found;
    const std::string path = folder + s.probedTable().base + ".dbf";
    C4Table t = d4open(context_, path.c_str());
    if (t != 0) {
      found.tableOpened = true;
      if (C4Field f = d4field(t, s.probe.name)) {
        found.fieldExists = true;
        found.fieldWidth = f4len(f);
        found.fieldDecimals = f4decimals(f);
      }
      if (s.probe.kind == tabmend::ProbeKind::TagAbsent) {
        C4Index index = i4open(t, nullptr);
        found.indexHasTag = index != 0 && i4tag(index, s.probe.name) != 0;
        if (index != 0) i4close(index);
      }
      d4close(t);
    }
    code4errorCode(context_, 0);
    return tabmend::ProbeNeedsUpdate(s.probe, found);
  }

  talvex::testing::TempDir dir_;
  C4Context context_ = 0;
};

TEST_F(CloneWriter, EveryCloneFolderHoldsItsTablesInTheReleaseLayout) {
  const std::string server = dir_.host() + "\\";
  std::string error;
  ASSERT_TRUE(WriteCloneFolders(context_, server, &error)) << error;

  std::set<std::string> folders;
  for (const RestructureSpec& s : tabmend::Catalogue()) {
    const std::string clone = tabmend::CloneDirectory(server, s) + "\\";
    folders.insert(s.cloneFolder);
    for (const tabmend::UpdatedTable& t : s.tables()) {
      SCOPED_TRACE(s.numberText() + " " + t.base);
      const TableLayout expected = *CloneLayout(s, t.base);
      EXPECT_EQ(ReadBack(clone, expected), expected);
      const std::string stem = clone + t.base;
      EXPECT_TRUE(platform::isFile(stem + ".mdx"));
      EXPECT_EQ(platform::isFile(stem + ".dbt"), expected.hasMemo());
    }
  }
  // Nothing but the catalogue's folders.
  auto written = platform::listDirectories(server + "update\\clone");
  EXPECT_EQ(std::set<std::string>(written.begin(), written.end()), folders);
}

TEST_F(CloneWriter, ProbesThroughTheEngineTellOldFromNew) {
  const std::string server = dir_.host() + "\\";
  std::string error;
  ASSERT_TRUE(WriteCloneFolders(context_, server, &error)) << error;
  for (const RestructureSpec& s : tabmend::Catalogue()) {
    if (s.probe.kind == tabmend::ProbeKind::None) continue;
    SCOPED_TRACE(s.numberText());
    const std::string before = folder("before" + s.numberText());
    auto old = LayoutAfter(s.probedTable().base, s.number - 1);
    ASSERT_TRUE(old.has_value());
    ASSERT_TRUE(CreateTable(context_, before, *old, &error)) << error;
    EXPECT_TRUE(EngineProbeNeeded(s, before));
    EXPECT_FALSE(EngineProbeNeeded(s, tabmend::CloneDirectory(server, s) + "\\"));
  }
}

TEST_F(CloneWriter, ReleaseTableSetsAreComplete) {
  std::string error;
  const std::string oldest = folder("oldest");
  auto tables = ReleaseTableSet(91);
  ASSERT_TRUE(CreateTableSet(context_, oldest, tables, &error)) << error;
  for (const TableLayout& t : tables) EXPECT_EQ(ReadBack(oldest, t), t) << t.base;
  EXPECT_FALSE(platform::isFile(oldest + "bcrecid.dbf")) << "arrives with update 0106";
  EXPECT_FALSE(platform::isFile(oldest + "utilmast.mdx")) << "the counters have no index";
}

TEST_F(CloneWriter, FailureNamesTheTable) {
  TableLayout bad = *NewestLayout("submit");
  bad.fields.push_back({"S_BAD", 'C', 300, 0});
  std::string error;
  EXPECT_FALSE(CreateTable(context_, folder("bad"), bad, &error));
  EXPECT_NE(error.find("submit.dbf"), std::string::npos) << error;
  EXPECT_EQ(code4errorCode(context_, 0), 0) << "the error state is cleared";
}

// python3-dbfread, an independent reader, sees the same fields in our files.
TEST_F(CloneWriter, IndependentReaderAgreesOnTheNewestLayouts) {
  if (std::system("/usr/bin/python3 -c 'import dbfread' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3-dbfread is not installed";
  std::string error;
  const std::string newest = folder("newest");
  auto tables = TableSetAfter(kNewestStep);
  ASSERT_TRUE(CreateTableSet(context_, newest, tables, &error)) << error;
  std::string script =
      "import dbfread,glob,os\n"
      "for p in sorted(glob.glob(os.path.join('" + dir_.native("newest") + "','*.dbf'))):\n"
      "  t=dbfread.DBF(p,load=False)\n"
      "  for f in t.fields: print(os.path.basename(p)[:-4],f.name,f.type,f.length,f.decimal_count)\n";
  dir_.write("read.py", script);
  FILE* pipe = popen(("/usr/bin/python3 " + dir_.native("read.py")).c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::map<std::string, std::vector<FieldLayout>> read;
  char line[256];
  while (std::fgets(line, sizeof line, pipe)) {
    std::istringstream in(line);
    std::string base, name;
    char type;
    int len, dec;
    in >> base >> name >> type >> len >> dec;
    read[base].push_back({name, type, len, dec});
  }
  ASSERT_EQ(pclose(pipe), 0);
  ASSERT_EQ(read.size(), tables.size());
  for (const TableLayout& t : tables) EXPECT_EQ(read[t.base], t.fields) << t.base;
}

}  // namespace
}  // namespace talvex::releases
