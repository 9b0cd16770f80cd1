// A real host installation in a fresh temporary folder, made with
// talvexhost's installer, and the means to call the updater on it as the host
// does and to compare folders byte for byte.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "installation.h"
#include "tabmend/tabmend_api.h"

namespace talvex::tabmend::testing {

// relative path -> bytes (and modification time) of every file below a folder.
struct FileState {
  std::string bytes;
  int64_t mtime = 0;
  bool operator==(const FileState& o) const { return bytes == o.bytes; }
};
using FolderSnapshot = std::map<std::string, FileState>;

FolderSnapshot Snapshot(const std::string& nativeFolder);
// Describes the first few differences ("" when equal by content).
std::string Differences(const FolderSnapshot& before, const FolderSnapshot& after);
bool SameTimes(const FolderSnapshot& before, const FolderSnapshot& after);
// Puts the folder back to the snapshot's files (extra files removed).
void RestoreSnapshot(const std::string& nativeFolder, const FolderSnapshot& snapshot);

struct CallResult {
  int32_t result = 0;
  int32_t entryCount = 0;
  std::map<std::string, std::string> tokens;
  std::string error() const {
    auto it = tokens.find("%TABMEND_ERR%");
    return it == tokens.end() ? std::string() : it->second;
  }
};

class InstallationTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Installs at the release (claims kept small unless asked).
  void Install(host::ReleaseNumber release, int claims = 12, uint64_t seed = 7);

  // The host's call: a token table with one entry of its own.
  CallResult Update(const std::optional<std::string>& versionText);

  std::string root;        // native temp folder
  std::string nativeData, nativeServer, nativeInstall;
  host::InstallFolders folders;  // host texts
};

// Native path of a host text below the installation.
std::string Native(const std::string& hostText);

// Whether a table file lies where the updater works: the data folder itself or
// a claim archive folder below "archub92" or "arch1500" (not, say, the extra
// roster data folders the installer puts below "rosters").
bool InUpdateLocation(const std::string& nativeData, const std::string& file);

}  // namespace talvex::tabmend::testing
