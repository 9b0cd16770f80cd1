// Linked into every test program: gives the tests where the build put its
// programs and libraries, unless the environment already says. (A CTest
// ENVIRONMENT list does not survive test discovery intact, so the defaults
// are compiled in.)
#include <cstdlib>

namespace {

void setDefault(const char* name, const char* value) {
  if (std::getenv(name) != nullptr) return;
#ifdef _WIN32
  _putenv_s(name, value);
#else
  setenv(name, value, 0);
#endif
}

const bool applied = [] {
  setDefault("TALVEX_SOURCE_DIR", TALVEX_TEST_SOURCE_DIR);
  setDefault("TALVEX_BIN_DIR", TALVEX_TEST_BIN_DIR);
  setDefault("TALVEX_LIB_DIR", TALVEX_TEST_LIB_DIR);
  return true;
}();

}  // namespace
