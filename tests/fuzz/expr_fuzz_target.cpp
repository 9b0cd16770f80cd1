// libFuzzer entry for the expression compiler alone (layout and checks in
// expr_fuzz_layout.h).
#include <cstdio>
#include <cstdlib>

#include "expr_fuzz_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string problem =
      talvex::fuzz::CheckExpressionInput(std::string_view(reinterpret_cast<const char *>(data), size));
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
