// ReindexAllDatabaseFiles on real installations: damaged indexes and headers
// come out sound, and every stop of the run gives its own message.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/testing/fault_seam.h"
#include "maintenance_fixture.h"

namespace talvex::tabmend::testing {
namespace {

namespace stdfs = std::filesystem;

const char kAdvice[] =
    "\r\nPerform a reindex of all database files in the File Maintenance module before "
    "attempting this update again.";
const char kArchiveAdvice[] = "\r\nThe claim archive is corrupt and will require manual repair or removal.";

class ReindexAllTest : public MaintenanceTest {
 protected:
  void SetUp() override {
    MaintenanceTest::SetUp();
    Install(host::ReleaseNumber{1, 65, 0, 100}, 40);
  }

  std::string Ini() const { return nativeInstall + "/TALVEX32.INI"; }

  // Replaces the keys of [Database Tables] (a trailing section stays).
  void ListTables(const std::vector<std::string>& keys) {
    std::ifstream in(Ini());
    std::string out, line;
    bool inSection = false;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!line.empty() && line[0] == '[') {
        inSection = line == "[Database Tables]";
        out += line + "\r\n";
        if (inSection) {
          for (const std::string& k : keys) out += k + "\r\n";
        }
        continue;
      }
      if (!inSection) out += line + "\r\n";
    }
    WriteBytes(Ini(), out);
  }

  // Overwrites bytes from `offset` with noise (an index page torn apart).
  static void Garble(const std::string& path, size_t offset, size_t length) {
    std::string bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), offset);
    std::mt19937 rng(11);
    for (size_t i = offset; i < std::min(bytes.size(), offset + length); ++i) bytes[i] = static_cast<char>(rng());
    WriteBytes(path, bytes);
  }

  std::string Error() { return Call(&ReindexAllDatabaseFiles).error(); }
};

TEST_F(ReindexAllTest, DamagedIndexesAndHeadersComeOutSound) {
  const std::string archive = nativeData + "/archub92/2003/bcclaim";
  const std::string perlBefore[] = {PerlTagCounts(Data("bcclaim.mdx")), PerlTagCounts(Data("bslines.mdx")),
                                    PerlTagCounts(archive + ".mdx")};
  ASSERT_NE(perlBefore[0], "");
  const int liveClaims = LiveRecords(Data("bsclaim.dbf"));

  // Engine's layout: 1024-byte blocks, tag headers at 2048, 4096, 6144 with
  // each tag's first node page right behind its header.
  Garble(Data("bcclaim.mdx"), 3072, 1024);        // a node page torn apart
  stdfs::resize_file(Data("bslines.mdx"), 3072);  // every node page cut off
  Garble(archive + ".mdx", 5120, 1024);
  // bsclaim: a count update lost (header one record short).
  std::string claims = ReadBytes(Data("bsclaim.dbf"));
  ASSERT_GT(claims[4], 0);
  claims[4] = static_cast<char>(claims[4] - 1);
  WriteBytes(Data("bsclaim.dbf"), claims);
  // bsroster: an append torn off over the end marker.
  const std::string roster = ReadBytes(Data("bsroster.dbf"));
  WriteBytes(Data("bsroster.dbf"), roster.substr(0, roster.size() - 1) + " half");

  CallResult r = Call(&ReindexAllDatabaseFiles);
  ASSERT_EQ(r.result, 0) << r.error();
  EXPECT_EQ(r.entryCount, 1);  // nothing reported

  for (const std::string& dbf : {Data("bcclaim.dbf"), Data("bslines.dbf"), Data("bsclaim.dbf"),
                                 archive + ".dbf"}) {
    std::string text;
    EXPECT_EQ(CheckIndex(dbf, &text), 0) << dbf << ": " << text;
  }
  EXPECT_EQ(PerlTagCounts(Data("bcclaim.mdx")), perlBefore[0]);
  EXPECT_EQ(PerlTagCounts(Data("bslines.mdx")), perlBefore[1]);
  EXPECT_EQ(PerlTagCounts(archive + ".mdx"), perlBefore[2]);
  EXPECT_EQ(LiveRecords(Data("bsclaim.dbf")), liveClaims);
  EXPECT_EQ(ReadBytes(Data("bsroster.dbf")), roster);  // the torn bytes cut, the marker back
}

