#include "installation_fixture.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/testing/fault_seam.h"
#include "platform/native_path.h"

namespace talvex::tabmend::testing {

namespace stdfs = std::filesystem;

std::string Native(const std::string& hostText) { return platform::nativePath(hostText); }

bool InUpdateLocation(const std::string& nativeData, const std::string& file) {
  const stdfs::path relative = stdfs::relative(stdfs::path(file).parent_path(), nativeData);
  const std::string top = relative.begin() == relative.end() ? "" : relative.begin()->string();
  return top == "." || top == "archub92" || top == "arch1500";
}

FolderSnapshot Snapshot(const std::string& nativeFolder) {
  FolderSnapshot out;
  std::error_code ec;
  for (auto it = stdfs::recursive_directory_iterator(nativeFolder, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    // The update lock's file and the run log are the call's own, not data.
    const std::string name = it->path().filename().string();
    if (name == "tabmend.lck" || name == "tabmend.log") continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    struct stat st {};
    ::stat(it->path().c_str(), &st);
    FileState state;
    state.bytes = content.str();
    state.mtime = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    out[stdfs::relative(it->path(), nativeFolder).generic_string()] = std::move(state);
  }
  return out;
}

std::string Differences(const FolderSnapshot& before, const FolderSnapshot& after) {
  std::string out;
  int shown = 0;
  for (const auto& [path, state] : before) {
    auto it = after.find(path);
    if (it == after.end()) {
      out += "missing " + path + "; ";
    } else if (!(it->second == state)) {
      out += "changed " + path + "; ";
    } else {
      continue;
    }
    if (++shown == 6) return out;
  }
  for (const auto& [path, state] : after) {
    if (!before.count(path)) {
      out += "added " + path + "; ";
      if (++shown == 6) return out;
    }
  }
  return out;
}

bool SameTimes(const FolderSnapshot& before, const FolderSnapshot& after) {
  if (before.size() != after.size()) return false;
  for (const auto& [path, state] : before) {
    auto it = after.find(path);
    if (it == after.end() || it->second.mtime != state.mtime) return false;
  }
  return true;
}

void RestoreSnapshot(const std::string& nativeFolder, const FolderSnapshot& snapshot) {
  for (const auto& [path, state] : Snapshot(nativeFolder)) {
    if (!snapshot.count(path)) stdfs::remove(stdfs::path(nativeFolder) / path);
  }
  for (const auto& [path, state] : snapshot) {
    stdfs::create_directories((stdfs::path(nativeFolder) / path).parent_path());
    std::ofstream out(stdfs::path(nativeFolder) / path, std::ios::binary | std::ios::trunc);
    out << state.bytes;
  }
}

void InstallationTest::SetUp() {
  c4faultClear();
  // These tests fail operations or kill processes; neither loses a write that
  // a sync would have kept, so the updater's syncs are skipped for speed.
  c4faultSetSync(0);
  char pattern[] = "/tmp/tabmend-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  root = pattern;
  setenv("TALVEX_REGISTRY", (root + "/registry.reg").c_str(), 1);
  nativeData = root + "/data";
  nativeServer = root + "/server";
  nativeInstall = root + "/install";
  folders = host::FoldersOf(root);
}

void InstallationTest::TearDown() {
  c4faultClear();
  c4faultSetSync(1);
  if (!HasFailure() || std::getenv("TABMEND_KEEP") == nullptr) {
    std::error_code ec;
    stdfs::remove_all(root, ec);
  }
}

void InstallationTest::Install(host::ReleaseNumber release, int claims, uint64_t seed) {
  host::InstallOptions options;
  options.dir = root;
  options.release = release;
  options.sample.claims = claims;
  options.sample.seed = seed;
  options.quiet = true;
  std::string error;
  ASSERT_TRUE(host::Install(options, stdout, &error)) << error;
}

CallResult InstallationTest::Update(const std::optional<std::string>& versionText) {
  constexpr int kKey = 48, kValue = 256, kRoom = 8;
  std::vector<char> keys(kKey * kRoom, '\0'), values(kValue * kRoom, '\0');
  std::strcpy(keys.data(), "%USER%");
  std::strcpy(values.data(), "front desk");
  TabmendCallRecord record{};
  record.KeyStride = kKey;
  record.ValueStride = kValue;
  record.EntryCount = 1;
  record.KeySlots = keys.data();
  record.ValueSlots = values.data();
  record.VersionText = versionText ? versionText->c_str() : nullptr;
  CallResult out;
  out.result = UpdateDatabaseStructures(&record);
  out.entryCount = record.EntryCount;
  for (int i = 0; i < std::min(record.EntryCount, kRoom); ++i) {
    out.tokens[keys.data() + i * kKey] = values.data() + i * kValue;
  }
  return out;
}

}  // namespace talvex::tabmend::testing
