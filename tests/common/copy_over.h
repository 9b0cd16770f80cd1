// Copying a file over another in a test, the same on Linux and under Windows.
#pragma once

#include <filesystem>

namespace talvex::testing {

// std::filesystem::copy_file with overwrite_existing refuses ("File exists")
// under mingw's standard library whenever the target is there: it takes two
// files of one drive for the same file. So the target goes first.
inline void CopyFileOver(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::remove(to);
  std::filesystem::copy_file(from, to);
}

}  // namespace talvex::testing
