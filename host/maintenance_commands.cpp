#include "maintenance_commands.h"

#include <cstdio>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "tabmend_library.h"
#include "token_table.h"

namespace talvex::host {
namespace {

using Export = int32_t(TABMEND_API*)(TabmendCallRecord*);

// The export by its plain name from the library file the host would load.
Export FindExport(const std::string& path, const char* name) {
#ifdef _WIN32
  HMODULE module = GetModuleHandleA(path.c_str());
  if (module == nullptr) module = LoadLibraryA(path.c_str());
  return module ? reinterpret_cast<Export>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  Export fn = reinterpret_cast<Export>(dlsym(handle, name));
  dlclose(handle);  // TabmendLibrary still holds it
  return fn;
#endif
}

}  // namespace

int RunMaintenanceCommand(int argc, const char* const* argv) {
  const std::string command = argc > 0 ? argv[0] : "";
  const std::string sub = argc > 1 ? argv[1] : "";
  const char* name = nullptr;
  if (command == "reindex" && argc == 1) name = "ReindexAllDatabaseFiles";
  if (command == "revcodes" && argc == 2 && sub == "backup") name = "BackupRevenueCodeChargeData";
  if (command == "revcodes" && argc == 2 && sub == "restore") name = "RestoreRevenueCodeChargeData";
  if (name == nullptr) {
    std::fputs("usage: talvexhost reindex | talvexhost revcodes backup|restore\n", stderr);
    return 2;
  }
  TabmendLibrary library;
  if (!library.loaded()) {
    std::fprintf(stderr, "talvexhost: %s\n", library.error().c_str());
    return 1;
  }
  Export fn = FindExport(library.path(), name);
  if (fn == nullptr) {
    std::fprintf(stderr, "talvexhost: %s has no export %s\n", library.path().c_str(), name);
    return 1;
  }
  TokenTable tokens;
  tokens.add("%PRODUCT%", "Talvex Nova32");
  tokens.add("%OPERATOR%", "front desk");
  const int32_t result = fn(tokens.record(nullptr));
  std::fprintf(stdout, "result: %d\n", result);
  for (const auto& [key, value] : tokens.entries()) std::fprintf(stdout, "%s=%s\n", key.c_str(), value.c_str());
  return result == 0 ? 0 : 1;
}

}  // namespace talvex::host
