// A fresh folder per test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace talvex::testing {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("talvex-test-" + std::to_string(rd()));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // Native path of a name inside the folder.
  std::string native(const std::string& name = "") const {
    return name.empty() ? path_.string() : (path_ / name).string();
  }
  // The same as a host text: "\" separators throughout.
  std::string host(const std::string& name = "") const {
    std::string s = native(name);
    for (char& c : s)
      if (c == '/') c = '\\';
    return s;
  }
  void write(const std::string& name, const std::string& content) const {
    std::filesystem::create_directories(std::filesystem::path(native(name)).parent_path());
    std::ofstream(native(name), std::ios::binary) << content;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(native(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool exists(const std::string& name) const {
    return std::filesystem::exists(native(name));
  }

 private:
  std::filesystem::path path_;
};

}  // namespace talvex::testing
