// Starting the test worker (qmrbsrst_generation_worker, built beside the
// test program) as a separate process, and waiting for its exit code.
#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <process.h>
#include <windows.h>
#else
#include <spawn.h>
#include <sys/wait.h>
extern char** environ;
#endif

namespace talvex::qmrbsrst::testing {

// The worker is built beside the test program.
inline std::string ProgramFolder() {
  const char* dir = std::getenv("TALVEX_BIN_DIR");
  if (dir != nullptr) return std::string(dir) + "/";
#if defined(_WIN32)
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string self(path, n);
#else
  std::error_code ignored;
  std::string self = std::filesystem::read_symlink("/proc/self/exe", ignored).string();
#endif
  return std::filesystem::path(self).parent_path().string() + "/";
}

inline std::string WorkerPath() {
  const std::string folder = ProgramFolder();
#if defined(_WIN32)
  return folder + "qmrbsrst_generation_worker.exe";
#else
  return folder + "qmrbsrst_generation_worker";
#endif
}

#if defined(_WIN32)
// _spawnv joins the arguments into one command line that the child splits
// again: backslashes before a quote must be doubled, or a folder ending in a
// separator swallows its closing quote and the arguments after it.
inline std::string QuoteArgument(const std::string& a) {
  std::string out = "\"";
  size_t slashes = 0;
  for (char c : a) {
    if (c == '\\') {
      ++slashes;
      continue;
    }
    out.append(c == '"' ? slashes * 2 + 1 : slashes, '\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, '\\');
  return out + "\"";
}

using Worker = intptr_t;
inline Worker StartWorker(std::vector<std::string> args) {
  const std::string w = WorkerPath();
  std::vector<std::string> quoted;
  for (const std::string& a : args) quoted.push_back(QuoteArgument(a));
  std::vector<const char*> argv{w.c_str()};
  for (const std::string& a : quoted) argv.push_back(a.c_str());
  argv.push_back(nullptr);
  return _spawnv(_P_NOWAIT, w.c_str(), argv.data());
}
inline int Finish(Worker w) {
  int status = -1;
  _cwait(&status, w, 0);
  return status;
}
#else
using Worker = pid_t;
inline Worker StartWorker(std::vector<std::string> args) {
  std::string w = WorkerPath();
  std::vector<char*> argv{w.data()};
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, w.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) {
    ADD_FAILURE() << w << ": " << std::strerror(rc);
    return -1;
  }
  return pid;
}
inline int Finish(Worker w) {
  int status = 0;
  if (waitpid(w, &status, 0) != w || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}
#endif

inline Worker Start(const std::string& dir, int roster, double day) {
  return StartWorker({dir, std::to_string(roster), std::to_string(day)});
}

}  // namespace talvex::qmrbsrst::testing
