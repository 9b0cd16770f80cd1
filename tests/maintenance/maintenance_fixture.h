// An installed host (tests/tabmend's InstallationTest) plus the means to call
// the maintenance exports as the host does and to look at tables and indexes.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "c4dll.h"
#include "installation_fixture.h"
#include "tabmend/maintenance/maintenance_api.h"

namespace talvex::tabmend::testing {

inline std::string ReadBytes(const std::string& nativePath) {
  std::ifstream in(nativePath, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteBytes(const std::string& nativePath, const std::string& bytes) {
  std::ofstream out(nativePath, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Output and exit status of a shell command.
inline std::string RunCommand(const std::string& command, int* status) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (p == nullptr) {
    *status = -1;
    return out;
  }
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
  *status = pclose(p);
  return out;
}

// Where the programs are: TALVEX_BIN_DIR, else the test program's own folder
// (CTest may hand over only the first variable of the environment list).
inline std::string ProgramDir() {
  if (const char* bin = std::getenv("TALVEX_BIN_DIR")) return bin;
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  return std::filesystem::path(std::string(buffer, static_cast<size_t>(n))).parent_path().string();
}

inline std::string SourceDir() {
  if (const char* src = std::getenv("TALVEX_SOURCE_DIR")) return src;
  return TALVEX_TEST_SOURCE_DIR;
}

class MaintenanceTest : public InstallationTest {
 protected:
  using Export = int32_t (*)(TabmendCallRecord*);

  // One host call with a token table holding one entry of the host's own.
  CallResult Call(Export fn) {
    constexpr int kKey = 48, kValue = 1024, kRoom = 8;
    std::vector<char> keys(kKey * kRoom, '\0'), values(kValue * kRoom, '\0');
    std::strcpy(keys.data(), "%USER%");
    std::strcpy(values.data(), "front desk");
    TabmendCallRecord record{};
    record.KeyStride = kKey;
    record.ValueStride = kValue;
    record.EntryCount = 1;
    record.KeySlots = keys.data();
    record.ValueSlots = values.data();
    CallResult out;
    out.result = fn(&record);
    out.entryCount = record.EntryCount;
    for (int i = 0; i < std::min(record.EntryCount, kRoom); ++i) {
      out.tokens[keys.data() + i * kKey] = values.data() + i * kValue;
    }
    return out;
  }

  std::string Data(const std::string& file) const { return nativeData + "/" + file; }

  // d4check of the table with its production index, 0 when sound.
  int CheckIndex(const std::string& nativeDbf, std::string* text = nullptr) {
    C4Context c = code4initP();
    code4autoOpen(c, 1);
    int rc = -1;
    C4Table t = d4open(c, nativeDbf.c_str());
    if (t != 0) {
      rc = d4check(t);
      if (text) *text = error4text(c, rc);
      d4close(t);
    }
    code4initUndo(c);
    return rc;
  }

  // XBase::Index walks every tag; the number of keys per tag ("" on failure).
  std::string PerlTagCounts(const std::string& nativeMdx) {
    const std::string script = SourceDir() + "/tests/engine/oracle/mdx_walk.pl";
    int status = 0;
    std::string out = RunCommand("perl " + script + " " + nativeMdx + " 2>&1", &status);
    if (status != 0) return "";
    std::string counts;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      const size_t tab = line.find('\t');
      if (tab == std::string::npos) return "";
      std::istringstream recs(line.substr(tab + 1));
      int n = 0;
      for (std::string r; recs >> r;) ++n;
      counts += line.substr(0, tab) + "=" + std::to_string(n) + " ";
    }
    return counts;
  }

  // Live records of a table.
  int LiveRecords(const std::string& nativeDbf) {
    C4Context c = code4initP();
    code4autoOpen(c, 0);
    int live = -1;
    C4Table t = d4open(c, nativeDbf.c_str());
    if (t != 0) {
      live = 0;
      for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) live += d4deleted(t) ? 0 : 1;
      d4close(t);
    }
    code4initUndo(c);
    return live;
  }
};

}  // namespace talvex::tabmend::testing
