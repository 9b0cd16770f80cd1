#include "sample_data.h"
#include "sample_conversion_data.h"

#include <cmath>
#include <cstdio>

#include "common/platform/file_system.h"
#include "releases/clone_writer.h"

namespace talvex::host {
namespace {

using releases::ClaimFamily;
using releases::FieldLayout;
using releases::TableLayout;

// splitmix64: small, fast and the same everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<uint64_t>(n)); }

 private:
  uint64_t state_;
};

uint64_t Mix(uint64_t seed, const std::string& text) {
  uint64_t h = seed ^ 0xCBF29CE484222325ull;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001B3ull;
  return h;
}

const char* const kLastNames[] = {"SMITH", "JOHNSON", "WILLIAMS", "BROWN", "JONES", "GARCIA",
                                  "MILLER", "DAVIS", "RODRIGUEZ", "MARTINEZ", "HERNANDEZ",
                                  "LOPEZ", "GONZALEZ", "WILSON", "ANDERSON", "THOMAS"};
const char* const kFirstNames[] = {"MARY", "JAMES", "PATRICIA", "JOHN", "JENNIFER", "ROBERT",
                                   "LINDA", "MICHAEL", "ELIZABETH", "WILLIAM", "SUSAN", "DAVID"};
const char* const kCities[] = {"SPRINGFIELD", "RIVERSIDE", "FAIRVIEW", "MADISON", "GEORGETOWN",
                               "CLINTON", "ARLINGTON", "SALEM"};
const char* const kStates[] = {"OH", "PA", "NY", "TX", "IL", "WI", "IN", "MI"};
const char* const kStreets[] = {"MAIN ST", "OAK AVE", "PINE RD", "MAPLE DR", "CEDAR LN",
                                "ELM ST", "LAKE VIEW BLVD"};

template <size_t N>
const char* Pick(Random& r, const char* const (&list)[N]) {
  return list[r.below(static_cast<int>(N))];
}

bool Contains(const std::string& name, const char* part) {
  return name.find(part) != std::string::npos;
}

std::string Digits(Random& r, int count) {
  std::string out;
  for (int i = 0; i < count; ++i) out += static_cast<char>('0' + r.below(10));
  return out;
}

std::string DateText(Random& r) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d%02d%02d", 2001 + r.below(8), 1 + r.below(12),
                1 + r.below(28));
  return text;
}

std::string CharValue(const FieldLayout& field, Random& r, int record) {
  const std::string& n = field.name;
  const int len = field.len;
  std::string value;
  if (Contains(n, "LNAME") || Contains(n, "L_NAME") || Contains(n, "LASTNAME")) {
    value = Pick(r, kLastNames);
  } else if (Contains(n, "FNAME") || Contains(n, "F_NAME") || Contains(n, "FIRSTNAME")) {
    value = Pick(r, kFirstNames);
  } else if (Contains(n, "NAME") || Contains(n, "DESC")) {
    value = std::string(Pick(r, kLastNames)) + " " + Pick(r, kFirstNames);
  } else if (Contains(n, "CITY")) {
    value = Pick(r, kCities);
  } else if (len == 2 && (Contains(n, "ST") || Contains(n, "STATE"))) {
    value = Pick(r, kStates);
  } else if (Contains(n, "ADDR") || Contains(n, "STREET")) {
    value = std::to_string(100 + r.below(9900)) + " " + Pick(r, kStreets);
  } else if (Contains(n, "ZIP")) {
    value = Digits(r, std::min(len, 9));
  } else if (Contains(n, "NPI")) {
    value = Digits(r, std::min(len, 10));
  } else if (Contains(n, "PHONE") || Contains(n, "FAX")) {
    value = Digits(r, std::min(len, 10));
  } else if (len == 8 && (Contains(n, "DATE") || Contains(n, "DT"))) {
    value = DateText(r);
  } else if (len <= 2) {
    value = std::string(1, static_cast<char>('A' + r.below(6)));
  } else {
    // A readable code: the field's own name part and a number.
    std::string stem = n.substr(n.find('_') == std::string::npos ? 0 : n.find('_') + 1);
    value = stem.substr(0, 4) + std::to_string(record % 1000 + r.below(100));
  }
  if (static_cast<int>(value.size()) > len) value.resize(static_cast<size_t>(len));
  return value;
}

