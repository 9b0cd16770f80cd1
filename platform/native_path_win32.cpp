#include "platform/native_path.h"

namespace talvex::platform {

// Windows matches names without regard to case itself; only the separator
// needs to be the native one.
std::string nativePath(std::string_view hostPath) {
  std::string out(hostPath);
  for (char& c : out)
    if (c == '/') c = '\\';
  return out;
}

}  // namespace talvex::platform
