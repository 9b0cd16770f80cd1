// The restructure procedure and the record copy driven directly, on real
// tables: situations a whole run reaches only by chance.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/fault_seam.h"
#include "driver/run_state.h"
#include "installation_fixture.h"
#include "releases/clone_writer.h"
#include "releases/layouts.h"
#include "restructure/record_copy.h"
#include "restructure/restructure.h"
#include "restructure/structure_probe.h"
#include "sample_data.h"
#include "catalogue/catalogue.h"
#include "../common/copy_over.h"
#include "../common/file_bytes.h"

namespace talvex::tabmend::testing {
namespace {

namespace stdfs = std::filesystem;

using talvex::testing::ReadBytes;

bool HasField(C4Context c, const std::string& path, const char* field) {
  C4Table t = d4open(c, path.c_str());
  bool has = t != 0 && d4field(t, field) != 0;
  if (t != 0) d4close(t);
  code4errorCode(c, 0);
  return has;
}

// The run state of one export call, as the driver sets it up.
class Procedure : public InstallationTest {
 protected:
  void StartCall() {
    BeginCall();
    ASSERT_TRUE(SetUpRunFolders());
    ASSERT_TRUE(OpenRunContext());
  }
  void TearDown() override {
    CloseRunContext();
    InstallationTest::TearDown();
  }
  UpdateOutcome Run(int number, bool* applied) {
    return RunRestructure(*FindRestructureSpec(number), *applied);
  }
};

TEST_F(Procedure, ProbesAnswerByFieldWidthDecimalsAndTag) {
  Install({1, 73, 0, 100});  // tables as before update 0119
  StartCall();
  EXPECT_TRUE(NeedsUpdateProbe(*FindRestructureSpec(120), folders.data));  // 0 decimals
  EXPECT_TRUE(NeedsUpdateProbe(*FindRestructureSpec(133), folders.data));  // no BYNPI tag
  EXPECT_TRUE(NeedsUpdateProbe(*FindRestructureSpec(132), folders.data));  // narrow name
  CloseRunContext();

  Install({2, 16, 0, 100});  // the same tables, later layouts, same folders
  StartCall();
  EXPECT_FALSE(NeedsUpdateProbe(*FindRestructureSpec(120), folders.data));
  EXPECT_FALSE(NeedsUpdateProbe(*FindRestructureSpec(133), folders.data));
  EXPECT_FALSE(NeedsUpdateProbe(*FindRestructureSpec(132), folders.data));
  // The tag probe cannot look without the index: needed.
  stdfs::remove(nativeData + "/upin.mdx");
  EXPECT_TRUE(NeedsUpdateProbe(*FindRestructureSpec(133), folders.data));
  // A table lacking the probed field entirely is not of a layout to rebuild.
  releases::TableLayout odd{"bsattach", releases::ClaimFamily::None, {{"A_OTHER", 'C', 5, 0}}, {}};
  ASSERT_TRUE(releases::CreateTable(RunContext(), folders.data, odd));
  EXPECT_FALSE(NeedsUpdateProbe(*FindRestructureSpec(120), folders.data));
  // A table that cannot be opened needs the update.
  EXPECT_TRUE(NeedsUpdateProbe(*FindRestructureSpec(202), folders.data + "nowhere\\"));
}

TEST_F(Procedure, AddMissingCopiesOnlyWhereATableIsAbsentAndNeverHalfway) {
  Install({1, 65, 0, 100});  // no 1500 identifier or name tables yet
  ASSERT_FALSE(stdfs::exists(nativeData + "/bsrecid.dbf"));
  StartCall();
  bool applied = true;
  // The second copy (the first table's index) fails: its data file goes too.
  c4faultArm(TALVEX_FAULT_COPY, 2);
  EXPECT_EQ(Run(113, &applied), UpdateOutcome::Failed);
  c4faultClear();
  EXPECT_EQ(LastErrorText(), "Update0113- Unable to copy updated files to data directory.");
  EXPECT_FALSE(stdfs::exists(nativeData + "/bsrecid.dbf"));

  EXPECT_EQ(Run(113, &applied), UpdateOutcome::Applied);
  EXPECT_FALSE(applied);
  for (const char* folder : {"", "/arch1500/2003", "/arch1500/2004"}) {
    for (const char* file : {"/bsrecid.dbf", "/bsrecid.mdx", "/bsrecnm.dbf", "/bsrecnm.mdx"}) {
      EXPECT_TRUE(stdfs::exists(nativeData + folder + file)) << folder << file;
    }
  }
  EXPECT_FALSE(stdfs::exists(nativeData + "/archub92/2003/bsrecid.dbf"));
  EXPECT_FALSE(stdfs::exists(nativeData + "/archub92/notes/bsrecid.dbf"));
  const auto once = Snapshot(nativeData);
  EXPECT_EQ(Run(113, &applied), UpdateOutcome::NotNeeded);
  EXPECT_EQ(Differences(once, Snapshot(nativeData)), "");
}

TEST_F(Procedure, AnArchiveWithTheBasisButWithoutTheTableFailsTheLocateCheck) {
  Install({2, 11, 0, 100});  // before 0165..0172
  for (const char* ext : {".dbf", ".mdx"}) stdfs::remove(nativeData + "/arch1500/2003/bsrecid" + ext);
  const auto before = Snapshot(nativeData);
  StartCall();
  bool applied = true;
  EXPECT_EQ(Run(172, &applied), UpdateOutcome::Failed);
  EXPECT_EQ(LastErrorText(), "Update0172- Unable to locate table files in data directory.");
  EXPECT_FALSE(applied);
  EXPECT_EQ(Differences(before, Snapshot(nativeData)), "");
}

TEST_F(Procedure, WithoutALocateCheckTheMissingTableFailsItsBackup) {
  Install({1, 76, 0, 100});  // before 0131
  for (const char* ext : {".dbf", ".mdx"}) stdfs::remove(nativeData + "/arch1500/2004/bsattchd" + ext);
  const auto before = Snapshot(nativeData);
  StartCall();
  bool applied = true;
  EXPECT_EQ(Run(131, &applied), UpdateOutcome::Failed);
  EXPECT_EQ(LastErrorText(), "Update0131- Unable to backup table files prior to update.");
  EXPECT_EQ(Differences(before, Snapshot(nativeData)), "");
}

TEST_F(Procedure, TheFlaggedFormChangesOnlyTheLocationStillInTheOldLayout) {
  Install({2, 30, 0, 100});  // first update 0194
  ASSERT_EQ(Update(std::string("2.30.0.100")).result, 0);
  // Put archub92\2003 back to the layout before 0194.
  {
    C4Context c = code4initP();
    code4autoOpen(c, 0);
    auto old = releases::LayoutAfter("bcclaim", 193);
    ASSERT_TRUE(old.has_value());
    ASSERT_TRUE(releases::CreateTable(c, folders.data + "archub92\\2003\\", *old));
    std::string error;
    ASSERT_TRUE(host::FillTable(c, folders.data + "archub92\\2003\\", *old, 9, 500, 5, &error)) << error;
    code4initUndo(c);
  }
  const std::string d = ReadBytes(nativeData + "/bcclaim.dbf");
  const std::string other = ReadBytes(nativeData + "/archub92/2004/bcclaim.dbf");
  CallResult call = Update(std::string("2.30.0.100"));
  ASSERT_EQ(call.result, 0) << call.error();
  EXPECT_EQ(ReadBytes(nativeData + "/bcclaim.dbf"), d);
  EXPECT_EQ(ReadBytes(nativeData + "/archub92/2004/bcclaim.dbf"), other);
  C4Context c = code4initP();
  EXPECT_TRUE(HasField(c, nativeData + "/archub92/2003/bcclaim.dbf", "C_PDIAGVS"));
  code4initUndo(c);
  EXPECT_TRUE(stdfs::exists(nativeInstall + "/update/backup/archub92/2003/bcclaim.dbf"));
  EXPECT_FALSE(stdfs::exists(nativeInstall + "/update/backup/bcclaim.dbf"));
}

TEST_F(Procedure, TwoUpdatesOfOneTableKeepThePreCallCopyInOriginal) {
  Install({2, 22, 0, 100});  // 0181 and 0194 both rebuild bcclaim
  const std::string preCall = ReadBytes(nativeData + "/bcclaim.dbf");
  ASSERT_EQ(Update(std::string("2.22.0.100")).result, 0);
  const std::string backup = nativeInstall + "/update/backup/";
  EXPECT_EQ(ReadBytes(backup + "original/bcclaim.dbf"), preCall);
  C4Context c = code4initP();
  // B holds the table as the first of the two left it.
  EXPECT_FALSE(HasField(c, backup + "bcclaim.dbf", "C_PDIAGVS"));
  EXPECT_TRUE(HasField(c, nativeData + "/bcclaim.dbf", "C_PDIAGVS"));
  code4initUndo(c);

  // A later call that rebuilds the table once drops the old original copy.
  for (const char* ext : {".dbf", ".mdx"}) {
    talvex::testing::CopyFileOver(backup + "bcclaim" + ext, nativeData + "/bcclaim" + ext);
  }
  ASSERT_EQ(Update(std::string("2.30.0.100")).result, 0);
  EXPECT_FALSE(stdfs::exists(backup + "original/bcclaim.dbf"));
}

// ---- the record copy --------------------------------------------------------

class RecordCopy : public Procedure {
 protected:
  void SetUp() override {
    Procedure::SetUp();
    Install({3, 5, 0, 0}, 0);
    StartCall();
    source = folders.install + "src\\";
    target = folders.install + "dst\\";
  }
  releases::TableLayout Old() const {
    return {"things", releases::ClaimFamily::None,
            {{"NAME", 'C', 10, 0}, {"GONE", 'C', 5, 0}, {"WIDE", 'C', 5, 0},
             {"AMOUNT", 'N', 6, 1}, {"NOTE", 'M', 10, 0}, {"WHEN", 'D', 8, 0}},
            {{"BY_NAME", "NAME", "", false, false}}};
  }
  releases::TableLayout New() const {
    return {"things", releases::ClaimFamily::None,
            {{"ADDED", 'C', 4, 0}, {"NAME", 'C', 10, 0}, {"WIDE", 'C', 12, 0},
             {"AMOUNT", 'N', 9, 2}, {"NOTE", 'M', 10, 0}, {"WHEN", 'D', 8, 0}},
            {{"BY_NAME", "NAME", "", false, false}, {"BY_WIDE", "WIDE", "", false, false}}};
  }
  void Add(const char* name, const char* wide, double amount, const std::string& note, bool deleted) {
    C4Context c = RunContext();
    C4Table t = d4open(c, (source + "things.dbf").c_str());
    ASSERT_NE(t, 0u);
    C4Index i = i4open(t, (source + "things.mdx").c_str());
    ASSERT_EQ(d4appendBlank(t), 0);
    f4assign(d4field(t, "NAME"), name);
    f4assign(d4field(t, "GONE"), "xx");
    f4assign(d4field(t, "WIDE"), wide);
    f4assignDouble(d4field(t, "AMOUNT"), amount);
    f4memoAssign(d4field(t, "NOTE"), note.c_str());
    f4assign(d4field(t, "WHEN"), "20040229");
    ASSERT_EQ(d4writeLow(t, d4recNoLow(t), 0, 1), 0);
    if (deleted) {
      ASSERT_EQ(d4delete(t), 0);
    }
    i4close(i);
    d4close(t);
  }
  void Make() {
    ASSERT_TRUE(releases::CreateTable(RunContext(), source, Old()));
    ASSERT_TRUE(releases::CreateTable(RunContext(), target, New()));
  }
  std::vector<std::vector<std::string>> Target(std::vector<const char*> names) {
    std::vector<std::vector<std::string>> rows;
    C4Context c = RunContext();
    C4Table t = d4open(c, (target + "things.dbf").c_str());
    if (t == 0) return rows;
    C4Index i = i4open(t, (target + "things.mdx").c_str());
    EXPECT_EQ(d4check(t), 0) << "index after the copy";
    for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) {
      std::vector<std::string> row;
      for (const char* n : names) {
        C4Field f = d4field(t, n);
        row.push_back(f4type(f) == 'M' ? f4memoStr(f) : f4str(f));
      }
      EXPECT_FALSE(d4deleted(t));
      rows.push_back(row);
    }
    if (i) i4close(i);
    d4close(t);
    code4errorCode(c, 0);
    return rows;
  }
  std::string source, target;
};

TEST_F(RecordCopy, CarriesCommonFieldsByNameAndLeavesDeletedRecordsBehind) {
  Make();
  const std::string longNote(3000, 'n');
  Add("ALPHA", "abc", 12.5, longNote, false);
  Add("BRAVO", "gone", 1, "x", true);
  Add("CHARLIE", "wxyz", -3.2, "", false);
  ASSERT_TRUE(CopyCommonFields(source, target, "things"));
  auto rows = Target({"ADDED", "NAME", "WIDE", "AMOUNT", "NOTE", "WHEN"});
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"    ", "ALPHA     ", "abc         ", "    12.50",
                                               longNote, "20040229"}));
  EXPECT_EQ(rows[1][1], "CHARLIE   ");
  EXPECT_EQ(rows[1][3], "    -3.20");
  EXPECT_EQ(rows[1][4], "");
}