std::string MemoValue(Random& r, int record) {
  if (record % 7 == 3) return "";
  std::string text = "Note " + std::to_string(record) + ": patient seen, claim prepared.";
  if (record % 5 == 0) {
    // Longer than any character field, so a record copy must carry it whole.
    while (text.size() < 600) text += " Follow-up requested by payer " + Digits(r, 5) + ".";
  }
  return text;
}

void AssignNumber(C4Field f, const FieldLayout& field, Random& r) {
  int intDigits = field.len - (field.dec > 0 ? field.dec + 1 : 0);
  if (intDigits < 1) intDigits = 1;
  const int usable = std::min(intDigits - (intDigits > 1 ? 1 : 0), 6);
  const long limit = static_cast<long>(std::pow(10.0, usable));
  const long whole = r.below(static_cast<int>(limit));
  if (field.dec > 0) {
    f4assignDouble(f, static_cast<double>(whole) + r.below(100) / 100.0);
  } else {
    f4assignInt(f, whole);
  }
}

bool IsClaimField(const std::string& n) {
  return n == "CLAIM" || (n.size() > 6 && n.compare(n.size() - 6, 6, "_CLAIM") == 0);
}
bool IsLineField(const std::string& n) {
  return n == "LINE" || (n.size() > 5 && n.compare(n.size() - 5, 5, "_LINE") == 0);
}

void AssignKey(C4Field f, const FieldLayout& field, long value) {
  if (field.type == 'N' || field.type == 'F') {
    f4assignInt(f, value);
  } else {
    char text[32];
    std::snprintf(text, sizeof text, "%*ld", field.len, value);  // right-aligned, as ClaimKey
    f4assign(f, text);
  }
}

enum class TableRole { ClaimHeader, ClaimLines, ClaimPayers, ClaimRows, Standing };

TableRole RoleOf(const TableLayout& layout) {
  if (layout.base == "bcclaim" || layout.base == "bsclaim") return TableRole::ClaimHeader;
  bool claim = false, line = false;
  for (const FieldLayout& f : layout.fields) {
    claim = claim || IsClaimField(f.name);
    line = line || IsLineField(f.name);
  }
  if (!claim) return TableRole::Standing;
  if (line) return TableRole::ClaimLines;
  if (layout.base.find("cpayer") != std::string::npos) return TableRole::ClaimPayers;
  return TableRole::ClaimRows;
}

int StandingCount(const std::string& base, int claims) {
  if (base == "submit") return 1;
  if (base == "patient") return std::max(12, claims / 3);
  if (base == "bsroster") return std::max(3, claims / 25);
  if (base == "bsrostln") return std::max(12, claims / 5);
  if (base == "bcprov" || base == "bsprov") return 8;
  if (base == "payer") return 15;
  if (base == "isec") return 6;
  return 6;
}

}  // namespace

std::vector<ArchiveFolder> SampleArchiveFolders(const SampleOptions& options) {
  const int archived = std::max(3, options.claims / 10);
  return {
      {"archub92\\2003\\", ClaimFamily::Ub, archived},
      {"archub92\\2004\\", ClaimFamily::Ub, archived},
      {"archub92\\notes\\", ClaimFamily::None, 0},
      {"arch1500\\2003\\", ClaimFamily::Professional, archived},
      {"arch1500\\2004\\", ClaimFamily::Professional, archived},
  };
}

