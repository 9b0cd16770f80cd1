#include "expression.h"

namespace talvex::engine::expr {
namespace {

// dBASE names are at most 10 characters and key texts may carry longer ones
// ("code_client" for CODE_CLIEN), so only the first 10 count.
bool SameName(std::string_view a, std::string_view b, size_t limit) {
  if (a.size() > limit) a = a.substr(0, limit);
  if (b.size() > limit) b = b.substr(0, limit);
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = char(x - 32);
    if (y >= 'a' && y <= 'z') y = char(y - 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace

FieldResolver MakeFieldResolver(std::vector<FieldInfo> fields, std::string table_alias) {
  return [fields = std::move(fields), alias = std::move(table_alias)](
             std::string_view ref_alias, std::string_view name) -> std::optional<FieldInfo> {
    if (!ref_alias.empty() && !alias.empty() && !SameName(ref_alias, alias, std::string_view::npos))
      return std::nullopt;
    for (const auto &f : fields)
      if (SameName(name, f.name, 10)) return f;
    return std::nullopt;
  };
}

}  // namespace talvex::engine::expr
