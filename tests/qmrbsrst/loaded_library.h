// The built roster library, loaded as the host loads it (from the build's
// library folder named by TALVEX_LIB_DIR), for tests that call its exports.
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "host/roster/roster_library.h"
#include "library_path.h"

namespace talvex::qmrbsrst::testing {

// One load for the whole test program, as the host keeps it loaded.
inline talvex::host::RosterLibrary& RosterLibraryForTests() {
  static talvex::host::RosterLibrary library(RosterLibraryPath());
  return library;
}

template <typename Fn>
Fn RosterExport(const char* name) {
  talvex::host::RosterLibrary& library = RosterLibraryForTests();
  EXPECT_TRUE(library.loaded()) << library.error();
  void* address = library.symbol(name);
  EXPECT_NE(address, nullptr) << name;
  return reinterpret_cast<Fn>(address);
}

}  // namespace talvex::qmrbsrst::testing