// The copy as it was first written: one engine call per field and record.
// The routine now hands the engine the whole field list per record; the
// files it makes must not differ by a byte.
void CopyFieldByField(C4Context c, const std::string& from, const std::string& to) {
  C4Table s = d4open(c, (from + "things.dbf").c_str());
  C4Index si = i4open(s, (from + "things.mdx").c_str());
  C4Table t = d4open(c, (to + "things.dbf").c_str());
  C4Index ti = i4open(t, (to + "things.mdx").c_str());
  ASSERT_TRUE(s && si && t && ti);
  std::vector<std::pair<C4Field, C4Field>> pairs;  // target, source
  for (int j = 1; j <= d4numFields(s); ++j) {
    C4Field to = d4field(t, f4name(d4fieldJ(s, j)));
    if (to != 0) pairs.emplace_back(to, d4fieldJ(s, j));
    code4errorCode(c, 0);
  }
  for (int rc = d4top(s); rc == 0; rc = d4skip(s, 1)) {
    if (d4deleted(s)) continue;
    ASSERT_EQ(d4appendStart(t, 0), 0);
    ASSERT_EQ(d4blank(t), 0);
    for (auto [to, from] : pairs) {
      if (f4type(from) == 'M')
        f4memoAssignN(to, f4memoStr(from), f4memoLen(from));
      else
        f4assignField(to, from);
    }
    ASSERT_EQ(d4append(t), 0);
  }
  ASSERT_EQ(d4reindex(t), 0);
  EXPECT_EQ(i4close(ti), 0);
  EXPECT_EQ(d4close(t), 0);
  i4close(si);
  d4close(s);
  code4errorCode(c, 0);
}

