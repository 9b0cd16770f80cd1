// Update calls as separate processes: `talvexhost update` children on a
// sample installation, and the means to compare what they leave with what an
// independent reader sees and with the tables' own indexes.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "c4dll.h"
#include "index_check.h"
#include "installation_fixture.h"

namespace talvex::tabmend::testing {

namespace stdfs = std::filesystem;

inline std::string ReadAllOf(FILE* pipe) {
  std::string out;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  return out;
}

class UpdateProcesses : public InstallationTest {
 protected:
  void SetUp() override {
    InstallationTest::SetUp();  // syncs off: a killed process loses no written byte
    pristine = root + ".pristine";
  }
  void TearDown() override {
    std::error_code ec;
    stdfs::remove_all(pristine, ec);
    InstallationTest::TearDown();
  }

  void KeepPristine() { stdfs::copy(root, pristine, stdfs::copy_options::recursive); }
  void BackToPristine() {
    stdfs::remove_all(root);
    stdfs::copy(pristine, root, stdfs::copy_options::recursive);
  }

  // The command line of a talvexhost child (syncs off: a killed process
  // loses no written byte), its output and errors merged.
  std::string HostCommand(const std::string& words, const std::string& inject,
                          const std::string& env = "") {
    const char* bin = std::getenv("TALVEX_BIN_DIR");
    return env + " TALVEX_FAULT_INJECT='nosync" + (inject.empty() ? "" : "," + inject) + "' " +
           std::string(bin != nullptr ? bin : ".") + "/talvexhost " + words + " --registry " +
           root + "/registry.reg 2>&1";
  }

  // A talvexhost child; its exit status.
  int Host(const std::string& words, const std::string& inject, std::string* out = nullptr,
           const std::string& env = "") {
    FILE* pipe = popen(HostCommand(words, inject, env).c_str(), "r");
    if (pipe == nullptr) return -1;
    std::string text = ReadAllOf(pipe);
    const int status = pclose(pipe);
    if (out != nullptr) *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // talvexhost update as a child process; its exit status.
  int HostUpdate(const std::string& inject, std::string* out = nullptr) {
    return Host("update", inject, out);
  }

  std::vector<std::string> TableFiles() {
    std::vector<std::string> files;
    for (const auto& entry : stdfs::recursive_directory_iterator(nativeData)) {
      const std::string path = entry.path().string();
      if (entry.path().extension() == ".dbf" && InUpdateLocation(nativeData, path)) {
        files.push_back(path);
      }
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  // Every record of every table where the updater works, as the XBase reader
  // sees it, by path below the data folder.
  std::string IndependentDump() {
    const char* src = std::getenv("TALVEX_SOURCE_DIR");
    std::string command = "perl " + std::string(src != nullptr ? src : ".") +
                          "/tests/tabmend/dump_tables.pl";
    for (const std::string& file : TableFiles()) command += " '" + file + "'";
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return "";
    std::string text = ReadAllOf(pipe);
    pclose(pipe);
    for (size_t at; (at = text.find(nativeData + "/")) != std::string::npos;) {
      text.erase(at, nativeData.size() + 1);
    }
    return text;
  }

  // Where a dump first differs from the expected one, for a failure's text:
  // the table and the line of each.
  static std::string FirstDifference(const std::string& expected, const std::string& got) {
    size_t at = 0;
    while (at < expected.size() && at < got.size() && expected[at] == got[at]) ++at;
    auto lineAt = [](const std::string& text, size_t pos) {
      const size_t begin = pos == 0 ? std::string::npos : text.rfind('\n', pos - 1);
      const size_t from = begin == std::string::npos ? 0 : begin + 1;
      return text.substr(from, text.find('\n', from) - from);
    };
    const size_t table = expected.rfind("== ", at);
    return "first difference in " + (table == std::string::npos ? "the dump" : lineAt(expected, table)) +
           "\n expected: " + lineAt(expected, at) + "\n got:      " + lineAt(got, at);
  }

  // What `talvexhost check` says of each table: "" when every index agrees.
  std::string IndexProblems() {
    std::string problems;
    C4Context c = code4initP();
    code4autoOpen(c, 0);
    for (const std::string& file : TableFiles()) {
      const stdfs::path path(file);
      if (indexless.count(path.filename().string())) continue;
      std::string error;
      FILE* sink = std::fopen("/dev/null", "w");
      if (!host::CheckTableIndex(c, path.parent_path().string() + "/", path.stem().string(), sink,
                                 &error)) {
        problems += file + ": " + error + "\n";
      }
      std::fclose(sink);
    }
    code4initUndo(c);
    return problems;
  }

  // A table of the installation with its data file or index missing: the
  // state a kill inside a swap leaves.
  bool SomeTableTorn() {
    for (const std::string& file : installed) {
      stdfs::path mdx = file;
      mdx.replace_extension(".mdx");
      if (!stdfs::exists(file)) return true;
      if (!indexless.count(stdfs::path(file).filename()) && !stdfs::exists(mdx)) return true;
    }
    return false;
  }

  void NoteIndexless() {
    for (const std::string& file : TableFiles()) {
      stdfs::path mdx = file;
      if (!stdfs::exists(mdx.replace_extension(".mdx"))) indexless.insert(stdfs::path(file).filename());
    }
  }

  std::string pristine;
  std::set<std::string> indexless;  // tables the installation keeps without an index
  std::vector<std::string> installed;  // data files of the installation
};

}  // namespace talvex::tabmend::testing
