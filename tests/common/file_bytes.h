// A whole file read into or written from a string, for tests that compare or
// damage stored bytes.
#pragma once

#include <fstream>
#include <iterator>
#include <string>

namespace talvex::testing {

// "" when the file cannot be read.
inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// True when the file was created or emptied and every byte written.
inline bool WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return !out.fail();
}

}  // namespace talvex::testing
