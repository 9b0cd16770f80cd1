// Helpers shared by the .mdx tests: scratch folders, fixture paths and the
// independent reader (perl XBase::Index) run on a file.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace mdxtest {

inline std::string sourceDir() {
  const char* s = std::getenv("TALVEX_SOURCE_DIR");
  return s ? s : TALVEX_SOURCE_DIR_DEFAULT;
}

inline std::string fixtureDir() {
  if (const char* f = std::getenv("TALVEX_FIXTURES")) return f;
  return sourceDir() + "/tests/fixtures/external";
}

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    for (;;) {
      auto p = std::filesystem::temp_directory_path() / ("mdxtest-" + std::to_string(rd()));
      if (std::filesystem::create_directory(p)) {
        path_ = p.string();
        return;
      }
    }
  }
  ~TempDir() { std::filesystem::remove_all(path_); }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string hex(std::string_view bytes) {
  static const char* d = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out.push_back(d[c >> 4]);
    out.push_back(d[c & 15]);
  }
  return out;
}

// tag name -> entries (hex key, record number) in the order the reader walks.
using Walks = std::map<std::string, std::vector<std::pair<std::string, uint32_t>>>;

inline bool perlWalk(const std::string& mdx, Walks* out, std::string* error) {
  std::string cmd = "perl '" + sourceDir() + "/tests/engine/mdx/xbase_walk.pl' '" + mdx + "' 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) {
    *error = "cannot run perl";
    return false;
  }
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  int rc = pclose(p);
  if (rc != 0) {
    *error = "perl failed: " + text.substr(0, 400);
    return false;
  }
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    size_t t1 = line.find('\t');
    if (t1 == std::string::npos) {
      (*out)[line];
      continue;
    }
    size_t t2 = line.find('\t', t1 + 1);
    (*out)[line.substr(0, t1)].emplace_back(line.substr(t1 + 1, t2 - t1 - 1),
                                           uint32_t(std::stoul(line.substr(t2 + 1))));
  }
  return true;
}

}  // namespace mdxtest
