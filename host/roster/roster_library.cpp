#include "host/roster/roster_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include <vector>

namespace talvex::host {

std::string RosterLibrary::programFolder() {
#if defined(_WIN32)
  std::vector<char> buffer(32768);
  DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  std::string path(buffer.data(), n);
  size_t slash = path.find_last_of("\\/");
#else
  std::vector<char> buffer(4096);
  ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  std::string path = n > 0 ? std::string(buffer.data(), static_cast<size_t>(n)) : "";
  size_t slash = path.find_last_of('/');
#endif
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

RosterLibrary::RosterLibrary(const std::string& path) {
#if defined(_WIN32)
  handle_ = reinterpret_cast<void*>(LoadLibraryA(path.c_str()));
  if (handle_ == nullptr) error_ = "cannot load " + path;
#else
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error_ = why != nullptr ? why : ("cannot load " + path);
  }
#endif
}

RosterLibrary::~RosterLibrary() {
  if (handle_ == nullptr) return;
#if defined(_WIN32)
  FreeLibrary(reinterpret_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

void* RosterLibrary::symbol(const char* name) {
  if (handle_ == nullptr) return nullptr;
#if defined(_WIN32)
  return reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(handle_), name));
#else
  return dlsym(handle_, name);
#endif
}

std::string RosterLibrary::defaultPath() {
#if defined(_WIN32)
  return programFolder() + "qmrbsrst.dll";
#else
  return programFolder() + "../lib/libqmrbsrst.so";
#endif
}

}  // namespace talvex::host
