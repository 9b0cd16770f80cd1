// talvexhost: the command-line stand-in for the claims application. It makes
// installations, calls the updater the way the host does, and shows tables.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "common/locations/installation_locations.h"
#include "platform/registry.h"
#include "demo.h"
#include "history_command.h"
#include "index_check.h"
#include "installation.h"
#include "maintenance_commands.h"
#include "plan_command.h"
#include "table_view.h"
#include "update_command.h"
#include "version_command.h"

#if __has_include("host/roster/roster_commands.h") && defined(TALVEX_HOST_ROSTER)
#include "host/roster/roster_commands.h"
#include "host/registry_file.h"
#define HAVE_ROSTER 1
#endif

namespace {

using namespace talvex::host;

const char kUsage[] =
    "usage: talvexhost COMMAND [options] [--registry FILE]\n"
    "  install DIR [--release A.B.C.D] [--claims N] [--seed S]\n"
    "  update [--version TEXT] [--plan]   (--plan: what it would do, changing nothing)\n"
    "  history [--limit N]   (the update calls of the run log)\n"
    "  reindex | revcodes backup|restore\n"
    "  show TABLE [--tag TAG] [--fields A,B] [--limit N] [--folder F]\n"
    "  layout TABLE [--folder F]\n"
    "  check TABLE [--folder F]   (index against table)\n"
    "  demo DIR [--claims N] [--seed S]\n"
    "  roster ...   (the roster library's commands)\n"
    "  --version    (this build's version and that of the files beside it)\n"
    "The registry is FILE, else $TALVEX_REGISTRY, else the platform default;\n"
    "install writes DIR/registry.reg unless --registry is given.\n";

struct Args {
  std::vector<std::string> positional;
  std::optional<std::string> registry, release, claims, seed, version, tag, fields, limit, folder;
};

bool Parse(int argc, char** argv, Args* args) {
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::optional<std::string>* slot) {
      if (i + 1 >= argc) return false;
      *slot = argv[++i];
      return true;
    };
    bool ok = true;
    if (a == "--registry") ok = value(&args->registry);
    else if (a == "--release") ok = value(&args->release);
    else if (a == "--claims") ok = value(&args->claims);
    else if (a == "--seed") ok = value(&args->seed);
    else if (a == "--version") ok = value(&args->version);
    else if (a == "--tag") ok = value(&args->tag);
    else if (a == "--fields") ok = value(&args->fields);
    else if (a == "--limit") ok = value(&args->limit);
    else if (a == "--folder") ok = value(&args->folder);
    else if (a.rfind("--", 0) == 0) ok = false;
    else args->positional.push_back(a);
    if (!ok) {
      std::fprintf(stderr, "talvexhost: bad option %s\n", a.c_str());
      return false;
    }
  }
  return true;
}

void UseRegistry(const std::optional<std::string>& file) {
  if (!file) return;
  talvex::host::UseRegistryFile(*file);
}

bool ParseRelease(const std::string& text, ReleaseNumber* out) {
  unsigned a, b, c, d;
  char tail;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4) return false;
  if (a > 65535 || b > 65535 || c > 65535 || d > 65535) return false;
  *out = ReleaseNumber{static_cast<uint16_t>(a), static_cast<uint16_t>(b),
                       static_cast<uint16_t>(c), static_cast<uint16_t>(d)};
  return true;
}

bool InstallOptionsFrom(const Args& args, InstallOptions* options) {
  if (args.positional.size() != 1) return false;
  options->dir = args.positional[0];
  if (args.release && !ParseRelease(*args.release, &options->release)) {
    std::fprintf(stderr, "talvexhost: release must be A.B.C.D\n");
    return false;
  }
  if (args.claims) options->sample.claims = std::atoi(args.claims->c_str());
  if (args.seed) options->sample.seed = std::strtoull(args.seed->c_str(), nullptr, 10);
  if (options->sample.claims < 0) return false;
  return true;
}

// The data folder of the installation, with an optional subfolder (relative
// to it, or a folder of its own when it starts at a root).
bool TableFolder(const Args& args, std::string* folder) {
  talvex::common::InstallationLocations found;
  // Whatever it finds is enough: the folders are tested before use.
  (void)talvex::common::readInstallationLocations(&found, talvex::common::WorkDirectories::None);
  if (args.folder) {
    const std::string& f = *args.folder;
    const bool absolute = !f.empty() && (f[0] == '/' || f[0] == '\\' || (f.size() > 1 && f[1] == ':'));
    *folder = talvex::common::withTrailingSeparator(absolute ? f : found.DataDirectory + f);
  } else {
    *folder = found.DataDirectory;
  }
  if (folder->empty()) {
    talvex::host::ReportNoInstallation();
    return false;
  }
  return true;
}

int ViewCommand(const std::string& command, const Args& args) {
  if (args.positional.size() != 1) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::string folder;
  if (!TableFolder(args, &folder)) return 1;
  C4Context c = code4initP();
  code4autoOpen(c, 0);
  code4accessMode(c, 0);
  std::string error;
  bool ok;
  if (command == "show") {
    ShowOptions options;
    if (args.tag) options.tag = *args.tag;
    if (args.limit) options.limit = std::atoi(args.limit->c_str());
    if (args.fields) {
      std::string list = *args.fields;
      size_t start = 0;
      while (start <= list.size()) {
        size_t comma = list.find(',', start);
        std::string name = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!name.empty()) options.fields.push_back(name);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    }
    ok = ShowTable(c, folder, args.positional[0], options, stdout, &error);
  } else if (command == "check") {
    ok = CheckTableIndex(c, folder, args.positional[0], stdout, &error);
  } else {
    ok = ShowLayout(c, folder, args.positional[0], stdout, &error);
  }
  code4initUndo(c);
  if (!ok) std::fprintf(stderr, "talvexhost: %s\n", error.c_str());
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string command = argv[1];
  if (command == "--version") return PrintVersions(stdout);
#ifdef HAVE_ROSTER
  if (command == "roster") return RunRosterCommand(argc - 1, argv + 1);
#endif
  if (command == "history") return RunHistoryCommand(argc - 1, argv + 1);
  if (command == "update" && WantsPlan(argc - 1, argv + 1)) return RunPlanCommand(argc - 1, argv + 1);
  Args args;
  if (!Parse(argc, argv, &args)) return 2;

  if (command == "install" || command == "demo") {
    InstallOptions options;
    if (!InstallOptionsFrom(args, &options)) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    UseRegistry(args.registry ? args.registry
                              : std::optional<std::string>(options.dir + "/registry.reg"));
    if (command == "demo") return RunDemo(options);
    std::string error;
    if (!Install(options, stdout, &error)) {
      std::fprintf(stderr, "talvexhost: install failed: %s\n", error.c_str());
      return 1;
    }
    return 0;
  }
  UseRegistry(args.registry);
  if (command == "update") {
    UpdateRun run = RunUpdate(args.version, stderr);
    if (!run.loaded) {
      std::fprintf(stderr, "talvexhost: %s\n", run.error.c_str());
      return 1;
    }
    PrintUpdateRun(run, stdout);
    PrintUpdateDetail(run, stderr);
    return run.result == 0 ? 0 : 1;
  }
  if (command == "reindex" || command == "revcodes") {
    std::vector<const char*> words = {argv[1]};
    for (const std::string& p : args.positional) words.push_back(p.c_str());
    return RunMaintenanceCommand(static_cast<int>(words.size()), words.data());
  }
  if (command == "show" || command == "layout" || command == "check") return ViewCommand(command, args);
  std::fputs(kUsage, stderr);
  return 2;
}
