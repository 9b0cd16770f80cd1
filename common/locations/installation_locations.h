// Where the host is installed, read from the current user's registry.
//
// The host records per user, under "Software\Corvane Technologies\Talvex32"
// subkey "General", the string values ServerDirectory, InstallDirectory and
// DataDirectory. readInstallationLocations() fills an InstallationLocations
// value; there is no process-wide copy, the caller keeps the value for the
// rest of its call. Nothing is shown on failure; the caller reports it.
// Reads and (for a new user) creates registry keys and, with
// WorkDirectories::Create, creates folders; safe from any thread that does
// not race another writer of the same folders.
#pragma once

#include <string>
#include <string_view>

namespace talvex::common {

inline constexpr char kRegistryKey[] = "Software\\Corvane Technologies\\Talvex32";
inline constexpr char kRegistrySubkey[] = "General";

// Folder texts, each empty or ending in "\"; file names are appended directly.
struct InstallationLocations {
  std::string ServerDirectory;
  std::string InstallDirectory;
  std::string DataDirectory;
  // Working folders below InstallDirectory; set only with
  // WorkDirectories::Create.
  std::string PrivateDirectory;  // InstallDirectory + "private\"
  std::string UpdateDirectory;   // InstallDirectory + "update\"
  std::string BackupDirectory;   // InstallDirectory + "update\backup\"
};

enum class WorkDirectories {
  None,    // the program: only the three locations
  Create,  // the updater: also the three working folders, made when missing
};

// Opens (creating when missing) the key, reads the three values, applies
// withTrailingSeparator, derives an empty ServerDirectory from DataDirectory
// (its parent folder), makes the working folders when asked, and is true when
// every location (and working folder) exists as a folder. False on any error:
// an empty InstallDirectory or DataDirectory, a value that is not a string, a
// data folder without a parent, a registry failure. *out holds what was read
// so far either way.
[[nodiscard]] bool readInstallationLocations(InstallationLocations* out, WorkDirectories work);

// The path unchanged when it is empty or ends in a separator, else path + "\".
std::string withTrailingSeparator(std::string_view path);

// The parent folder of a folder text: the final separator dropped, then
// characters dropped until the text ends in a separator. Empty when there is
// no parent ("DATA\").
std::string parentFolder(std::string_view folder);

}  // namespace talvex::common
