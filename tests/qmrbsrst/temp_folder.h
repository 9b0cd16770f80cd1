// A fresh folder per test, removed with everything in it afterwards. path()
// ends in a separator, as the host's folder texts do.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <process.h>
inline int getpid_portable() { return _getpid(); }
#else
#include <unistd.h>
inline int getpid_portable() { return static_cast<int>(getpid()); }
#endif

namespace talvex::qmrbsrst::testing {

class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("qmrbsrst_") + (info ? info->name() : "test") + "_" +
                       std::to_string(static_cast<long long>(getpid_portable())) + "_" +
                       std::to_string(counter++);
    for (char& c : name) {
      if (c == '/' || c == '\\') c = '_';
    }
    dir_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  std::string path() const { return (dir_ / "").string(); }
  std::filesystem::path file(const std::string& name) const { return dir_ / name; }

  void write(const std::string& name, const std::string& content) const {
    std::ofstream out(dir_ / name, std::ios::binary);
    out << content;
  }

 private:
  std::filesystem::path dir_;
};

}  // namespace talvex::qmrbsrst::testing
