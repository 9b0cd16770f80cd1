#include "releases/table_layout.h"
#include "platform/ascii_text.h"

#include <algorithm>

namespace talvex::releases {
namespace {

using talvex::ascii::sameNoCase;

}  // namespace

bool TableLayout::hasMemo() const {
  return std::any_of(fields.begin(), fields.end(), [](const FieldLayout& f) { return f.type == 'M'; });
}

int TableLayout::recordLength() const {
  int len = 1;
  for (const FieldLayout& f : fields) len += f.len;
  return len;
}

const FieldLayout* TableLayout::field(std::string_view name) const {
  for (const FieldLayout& f : fields)
    if (ascii::sameNoCase(f.name, name)) return &f;
  return nullptr;
}

const TagLayout* TableLayout::tag(std::string_view name) const {
  for (const TagLayout& t : tags)
    if (ascii::sameNoCase(t.name, name)) return &t;
  return nullptr;
}

}  // namespace talvex::releases
