// The export UpdateDatabaseStructures on real installations: every failure
// the host can meet, each checked for its exact message, the result and a
// data folder left byte for byte as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/fault_seam.h"
#include "installation_fixture.h"
#include "pe_image.h"

namespace talvex::tabmend::testing {
namespace {

namespace stdfs = std::filesystem;

constexpr host::ReleaseNumber kRelease202{2, 49, 0, 100};  // runs 0202 and 0203
constexpr host::ReleaseNumber kRelease192{2, 25, 0, 100};  // runs 0192 to 0203

const char kCannotDetermine[] = "Unable to determine (or invalid) TALVEX32.EXE version number.";

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

class UpdateRun : public InstallationTest {};

TEST_F(UpdateRun, VersionTextsThatAreNoVersionAreRefusedBeforeAnythingIsTouched) {
  Install(kRelease202);
  const auto before = Snapshot(root);
  const std::string unterminated(TABMEND_MAX_VERSION_TEXT + 40, '2');
  for (const std::string text : {"70000.1.0.0", "1.x.0.0", "2.45.0", "2.45.0.300.1", "-2.49.0.100"}) {
    CallResult call = Update(text);
    EXPECT_EQ(call.result, -1) << text;
    EXPECT_EQ(call.error(), kCannotDetermine) << text;
    EXPECT_EQ(call.entryCount, 2);
  }
  // A text without its NUL within reach: read no further, refuse it.
  std::vector<char> buffer(unterminated.begin(), unterminated.end());
  CallResult call = Update(std::string(buffer.begin(), buffer.end()));
  EXPECT_EQ(call.error(), kCannotDetermine);
  EXPECT_EQ(Differences(before, Snapshot(root)), "");
}

TEST_F(UpdateRun, VersionsOutsideTheGateNameTheNumbersAsParsed) {
  Install(kRelease202);
  const auto before = Snapshot(nativeData);
  const std::pair<const char*, const char*> cases[] = {
      {"1.70.1.100", "[1.70.1.100]"}, {"2.59.0.100", "[2.59.0.100]"},
      {"2.24.0.300", "[2.24.0.300]"}, {"8.0.0.0", "[8.0.0.0]"},
      {" 02 . 059 .0.100\t", "[2.59.0.100]"}};
  for (const auto& [text, numbers] : cases) {
    CallResult call = Update(std::string(text));
    EXPECT_EQ(call.result, -1);
    EXPECT_EQ(call.error(), std::string("Invalid TALVEX32.EXE version number ") + numbers + ".");
  }
  EXPECT_EQ(Differences(before, Snapshot(nativeData)), "");
}

TEST_F(UpdateRun, AReleaseWithNothingToRunSucceedsWithoutTouchingAnything) {
  Install(kRelease202);
  const auto before = Snapshot(root);
  CallResult call = Update(std::string("3.5.0.0"));
  EXPECT_EQ(call.result, 0);
  EXPECT_EQ(call.entryCount, 1);
  const auto after = Snapshot(root);
  EXPECT_EQ(Differences(before, after), "");
  EXPECT_TRUE(SameTimes(before, after));
}

TEST_F(UpdateRun, WithoutTextTheHostProgramsVersionDecides) {
  Install(kRelease202);
  const auto before = Snapshot(nativeData);
  CallResult call = Update(std::nullopt);
  ASSERT_EQ(call.result, 0) << call.error();
  EXPECT_NE(Differences(before, Snapshot(nativeData)), "");  // 0202 and 0203 ran

  // A blank text counts as none; now the program file is missing ...
  const auto updated = Snapshot(nativeData);
  stdfs::remove(nativeServer + "/TALVEX32.EXE");
  call = Update(std::string(" \t "));
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error(), kCannotDetermine);
  // ... or has no version resource.
  WriteFile(nativeServer + "/TALVEX32.EXE", host::BuildProgramImage(kRelease202, false));
  call = Update(std::nullopt);
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error(), kCannotDetermine);
  EXPECT_EQ(Differences(updated, Snapshot(nativeData)), "");
}

TEST_F(UpdateRun, AnInstallationTheRegistryDoesNotNameCannotBeUpdated) {
  Install(kRelease202);
  WriteFile(root + "/registry.reg", "REGEDIT4\r\n");
  CallResult call = Update(std::string("2.49.0.100"));
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error(), "Unable to locate (or create) critical directories.");
}

TEST(UpdateRunInput, ANullRecordFailsWithoutCrashing) {
  EXPECT_EQ(UpdateDatabaseStructures(nullptr), -1);
}

