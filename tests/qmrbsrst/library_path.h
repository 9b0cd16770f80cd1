// Where the built roster library is: the build's library folder, named to
// tests by TALVEX_LIB_DIR.
#pragma once

#include <cstdlib>
#include <string>

namespace talvex::qmrbsrst::testing {

inline std::string RosterLibraryPath() {
  const char* dir = std::getenv("TALVEX_LIB_DIR");
  std::string folder = dir != nullptr ? std::string(dir) + "/" : std::string();
#if defined(_WIN32)
  return folder + "qmrbsrst.dll";
#else
  return folder + "libqmrbsrst.so";
#endif
}

}  // namespace talvex::qmrbsrst::testing