TEST_F(RecordCopy, MakesTheSameFilesAsTheFieldByFieldCopy) {
  Make();
  for (int i = 0; i < 60; ++i) {
    const std::string name = "N" + std::to_string(i * 7919 % 1000);
    const std::string wide = i % 4 ? std::string(static_cast<size_t>(i % 6), 'a' + i % 26) : "";
    const std::string note = i % 3 ? std::string(static_cast<size_t>(i * 53 % 900), 'm') : "";
    Add(name.c_str(), wide.c_str(), (i % 2 ? -1 : 1) * i * 3.25 / 7, note, i % 7 == 3);
  }
  const std::string reference = folders.install + "ref\\";
  ASSERT_TRUE(releases::CreateTable(RunContext(), reference, New()));
  CopyFieldByField(RunContext(), source, reference);
  ASSERT_TRUE(CopyCommonFields(source, target, "things"));
  ASSERT_EQ(Target({"NAME"}).size(), 51u);
  auto same = [&](const char* ext, std::vector<std::pair<size_t, size_t>> dated) {
    std::string a = ReadBytes(Native(target + "things" + ext));
    std::string b = ReadBytes(Native(reference + "things" + ext));
    ASSERT_EQ(a.size(), b.size()) << ext;
    for (auto [from, to] : dated)
      for (size_t i = from; i < to && i < a.size(); ++i) a[i] = b[i] = 0;
    EXPECT_TRUE(a == b) << "the " << ext << " files differ";
  };
  same(".dbf", {{1, 4}});          // the date of the last change
  same(".dbt", {{8, 16}});         // the name of the table
  same(".mdx", {{1, 4}, {44, 47}});  // created, changed
}

