#include "tabmend_library.h"

#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>
#endif

namespace talvex::host {

std::string ProgramFolder() {
#ifdef _WIN32
  char buffer[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  std::string path(buffer, n);
#else
  char buffer[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  std::string path(buffer, n > 0 ? static_cast<size_t>(n) : 0);
#endif
  size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

TabmendLibrary::TabmendLibrary() {
  const char* chosen = std::getenv("TALVEX_TABMEND");
#ifdef _WIN32
  path_ = chosen != nullptr && *chosen ? chosen : ProgramFolder() + "tabmend.dll";
  HMODULE module = LoadLibraryA(path_.c_str());
  if (module == nullptr) {
    error_ = "cannot load " + path_;
    return;
  }
  handle_ = module;
  update_ = reinterpret_cast<decltype(update_)>(
      reinterpret_cast<void*>(GetProcAddress(module, "UpdateDatabaseStructures")));
  observe_ = reinterpret_cast<decltype(observe_)>(
      reinterpret_cast<void*>(GetProcAddress(module, "TabmendSetProgressObserver")));
  plan_ = reinterpret_cast<decltype(plan_)>(
      reinterpret_cast<void*>(GetProcAddress(module, "TabmendPlanUpdate")));
#else
  path_ = chosen != nullptr && *chosen ? chosen : ProgramFolder() + "../lib/libtabmend.so";
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error_ = why != nullptr ? why : "cannot load " + path_;
    return;
  }
  update_ = reinterpret_cast<decltype(update_)>(dlsym(handle_, "UpdateDatabaseStructures"));
  observe_ = reinterpret_cast<decltype(observe_)>(dlsym(handle_, "TabmendSetProgressObserver"));
  plan_ = reinterpret_cast<decltype(plan_)>(dlsym(handle_, "TabmendPlanUpdate"));
#endif
  if (update_ == nullptr) error_ = path_ + " has no export UpdateDatabaseStructures";
}

TabmendLibrary::~TabmendLibrary() {
  if (handle_ == nullptr) return;
#ifdef _WIN32
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

bool TabmendLibrary::SetProgressObserver(TabmendProgressObserver observer, void* context) const {
  if (observe_ == nullptr) return false;
  observe_(observer, context);
  return true;
}

}  // namespace talvex::host
