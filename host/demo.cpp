#include "demo.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>

#include "table_view.h"
#include "update_command.h"

namespace talvex::host {
namespace {

namespace stdfs = std::filesystem;

using Snapshot = std::map<std::string, std::string>;  // relative path -> content

Snapshot TakeSnapshot(const stdfs::path& root) {
  Snapshot out;
  std::error_code ec;
  for (auto it = stdfs::recursive_directory_iterator(root, ec);
       !ec && it != stdfs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file()) continue;
    std::ifstream in(it->path(), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    out[stdfs::relative(it->path(), root).generic_string()] = content.str();
  }
  return out;
}

struct TableState {
  std::vector<std::string> fields;
  int32_t records = 0;
  int32_t live = 0;
};

std::map<std::string, TableState> ReadTables(const std::string& dataFolder,
                                             const stdfs::path& nativeData) {
  std::map<std::string, TableState> out;
  C4Context c = code4initP();
  code4autoOpen(c, 0);
  for (const auto& entry : stdfs::directory_iterator(nativeData)) {
    if (entry.path().extension() != ".dbf") continue;
    const std::string base = entry.path().stem().string();
    TableState state;
    state.fields = FieldSignatures(c, dataFolder + base);
    if (C4Table t = d4open(c, (dataFolder + base + ".dbf").c_str())) {
      state.records = d4recCount(t);
      for (int rc = d4top(t); rc == 0; rc = d4skip(t, 1)) state.live += d4deleted(t) ? 0 : 1;
      d4close(t);
    }
    code4errorCode(c, 0);
    out[base] = state;
  }
  code4initUndo(c);
  return out;
}

std::string NameOf(const std::string& signature) { return signature.substr(0, signature.find(' ')); }

void Rule(const char* title) {
  std::printf("\n== %s %s\n", title, std::string(std::max<size_t>(3, 66 - std::strlen(title)), '=').c_str());
}

// The first `columns` fields of the table, so the view fits a terminal.
void ShowSome(const std::string& data, const char* table, size_t columns, int limit) {
  C4Context c = code4initP();
  code4autoOpen(c, 0);
  ShowOptions options;
  for (const std::string& signature : FieldSignatures(c, data + table)) {
    if (options.fields.size() < columns) options.fields.push_back(NameOf(signature));
  }
  options.limit = limit;
  std::string error;
  std::printf("\n%s:\n", table);
  if (!ShowTable(c, data, table, options, stdout, &error)) std::printf("  (%s)\n", error.c_str());
  code4initUndo(c);
}

void Summarise(const std::map<std::string, TableState>& before,
               const std::map<std::string, TableState>& after) {
  std::printf("  %-10s %7s %7s %7s   %s\n", "table", "added", "removed", "changed", "records (live before -> after)");
  int unchanged = 0;
  for (const auto& [base, now] : after) {
    auto was = before.find(base);
    if (was == before.end()) {
      std::printf("  %-10s  new table, %d records\n", base.c_str(), now.records);
      continue;
    }
    std::map<std::string, std::string> old, cur;
    for (const auto& s : was->second.fields) old[NameOf(s)] = s;
    for (const auto& s : now.fields) cur[NameOf(s)] = s;
    int added = 0, removed = 0, changed = 0;
    for (const auto& [name, sig] : cur) {
      auto o = old.find(name);
      if (o == old.end()) ++added;
      else if (o->second != sig) ++changed;
    }
    for (const auto& [name, sig] : old) removed += cur.count(name) ? 0 : 1;
    if (added + removed + changed == 0 && was->second.records == now.records) {
      ++unchanged;
      continue;
    }
    std::printf("  %-10s %7d %7d %7d   %d -> %d", base.c_str(), added, removed, changed,
                was->second.live, now.records);
    if (was->second.records != was->second.live) {
      const int gone = was->second.records - was->second.live;
      std::printf("  (%d deleted record%s left behind)", gone, gone == 1 ? "" : "s");
    }
    std::printf("\n");
  }
  std::printf("  %d other tables already had the newest layout.\n", unchanged);
}

// One act: install, look, update, look again. Returns the update's result.
int Act(const InstallOptions& options, bool* conversionMissing) {
  std::string error;
  Rule("Installing");
  if (!Install(options, stdout, &error)) {
    std::printf("install failed: %s\n", error.c_str());
    return -1;
  }
  const InstallFolders folders = FoldersOf(options.dir);
  const stdfs::path nativeData = stdfs::absolute(options.dir) / "data";

  Rule("Before the update");
  ShowSome(folders.data, "bcclaim", 6, 5);
  ShowSome(folders.data, "submit", 6, 1);
  const auto before = ReadTables(folders.data, nativeData);
  const Snapshot snapshot = TakeSnapshot(nativeData);

  Rule("Updating");
  std::fflush(stdout);  // the progress below goes to standard error; keep the order in a log
  UpdateRun run = RunUpdate(std::nullopt, stderr);
  if (!run.loaded) {
    std::printf("cannot load the updater: %s\n", run.error.c_str());
    return -1;
  }
  std::printf("\n");
  PrintUpdateRun(run, stdout);

  if (run.result != 0) {
    Rule("After the failed update");
    const Snapshot after = TakeSnapshot(nativeData);
    int changed = 0;
    std::vector<std::string> added;
    for (const auto& [path, bytes] : snapshot) {
      auto it = after.find(path);
      changed += it == after.end() || it->second != bytes ? 1 : 0;
    }
    for (const auto& [path, bytes] : after) {
      if (!snapshot.count(path) && path.size() > 4 && path.compare(path.size() - 4, 4, ".dbf") == 0) {
        added.push_back(path.substr(0, path.size() - 4));
      }
    }
    std::printf("  The run stopped and rolled back every update it had applied.\n");
    std::printf("  Files of the data folder changed or lost: %d%s\n", changed,
                changed == 0 ? " (byte for byte as before the call)" : "  <-- NOT restored");
    if (!added.empty()) {
      std::printf("  Tables added where they were missing stay, as intended:\n   ");
      for (const std::string& path : added) std::printf(" %s", path.c_str());
      std::printf("\n");
    }
    for (const auto& [key, value] : run.tokens) {
      if (key == "%TABMEND_ERR%" && value.find("translate special field values") != std::string::npos) {
        *conversionMissing = true;
      }
    }
    return run.result;
  }
  Rule("After the update");
  ShowSome(folders.data, "bcclaim", 6, 5);
  ShowSome(folders.data, "submit", 6, 1);
  Rule("What changed");
  std::printf("  %zu updates replaced tables", run.applied.size());
  if (!run.applied.empty()) std::printf(" (first %04d, last %04d)", run.applied.front(), run.applied.back());
  std::printf(".\n");
  Summarise(before, ReadTables(folders.data, nativeData));
  return run.result;
}

}  // namespace

int RunDemo(const InstallOptions& options) {
  std::printf("talvexhost demo: a host installation, brought to the newest table layout.\n");
  bool conversionMissing = false;
  int result = Act(options, &conversionMissing);
  if (result != 0 && conversionMissing) {
    std::printf("\nThe run from this release needs the data migrations of the converting\n"
                "updates, which this build does not have yet. Here is the same demo from\n"
                "release 2.16.0.100, whose run needs none:\n");
    InstallOptions later = options;
    later.dir = (stdfs::path(options.dir) / "release-2.16").string();
    later.release = ReleaseNumber{2, 16, 0, 100};
    result = Act(later, &conversionMissing);
  }
  std::printf("\n%s\n", result == 0 ? "Done: every table is in the newest layout." : "The update did not succeed.");
  return result == 0 ? 0 : 1;
}

}  // namespace talvex::host
