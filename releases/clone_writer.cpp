// Empty tables from layouts, through the engine's d4create.
#include "releases/clone_writer.h"

#include <cstring>
#include <map>
#include <set>
#include <vector>

#include "platform/file_system.h"
#include "releases/layouts.h"
#include "catalogue/catalogue.h"

namespace talvex::releases {
namespace {

std::string WithSeparator(std::string_view folder) {
  std::string out(folder);
  if (!out.empty() && out.back() != '\\' && out.back() != '/') out += '\\';
  return out;
}

void SetError(std::string* error, std::string text) {
  if (error) *error = std::move(text);
}

std::string EngineText(C4Context context) {
  int code = code4errorCode(context, 0);
  const char* text = error4text(context, code);
  return (text != nullptr && *text != '\0') ? text : "engine error " + std::to_string(code);
}

}  // namespace

bool CreateTable(C4Context context, std::string_view folder, const TableLayout& layout,
                 std::string* error) {
  const std::string dir = WithSeparator(folder);
  if (!dir.empty() && !platform::createDirectoryPath(dir)) {
    SetError(error, "cannot create folder " + dir);
    return false;
  }
  // The engine reads the name pointers while it creates; the layout outlives the call.
  std::vector<C4FieldInfo> fields;
  fields.reserve(layout.fields.size() + 1);
  for (const FieldLayout& f : layout.fields)
    fields.push_back({f.name.c_str(), f.type, f.len, f.dec});
  fields.push_back({nullptr, 0, 0, 0});
  std::vector<C4TagInfo> tags;
  tags.reserve(layout.tags.size() + 1);
  for (const TagLayout& t : layout.tags)
    tags.push_back({t.name.c_str(), t.expression.c_str(), t.filter.empty() ? nullptr : t.filter.c_str(),
                    t.unique ? 1 : 0, t.descending ? 1 : 0});
  tags.push_back({nullptr, nullptr, nullptr, 0, 0});

  const std::string path = dir + layout.base + ".dbf";
  C4Table table = d4create(context, path.c_str(), fields.data(), tags.data());
  if (table == 0) {
    SetError(error, "cannot create " + path + ": " + EngineText(context));
    return false;
  }
  int closed = d4close(table);
  if (closed != 0) {
    SetError(error, "cannot close " + path + ": " + EngineText(context));
    return false;
  }
  code4errorCode(context, 0);
  return true;
}

bool CreateTableSet(C4Context context, std::string_view folder,
                    std::span<const TableLayout> tables, std::string* error) {
  for (const TableLayout& layout : tables)
    if (!CreateTable(context, folder, layout, error)) return false;
  return true;
}

bool WriteCloneFolders(C4Context context, std::string_view serverDirectory, std::string* error) {
  // One copy of each table per folder, however many updates of the folder list it.
  std::map<std::string, std::set<std::string>> written;
  for (const tabmend::RestructureSpec& row : tabmend::Catalogue()) {
    const std::string folder = tabmend::CloneDirectory(serverDirectory, row) + "\\";
    for (const tabmend::UpdatedTable& t : row.tables()) {
      if (!written[folder].insert(t.base).second) continue;
      std::optional<TableLayout> layout = CloneLayout(row, t.base);
      if (!layout) {
        SetError(error, std::string("no layout for table ") + t.base);
        return false;
      }
      if (!CreateTable(context, folder, *layout, error)) return false;
    }
  }
  return true;
}

}  // namespace talvex::releases
