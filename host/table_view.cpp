#include "table_view.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/ascii_text.h"
#include "releases/layouts.h"
#include "catalogue/catalogue.h"

namespace talvex::host {
namespace {

constexpr size_t kColumnMax = 28;

using talvex::ascii::upper;

std::string Lower(std::string text) {
  for (char& ch : text) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return text;
}

std::string Trimmed(const char* text, size_t max) {
  std::string s = text != nullptr ? text : "";
  while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.pop_back();
  size_t start = s.find_first_not_of(' ');
  s = start == std::string::npos ? std::string() : s.substr(start);
  for (char& ch : s) {
    if (static_cast<unsigned char>(ch) < 32) ch = ' ';
  }
  if (s.size() > max) s = s.substr(0, max - 3) + "...";
  return s;
}

// Every tag name the table has had in some release layout.
std::vector<std::string> KnownTagNames(const std::string& base) {
  std::set<std::string> seen;
  std::vector<std::string> names;
  auto add = [&](const std::optional<releases::TableLayout>& layout) {
    if (!layout) return;
    for (const auto& tag : layout->tags) {
      if (seen.insert(tag.name).second) names.push_back(tag.name);
    }
  };
  add(releases::OldestLayout(base));
  for (const auto& row : tabmend::Catalogue()) add(releases::LayoutAfter(base, row.number));
  return names;
}

class OpenedTable {
 public:
  OpenedTable(C4Context c, const std::string& path) : c_(c) {
    table_ = d4open(c, (path + ".dbf").c_str());
    if (table_ != 0) index_ = i4open(table_, (path + ".mdx").c_str());
    code4errorCode(c, 0);
  }
  ~OpenedTable() {
    if (index_ != 0) i4close(index_);
    if (table_ != 0) d4close(table_);
    code4errorCode(c_, 0);
  }
  C4Table table() const { return table_; }
  C4Index index() const { return index_; }

 private:
  C4Context c_;
  C4Table table_ = 0;
  C4Index index_ = 0;
};

}  // namespace

bool ShowTable(C4Context c, const std::string& folder, const std::string& table,
               const ShowOptions& options, std::FILE* out, std::string* error) {
  const std::string base = Lower(table);
  OpenedTable t(c, folder + base);
  if (t.table() == 0) {
    *error = "cannot open " + folder + base + ".dbf";
    return false;
  }
  if (!options.tag.empty()) {
    C4Tag tag = t.index() != 0 ? i4tag(t.index(), ascii::upper(options.tag).c_str()) : 0;
    if (tag == 0 || d4tagSelectP(t.table(), tag) != 0) {
      *error = "no tag " + ascii::upper(options.tag) + " in " + folder + base + ".mdx";
      return false;
    }
  }
  std::vector<C4Field> fields;
  std::vector<std::string> names;
  if (options.fields.empty()) {
    for (int j = 1; j <= d4numFields(t.table()); ++j) {
      fields.push_back(d4fieldJ(t.table(), j));
      names.push_back(f4name(fields.back()));
    }
  } else {
    for (const std::string& name : options.fields) {
      C4Field f = d4field(t.table(), ascii::upper(name).c_str());
      if (f == 0) {
        *error = "no field " + ascii::upper(name) + " in " + base;
        return false;
      }
      fields.push_back(f);
      names.push_back(ascii::upper(name));
    }
  }

  std::vector<std::vector<std::string>> rows;
  int shown = 0;
  for (int rc = d4top(t.table()); rc == 0; rc = d4skip(t.table(), 1)) {
    if (options.limit > 0 && shown == options.limit) break;
    std::vector<std::string> row;
    row.push_back(std::to_string(d4recNoLow(t.table())));
    row.push_back(d4deleted(t.table()) ? "*" : "");
    for (C4Field f : fields) {
      row.push_back(f4type(f) == 'M' ? Trimmed(f4memoStr(f), kColumnMax)
                                     : Trimmed(f4str(f), kColumnMax));
    }
    rows.push_back(std::move(row));
    ++shown;
  }
  code4errorCode(c, 0);

  std::vector<std::string> header = {"rec", "del"};
  header.insert(header.end(), names.begin(), names.end());
  std::vector<size_t> width(header.size());
  for (size_t i = 0; i < header.size(); ++i) width[i] = header[i].size();
  for (const auto& row : rows) {
    for (size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
  }
  auto print = [&](const std::vector<std::string>& row) {
    std::string line;
    for (size_t i = 0; i < row.size(); ++i) {
      std::string cell = row[i];
      cell.resize(width[i], ' ');
      line += cell;
      if (i + 1 < row.size()) line += "  ";
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::fprintf(out, "%s\n", line.c_str());
  };
  print(header);
  std::vector<std::string> rule;
  for (size_t w : width) rule.push_back(std::string(w, '-'));
  print(rule);
  for (const auto& row : rows) print(row);
  const int32_t total = d4recCount(t.table());
  std::fprintf(out, "(%d of %d records%s%s)\n", shown, total,
               options.tag.empty() ? ", physical order" : ", by tag ",
               options.tag.empty() ? "" : ascii::upper(options.tag).c_str());
  return true;
}

bool ShowLayout(C4Context c, const std::string& folder, const std::string& table, std::FILE* out,
                std::string* error) {
  const std::string base = Lower(table);
  OpenedTable t(c, folder + base);
  if (t.table() == 0) {
    *error = "cannot open " + folder + base + ".dbf";
    return false;
  }
  std::fprintf(out, "%s: %d fields, %d records\n", base.c_str(), d4numFields(t.table()),
               d4recCount(t.table()));
  std::fprintf(out, "  %-10s  %-4s  %5s  %3s\n", "field", "type", "width", "dec");
  for (int j = 1; j <= d4numFields(t.table()); ++j) {
    C4Field f = d4fieldJ(t.table(), j);
    std::fprintf(out, "  %-10s  %-4c  %5d  %3d\n", f4name(f), static_cast<char>(f4type(f)),
                 f4len(f), f4decimals(f));
  }
  if (t.index() == 0) {
    std::fprintf(out, "  (no production index)\n");
    return true;
  }
  std::fprintf(out, "  %-10s  %s\n", "tag", "key expression");
  for (const std::string& name : KnownTagNames(base)) {
    C4Tag tag = i4tag(t.index(), name.c_str());
    if (tag == 0) {
      code4errorCode(c, 0);
      continue;
    }
    const char* filter = t4filter(tag);
    std::fprintf(out, "  %-10s  %s%s%s\n", name.c_str(), t4expr(tag),
                 filter != nullptr && *filter ? (std::string("  FOR ") + filter).c_str() : "",
                 "");
  }
  return true;
}

std::vector<std::string> FieldSignatures(C4Context c, const std::string& path) {
  std::vector<std::string> out;
  C4Table t = d4open(c, (path + ".dbf").c_str());
  if (t == 0) {
    code4errorCode(c, 0);
    return out;
  }
  for (int j = 1; j <= d4numFields(t); ++j) {
    C4Field f = d4fieldJ(t, j);
    out.push_back(std::string(f4name(f)) + " " + static_cast<char>(f4type(f)) + " " +
                  std::to_string(f4len(f)) + "." + std::to_string(f4decimals(f)));
  }
  d4close(t);
  code4errorCode(c, 0);
  return out;
}

}  // namespace talvex::host
