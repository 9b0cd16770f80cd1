#include "releases/table_layout.h"

#include <algorithm>
#include <cctype>

namespace talvex::releases {
namespace {

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

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
    if (SameName(f.name, name)) return &f;
  return nullptr;
}

const TagLayout* TableLayout::tag(std::string_view name) const {
  for (const TagLayout& t : tags)
    if (SameName(t.name, name)) return &t;
  return nullptr;
}

}  // namespace talvex::releases
