// The roster library loaded the way the host loads it: the shared library by
// file name, then each export looked up by its plain name.
//
// The library stays loaded for the life of the RosterLibrary object; function
// pointers from it are valid only that long. Not copyable; one thread.
#pragma once

#include <cstdint>
#include <string>

#include "qmrbsrst/exports/qmrbsrst_api.h"

namespace talvex::host {

using RosterRecordExport = int32_t(QMR_API*)(void*);
using RosterStatusExport = const char*(QMR_API*)(uint32_t);

class RosterLibrary {
 public:
  // Loads the file; on failure loaded() is false and error() says why.
  explicit RosterLibrary(const std::string& path);
  ~RosterLibrary();
  RosterLibrary(const RosterLibrary&) = delete;
  RosterLibrary& operator=(const RosterLibrary&) = delete;

  [[nodiscard]] bool loaded() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }

  // The export's address, nullptr when the library lacks it.
  void* symbol(const char* name);

  // Where the library is expected: beside the program on Windows, in the
  // build's lib folder (../lib from the program) elsewhere.
  static std::string defaultPath();
  // The folder of the running program, ending in a separator ("" if unknown).
  static std::string programFolder();

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace talvex::host