TEST_F(RecordCopy, EmptyOrAllDeletedSourcesGiveAnEmptyIndexedTarget) {
  Make();
  ASSERT_TRUE(CopyCommonFields(source, target, "things"));
  EXPECT_TRUE(Target({"NAME"}).empty());
  Add("GONE1", "a", 1, "", true);
  Add("GONE2", "b", 2, "", true);
  ASSERT_TRUE(CopyCommonFields(source, target, "things"));
  EXPECT_TRUE(Target({"NAME"}).empty());
}

TEST_F(RecordCopy, AMissingIndexOnEitherSideFailsBeforeAnythingIsWritten) {
  Make();
  Add("ALPHA", "a", 1, "", false);
  stdfs::remove(Native(source + "things.mdx"));
  EXPECT_FALSE(CopyCommonFields(source, target, "things"));
  EXPECT_TRUE(Target({"NAME"}).empty());
  Make();
  Add("ALPHA", "a", 1, "", false);
  stdfs::remove(Native(target + "things.mdx"));
  const std::string before = ReadBytes(Native(target + "things.dbf"));
  EXPECT_FALSE(CopyCommonFields(source, target, "things"));
  EXPECT_EQ(ReadBytes(Native(target + "things.dbf")), before);
  // The source folder may come without its trailing separator.
  Make();
  Add("ALPHA", "a", 1, "", false);
  EXPECT_TRUE(CopyCommonFields(source.substr(0, source.size() - 1), target, "things"));
  EXPECT_EQ(Target({"NAME"}).size(), 1u);
}