TEST_F(ReindexAllTest, ListedTableMessages) {
  stdfs::remove(Data("payer.mdx"));
  EXPECT_EQ(Error(), "Unable to locate index file: PAYER.MDX" + std::string(kAdvice));

  ListTables({"UTILMAST.DBF=1", "NOSUCH.DBF=1"});  // UTILMAST has no index: passed over
  EXPECT_EQ(Error(), "Unable to locate database file: NOSUCH.DBF");

  ListTables({"SUBMIT=1", "PAYER.DBF=1"});
  EXPECT_EQ(Error(), "Unable to locate database file: .DBF");

  WriteBytes(Data("facility.mdx"), std::string(600, '\x7f'));
  ListTables({"FACILITY.DBF=1"});
  EXPECT_EQ(Error(), "Unable to reindex database file: FACILITY.DBF [Unable to open index file.]");

  WriteBytes(Data("upin.dbf"), "not a table at all");
  ListTables({"UPIN.DBF=1"});
  EXPECT_EQ(Error(), "Unable to reindex database file: UPIN.DBF [Unable to open database file.]");

  ListTables({});
  EXPECT_EQ(Error(), "Database files list is empty.");

  stdfs::remove(Ini());
  EXPECT_EQ(Error(), "Unable to locate system configuration file (TALVEX32.INI).");
  // The server's copy is the fallback.
  WriteBytes(nativeServer + "/TALVEX32.INI", "[Database Tables]\r\nSUBMIT.DBF=1\r\n");
  CallResult fallback = Call(&ReindexAllDatabaseFiles);
  EXPECT_EQ(fallback.result, 0) << fallback.error();

  setenv("TALVEX_REGISTRY", (root + "/nobody.reg").c_str(), 1);
  CallResult r = Call(&ReindexAllDatabaseFiles);
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.error(), "Unable to locate (or create) critical directories.");
  EXPECT_EQ(r.entryCount, 2);
}

TEST_F(ReindexAllTest, ArchiveMessagesNameTheLongFolder) {
  const std::string ub2004 = folders.data + "archub92\\2004\\";
  stdfs::remove(nativeData + "/archub92/2004/bclines.mdx");
  EXPECT_EQ(Error(), "Unable to locate claim archive index file: " + ub2004 + "bclines.MDX" + kArchiveAdvice);

  stdfs::remove_all(nativeData + "/archub92");
  WriteBytes(nativeData + "/arch1500/2003/orphan.old.dbf", "x");
  EXPECT_EQ(Error(), "Unable to locate claim archive database file: " + folders.data +
                         "arch1500\\2003\\orphan.DBF" + kArchiveAdvice);
  stdfs::remove(nativeData + "/arch1500/2003/orphan.old.dbf");

  WriteBytes(nativeData + "/arch1500/2004/bsclaim.mdx", std::string(700, 'x'));
  EXPECT_EQ(Error(), "Unable to reindex claim archive database file: " + folders.data +
                         "arch1500\\2004\\bsclaim.DBF [Unable to open index file.]");
}

// A reindex the engine cannot finish (its first write fails) names the
// table and carries the engine's own text.
TEST_F(ReindexAllTest, EngineFailureCarriesItsText) {
  ListTables({"PAYER.DBF=1", "SUBMIT.DBF=1"});
  c4faultClear();
  c4faultArm(TALVEX_FAULT_WRITE, 1);
  const std::string error = Error();
  c4faultClear();
  const std::string prefix = "Unable to reindex database file: PAYER.DBF [";
  ASSERT_EQ(error.substr(0, prefix.size()), prefix) << error;
  EXPECT_GT(error.size(), prefix.size() + 1);
  EXPECT_EQ(error.back(), ']');
  // Nothing was left half done that a second run cannot mend.
  EXPECT_EQ(Call(&ReindexAllDatabaseFiles).result, 0);
  EXPECT_EQ(CheckIndex(Data("payer.dbf")), 0);
}

// The run stops at the first failure; what it rebuilt before stays rebuilt
// and the archives are not visited.
TEST_F(ReindexAllTest, StopsAtFirstFailureKeepingEarlierWork) {
  Garble(Data("payer.mdx"), 3072, 1024);
  const std::string archiveMdx = nativeData + "/arch1500/2003/bsclaim.mdx";
  Garble(archiveMdx, stdfs::file_size(archiveMdx) - 1024, 1024);
  const std::string damagedArchive = ReadBytes(archiveMdx);
  ListTables({"PAYER.DBF=1", "GONE.DBF=1"});

  CallResult r = Call(&ReindexAllDatabaseFiles);
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.error(), "Unable to locate database file: GONE.DBF");
  EXPECT_EQ(CheckIndex(Data("payer.dbf")), 0);
  EXPECT_EQ(ReadBytes(archiveMdx), damagedArchive);
}

}  // namespace
}  // namespace talvex::tabmend::testing
