// "talvexhost install": a complete host installation below one folder, as a
// release of the host would have left it.
//
//   DIR\server\   TALVEX32.EXE (version resource = the release) and the clone
//                 folders update\clone\updtNNNN of every release step
//   DIR\install\  TALVEX32.INI with its "Database Tables" section
//   DIR\data\     the tables in the layout of the release, with sample data,
//                 BSRSTER.CTL, and claim archive folders
//   registry      ServerDirectory, InstallDirectory, DataDirectory under the
//                 current user's key (on POSIX in the registry file)
//
// Deterministic for a seed. Prints what it made to `out`. One thread.
#pragma once

#include <cstdio>
#include <string>

#include "pe_image.h"
#include "sample_data.h"

namespace talvex::host {

struct InstallOptions {
  std::string dir;  // native path
  ReleaseNumber release{1, 65, 0, 100};
  SampleOptions sample;
  bool quiet = false;
};

// Folder texts of an installation below dir, in the host's form ("\" and a
// trailing "\").
struct InstallFolders {
  std::string server, install, data;
};
InstallFolders FoldersOf(const std::string& dir);

// The host text of a native folder: "\" separators, ending in "\".
std::string HostFolderText(const std::string& nativeFolder);

// The first update the updater would run for the release: 0 when nothing
// needs to run, -1 when the updater does not accept the release.
[[nodiscard]] int FirstUpdateOf(const ReleaseNumber& release);

[[nodiscard]] bool Install(const InstallOptions& options, std::FILE* out, std::string* error);

}  // namespace talvex::host