TEST_F(RecordCopy, AWriteFailingAnywhereFailsTheCopyOrLeavesAWholeTarget) {
  // The engine keeps keys and appended records in memory until the table is
  // closed: a write failing there must fail the copy like any other. Only
  // the tidying at the very end (the file's end marker, the writer count)
  // may fail without harm, and then the target is whole and indexed.
  auto fill = [&] {
    Make();
    for (int i = 0; i < 12; ++i)
      Add(("N" + std::to_string(i)).c_str(), "w", i, i % 3 ? "memo" : "", i % 5 == 0);
  };
  fill();
  c4faultClear();
  ASSERT_TRUE(CopyCommonFields(source, target, "things"));
  const int32_t writes = c4faultCount(TALVEX_FAULT_WRITE);
  ASSERT_GT(writes, 2);
  int failed = 0;
  for (int32_t n = 1; n <= writes; ++n) {
    fill();
    c4faultClear();
    c4faultArm(TALVEX_FAULT_WRITE, n);
    const bool ok = CopyCommonFields(source, target, "things");
    c4faultClear();
    if (!ok) {
      ++failed;
      continue;
    }
    auto rows = Target({"NAME", "NOTE"});  // checks the index too
    ASSERT_EQ(rows.size(), 9u) << "write " << n << " of " << writes << " failed unseen";
    EXPECT_EQ(rows[8], (std::vector<std::string>{"N11       ", "memo"}));
  }
  EXPECT_GT(failed, writes / 2);  // the faults did bite
}

}  // namespace
}  // namespace talvex::tabmend::testing