TEST_F(UpdateRun, AMissingCloneFileStopsTheUpdateBeforeTheDataFolder) {
  Install(kRelease202);
  stdfs::remove(nativeServer + "/update/clone/updt0072/isec.mdx");
  const auto before = Snapshot(nativeData);
  CallResult call = Update(std::string("2.49.0.100"));
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error(), "Update0202- Unable to copy clone table files.");
  EXPECT_EQ(Differences(before, Snapshot(nativeData)), "");
}

TEST_F(UpdateRun, AnUnreadableTableNeedsTheUpdateAndFailsAtTheRecordCopy) {
  Install(kRelease202);
  WriteFile(nativeData + "/isec.dbf", std::string(700, '\x5A'));
  const auto before = Snapshot(nativeData);
  CallResult call = Update(std::string("2.49.0.100"));
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error(), "Update0202- Unable to perform common field copy.");
  EXPECT_EQ(Differences(before, Snapshot(nativeData)), "");
}

TEST_F(UpdateRun, ALocateCheckWantsEveryFileOfTheSet) {
  Install(kRelease192);
  stdfs::remove(nativeData + "/submit.mdx");
  const auto before = Snapshot(nativeData);
  CallResult call = Update(std::string("2.25.0.100"));
  EXPECT_EQ(call.result, -1);
  EXPECT_EQ(call.error(), "Update0192- Unable to locate table files in data directory.");
  EXPECT_EQ(Differences(before, Snapshot(nativeData)), "");
}

// Where update 0165 begins and ends, counted in writes of the process.
struct WriteMarks {
  int32_t start = -1, end = -1;
};

void TABMEND_API MarkWrites(void* context, const TabmendProgress* p) {
  auto* marks = static_cast<WriteMarks*>(context);
  if (p->Update == 165 && p->Phase == TABMEND_PROGRESS_START) marks->start = c4faultCount(TALVEX_FAULT_WRITE);
  if (p->Update == 165 && p->Phase == TABMEND_PROGRESS_APPLIED) marks->end = c4faultCount(TALVEX_FAULT_WRITE);
}

// A failing conversion: the update's flag is set by then, so its own tables
// are restored with every earlier one. Without the migration the conversion
// fails by itself; with it, a write fault inside it does.
TEST_F(UpdateRun, AFailingConversionRollsTheWholeCallBack) {
  Install({2, 11, 0, 100});  // first update 0165, which converts
  const auto before = Snapshot(nativeData);
  const std::string translate = "Update0165- Unable to translate special field values.";
  WriteMarks marks;
  TabmendSetProgressObserver(&MarkWrites, &marks);
  c4faultClear();
  CallResult call = Update(std::string("2.11.0.100"));
  TabmendSetProgressObserver(nullptr, nullptr);
  if (marks.end < 0) {  // 0165 itself did not get through
    EXPECT_EQ(call.result, -1);
    EXPECT_EQ(call.error(), translate);
    EXPECT_EQ(Differences(before, Snapshot(nativeData)), "");
    return;
  }
  ASSERT_GT(marks.end, marks.start);
  if (call.result == 0) RestoreSnapshot(nativeData, before);
  bool seen = false;
  // The conversion's writes are the last of the update: walk back from there.
  for (int32_t n = marks.end; n > marks.start && n > marks.end - 300 && !seen; --n) {
    c4faultClear();
    c4faultArm(TALVEX_FAULT_WRITE, n);
    call = Update(std::string("2.11.0.100"));
    c4faultClear();
    if (call.result == 0) {
      RestoreSnapshot(nativeData, before);
      continue;
    }
    // (A later update may fail on its own; the rollback must hold all the same.)
    EXPECT_EQ(Differences(before, Snapshot(nativeData)), "") << call.error();
    seen = call.error() == translate;
  }
  EXPECT_TRUE(seen);
}

TEST_F(UpdateRun, ASecondRunChangesNoFile) {
  Install(kRelease192);
  ASSERT_EQ(Update(std::string("2.25.0.100")).result, 0);
  const auto before = Snapshot(root);
  CallResult call = Update(std::string("2.25.0.100"));
  EXPECT_EQ(call.result, 0);
  EXPECT_EQ(call.entryCount, 1);
  const auto after = Snapshot(root);
  EXPECT_EQ(Differences(before, after), "");
  EXPECT_TRUE(SameTimes(before, after));
}

}  // namespace
}  // namespace talvex::tabmend::testing
