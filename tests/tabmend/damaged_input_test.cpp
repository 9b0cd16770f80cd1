// Damaged tables and values the new layout cannot hold: the update refuses
// before it changes anything, names the table, and never copies a blank in
// place of what it could not read or store.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "c4dll.h"
#include "driver/run_state.h"
#include "installation_fixture.h"
#include "restructure/restructure.h"
#include "catalogue/catalogue.h"

namespace talvex::tabmend::testing {
namespace {

namespace stdfs = std::filesystem;

const host::ReleaseNumber kOldest{1, 65, 0, 100};
const std::string kReindexText =
    "\r\nPerform a reindex of all database files in the File Maintenance module before "
    "attempting this update again.";

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Runs body on the table (opened with its index, so the index follows).
void WithTable(const std::string& path, const std::function<void(C4Context, C4Table)>& body) {
  C4Context c = code4initP();
  ASSERT_NE(c, 0u);
  C4Table t = d4open(c, path.c_str());
  ASSERT_NE(t, 0u) << path;
  body(c, t);
  EXPECT_EQ(d4close(t), 0);
  code4initUndo(c);
}

// The key of the table's first live record in its claim-and-line tag,
// replaced inside the .mdx by a key no record has: the index no longer
// agrees with the records, and nothing else in the file changes.
void FlipFirstLineKey(const std::string& data, const std::string& base) {
  std::string key;
  WithTable(data + "/" + base + ".dbf", [&](C4Context, C4Table t) {
    ASSERT_EQ(d4top(t), 0);
    char text[32];
    std::snprintf(text, sizeof text, "%10ld%4ld", f4int(d4field(t, "CLAIM")),
                  d4field(t, "LINE") != 0 ? f4int(d4field(t, "LINE")) : 0L);
    key = d4field(t, "LINE") != 0 ? std::string(text) : std::string(text, 10);
  });
  std::string mdx = ReadBytes(data + "/" + base + ".mdx");
  const size_t at = mdx.find(key);
  ASSERT_NE(at, std::string::npos) << key;
  mdx[at + 9] = static_cast<char>(mdx[at + 9] == '9' ? '1' : mdx[at + 9] + 1);
  WriteBytes(data + "/" + base + ".mdx", mdx);
}

void CutToHalf(const std::string& path) {
  std::error_code ec;
  const auto size = stdfs::file_size(path, ec);
  ASSERT_FALSE(ec) << path;
  stdfs::resize_file(path, size / 2);
}

// Haemoglobin results of a thousand and more in two live records: N(5,0)
// holds them, N(5,1) cannot.
void OverflowingResults(const std::string& data) {
  WithTable(data + "/bsattach.dbf", [](C4Context, C4Table t) {
    for (int rec : {2, 5}) {
      ASSERT_EQ(d4goLow(t, rec, 1), 0);
      ASSERT_EQ(d4deleted(t), 0);
      ASSERT_EQ(f4assign(d4field(t, "A_HGBRSLT"), rec == 2 ? "1234" : "10500"), 0);
    }
    ASSERT_EQ(d4flush(t), 0);
  });
}

// Bytes written straight over the end of a field of one record, as a damaged
// file holds them (the engine would refuse such a value).
void PutFieldBytes(const std::string& path, int record, const std::string& field,
                   const std::string& bytes) {
  std::string dbf = ReadBytes(path);
  auto word = [&](size_t at) {
    return static_cast<size_t>(static_cast<unsigned char>(dbf[at])) |
           static_cast<size_t>(static_cast<unsigned char>(dbf[at + 1])) << 8;
  };
  const size_t headerLength = word(8), recordLength = word(10);
  size_t offset = 1;  // the deletion flag comes first
  for (size_t at = 32; at + 32 <= headerLength && dbf[at] != 0x0D; at += 32) {
    const size_t width = static_cast<unsigned char>(dbf[at + 16]);
    if (std::string(dbf.c_str() + at) == field) {
      const size_t end = headerLength + static_cast<size_t>(record - 1) * recordLength + offset + width;
      dbf.replace(end - bytes.size(), bytes.size(), bytes);
      WriteBytes(path, dbf);
      return;
    }
    offset += width;
  }
  FAIL() << field << " not in " << path;
}

struct DamageCase {
  const char* what;
  std::function<void(const std::string& data)> damage;
  const char* host;     // the text stored for the host
  const char* detail;   // a part of the run log's detail (procedure only)
};

std::vector<DamageCase> Cases() {
  return {
      {"a key flipped in the index", [](const std::string& d) { FlipFirstLineKey(d, "bsattach"); },
       "Update0120- Damaged index file: BSATTACH.MDX", "index check of"},
      {"the memo file cut to half", [](const std::string& d) { CutToHalf(d + "/bsattach.dbt"); },
       "Update0120- Damaged memo file: BSATTACH.DBT", "Memo file error"},
      {"values wider than the new field", OverflowingResults,
       "Update0120- Unable to perform common field copy.",
       "record 2: field A_HGBRSLT, value 1234: does not fit the new field N(5,1)"},
  };
}

std::string ExpectedHostText(const DamageCase& c) {
  std::string text = c.host;
  if (text.find("index file") != std::string::npos) text += kReindexText;
  if (text.find("memo file") != std::string::npos) {
    text += "\r\nThe memo file is corrupt and will require manual repair.";
  }
  return text;
}

// The data folder after a refused call, less the empty tables that the
// add-missing updates put where they lacked: those are never rolled back (a
// later table of the call can need them), so a refusal keeps them too.
FolderSnapshot WithoutAddedTables(const FolderSnapshot& before, FolderSnapshot after) {
  std::vector<std::string> added;
  for (int number : {106, 113}) {
    for (const UpdatedTable& table : FindRestructureSpec(number)->tables()) {
      added.push_back(table.base);
    }
  }
  std::erase_if(after, [&](const auto& entry) {
    const std::string stem = stdfs::path(entry.first).stem().string();
    return before.count(entry.first) == 0 &&
           std::find(added.begin(), added.end(), stem) != added.end();
  });
  return after;
}

class DamagedInput : public InstallationTest {};

// The whole call as the host makes it, from the oldest release: the updates
// before the damaged table's are rolled back, and every file of the data
// folder is byte for byte as it was. A second call refuses the same way.
TEST_F(DamagedInput, ADamagedTableOrAValueThatDoesNotFitStopsTheCallWithNothingChanged) {
  for (const DamageCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    Install(kOldest, 12, 7);
    c.damage(nativeData);
    const FolderSnapshot before = Snapshot(nativeData);
    for (int call = 1; call <= 2; ++call) {
      const CallResult result = Update(std::nullopt);
      EXPECT_EQ(result.result, -1);
      EXPECT_EQ(result.error(), ExpectedHostText(c)) << "call " << call;
      EXPECT_EQ(Differences(before, WithoutAddedTables(before, Snapshot(nativeData))), "")
          << "call " << call;
    }
    TearDown();
    SetUp();
  }
}

// A control byte inside a claim number (the index rebuilt over it): the
// conversion that reads it stops the call, which is rolled back, with the
// host's fixed text.
TEST_F(DamagedInput, AClaimNumberWithAControlByteStopsTheCallWithNothingChanged) {
  Install(kOldest, 12, 7);
  PutFieldBytes(nativeData + "/bsclaim.dbf", 2, "CLAIM", std::string("1\x01") + "2");
  // Reindexed, as File Maintenance would: otherwise the index check finds it.
  WithTable(nativeData + "/bsclaim.dbf", [](C4Context, C4Table t) { EXPECT_EQ(d4reindex(t), 0); });
  const FolderSnapshot before = Snapshot(nativeData);
  const CallResult result = Update(std::nullopt);
  EXPECT_EQ(result.result, -1);
  EXPECT_NE(result.error().find("- Unexpected exception."), std::string::npos) << result.error();
  EXPECT_EQ(Differences(before, WithoutAddedTables(before, Snapshot(nativeData))), "");
}

// The same update run on its own: the detail for the run log names the
// table, the record, the field and the value, and the update's flag stays
// down (nothing to roll back).
class DamagedUpdate : public InstallationTest {
 protected:
  void TearDown() override {
    CloseRunContext();
    InstallationTest::TearDown();
  }
};

TEST_F(DamagedUpdate, TheRefusalHasItsDetailAndLeavesTheFlagDown) {
  for (const DamageCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    Install({1, 73, 0, 100});  // bsattach as before update 0120
    c.damage(nativeData);
    const FolderSnapshot before = Snapshot(nativeData);
    BeginCall();
    ASSERT_TRUE(SetUpRunFolders());
    ASSERT_TRUE(OpenRunContext());
    bool applied = true;
    EXPECT_EQ(RunRestructure(*FindRestructureSpec(120), applied), UpdateOutcome::Failed);
    EXPECT_FALSE(applied);
    EXPECT_EQ(LastErrorText(), ExpectedHostText(c));
    ASSERT_EQ(CurrentRun().failureDetail.size(), 1u);
    const std::string& detail = CurrentRun().failureDetail[0];
    EXPECT_NE(detail.find("BSATTACH"), std::string::npos) << detail;
    EXPECT_NE(detail.find(c.detail), std::string::npos) << detail;
    EXPECT_EQ(Differences(before, Snapshot(nativeData)), "");
    CloseRunContext();
    InstallationTest::TearDown();
    SetUp();
  }
}

// An exception's text reaches the run's detail: the table, record and field
// a conversion could not read.
TEST_F(DamagedUpdate, AnExceptionKeepsItsTableRecordAndFieldForTheRunLog) {
  Install(kOldest, 12, 7);
  PutFieldBytes(nativeData + "/bsclaim.dbf", 2, "CLAIM", std::string("1\x01") + "2");
  WithTable(nativeData + "/bsclaim.dbf", [](C4Context, C4Table t) { EXPECT_EQ(d4reindex(t), 0); });
  BeginCall();
  ASSERT_TRUE(SetUpRunFolders());
  ASSERT_TRUE(OpenRunContext());
  bool applied = false;
  ASSERT_EQ(RunRestructure(*FindRestructureSpec(113), applied), UpdateOutcome::Applied);  // bsrecid
  EXPECT_EQ(RunRestructure(*FindRestructureSpec(115), applied), UpdateOutcome::Failed);
  EXPECT_EQ(LastErrorText(), "Update0115- Unexpected exception.");
  ASSERT_EQ(CurrentRun().failureDetail.size(), 1u);
  const std::string& detail = CurrentRun().failureDetail[0];
  EXPECT_EQ(detail.rfind("Update0115- ", 0), 0u) << detail;
  EXPECT_NE(detail.find("bsclaim.dbf record 2, field CLAIM: claim number is not an integer: "
                        "\"1\\x012\""),
            std::string::npos)
      << detail;
}

}  // namespace
}  // namespace talvex::tabmend::testing