bool FillTable(C4Context c, const std::string& folder, const TableLayout& layout, int claims,
               int firstClaim, uint64_t seed, std::string* error) {
  const std::string path = folder + layout.base + ".dbf";
  C4Table t = d4open(c, path.c_str());
  if (t == 0) {
    if (error) *error = "cannot open " + path + ": " + error4text(c, code4errorCode(c, 0));
    return false;
  }
  std::vector<C4Field> fields;
  for (const FieldLayout& f : layout.fields) fields.push_back(d4field(t, f.name.c_str()));
  code4errorCode(c, 0);

  // Seeded by table and claim range, not by folder: the same options give
  // the same records wherever the installation lives.
  Random r(Mix(seed, layout.base + ":" + std::to_string(firstClaim)));
  const TableRole role = RoleOf(layout);
  int record = 0;
  bool ok = true;
  auto append = [&](long claim, long line) {
    if (!ok) return;
    if (d4appendBlank(t) != 0) {
      ok = false;
      return;
    }
    ++record;
    for (size_t i = 0; i < fields.size(); ++i) {
      const FieldLayout& f = layout.fields[i];
      if (fields[i] == 0) continue;
      if (IsClaimField(f.name) && claim > 0) {
        AssignKey(fields[i], f, claim);
      } else if (IsLineField(f.name) && line > 0) {
        AssignKey(fields[i], f, line);
      } else if (f.type == 'C') {
        f4assign(fields[i], CharValue(f, r, record).c_str());
      } else if (f.type == 'N' || f.type == 'F') {
        AssignNumber(fields[i], f, r);
      } else if (f.type == 'D') {
        f4assign(fields[i], DateText(r).c_str());
      } else if (f.type == 'L') {
        f4assign(fields[i], r.below(2) ? "T" : "F");
      } else if (f.type == 'M') {
        f4memoAssign(fields[i], MemoValue(r, record).c_str());
      }
    }
    if (d4writeLow(t, d4recNoLow(t), 0, 1) != 0) ok = false;
    // Every 23rd record is a deleted one: an update must leave it behind.
    if (ok && record % 23 == 11 && d4delete(t) != 0) ok = false;
  };

  if (role == TableRole::Standing) {
    const int count = StandingCount(layout.base, claims);
    for (int i = 0; i < count; ++i) append(0, 0);
  } else {
    for (int k = 0; k < claims; ++k) {
      const long claim = firstClaim + k;
      switch (role) {
        case TableRole::ClaimHeader: append(claim, 0); break;
        case TableRole::ClaimLines: {
          const int lines = 1 + r.below(3);
          for (int l = 1; l <= lines; ++l) append(claim, l);
          break;
        }
        case TableRole::ClaimPayers: {
          const int payers = 1 + r.below(2);
          for (int p = 0; p < payers; ++p) append(claim, 0);
          break;
        }
        default:
          if (k % 3 == 0) append(claim, 0);
          break;
      }
    }
  }
  if (ok) ok = AddConversionSampleValues(c, t, layout, firstClaim);
  if (ok && layout.hasIndex()) {
    C4Index index = i4open(t, (folder + layout.base + ".mdx").c_str());
    ok = index != 0 && d4reindex(t) == 0;
    if (index != 0) i4close(index);
  }
  if (!ok && error) *error = "cannot fill " + path + ": " + error4text(c, code4errorCode(c, 0));
  d4close(t);
  code4errorCode(c, 0);
  return ok;
}

bool WriteSampleData(C4Context c, const std::string& dataFolder,
                     const std::vector<TableLayout>& tables, const SampleOptions& options,
                     std::string* error) {
  const int ubClaims = (options.claims + 1) / 2;
  const int proClaims = options.claims / 2;
  for (const TableLayout& layout : tables) {
    if (!releases::CreateTable(c, dataFolder, layout, error)) return false;
    const int claims = layout.family == ClaimFamily::Professional ? proClaims : ubClaims;
    if (!FillTable(c, dataFolder, layout, claims, 1, options.seed, error)) return false;
  }
  int archiveBase = 100000;
  for (const ArchiveFolder& archive : SampleArchiveFolders(options)) {
    const std::string folder = dataFolder + archive.relative;
    platform::createDirectoryPath(folder);
    for (const TableLayout& layout : tables) {
      if (archive.family == ClaimFamily::None || layout.family != archive.family) continue;
      if (!releases::CreateTable(c, folder, layout, error)) return false;
      if (!FillTable(c, folder, layout, archive.claims, archiveBase, options.seed, error)) {
        return false;
      }
    }
    archiveBase += 100000;
  }
  // A folder without claim tables: an update must never touch it.
  platform::writeWholeFile(dataFolder + "archub92\\notes\\readme.txt",
                           "Scanned remittance notes; no claim tables here.\r\n");
  return true;
}

}  // namespace talvex::host
