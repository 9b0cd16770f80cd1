// Helpers of the engine tests: a scratch folder per test, a context that is
// released on every path, reading a file's bytes, and running a program to
// capture what it prints (the independent xBase readers).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "c4dll.h"

namespace enginetest {

class ScratchDir {
 public:
  ScratchDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      std::filesystem::path p = std::filesystem::temp_directory_path() /
                                ("c4test-" + std::to_string(rd()) + std::to_string(attempt));
      std::error_code ec;
      if (std::filesystem::create_directory(p, ec)) path_ = p.generic_string();
    }
  }
  ~ScratchDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class Ctx {
 public:
  Ctx() : c_(code4initP()) {}
  ~Ctx() {
    if (c_) code4initUndo(c_);
  }
  operator C4Context() const { return c_; }

 private:
  C4Context c_;
};

inline std::vector<unsigned char> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

inline void writeBytes(const std::string& path, const std::vector<unsigned char>& b) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

#ifndef _WIN32
// Runs a shell command and returns its standard output.
inline std::string run(const std::string& cmd, int* status = nullptr) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  int rc = pclose(p);
  if (status) *status = rc;
  return out;
}
#endif

inline std::string sourceDir() {
  const char* s = std::getenv("TALVEX_SOURCE_DIR");
  return s ? s : TALVEX_SOURCE_DIR_DEFAULT;
}

// f4str without the trailing blanks.
inline std::string str(C4Field f) {
  std::string s = f4str(f);
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

}  // namespace enginetest
