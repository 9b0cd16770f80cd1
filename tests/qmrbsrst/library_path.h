// Where the built roster library and the test programs are: the folders
// named to tests by TALVEX_LIB_DIR and TALVEX_BIN_DIR, else where the build
// puts them relative to the running program.
#pragma once

#include <cstdlib>
#include <string>

#include "host/roster/roster_library.h"

namespace talvex::qmrbsrst::testing {

inline std::string RosterLibraryPath() {
  const char* dir = std::getenv("TALVEX_LIB_DIR");
  if (dir == nullptr) return talvex::host::RosterLibrary::defaultPath();
#if defined(_WIN32)
  return std::string(dir) + "/qmrbsrst.dll";
#else
  return std::string(dir) + "/libqmrbsrst.so";
#endif
}

inline std::string TestProgramFolder() {
  const char* dir = std::getenv("TALVEX_BIN_DIR");
  return dir != nullptr ? std::string(dir) + "/" : talvex::host::RosterLibrary::programFolder();
}

}  // namespace talvex::qmrbsrst::testing
