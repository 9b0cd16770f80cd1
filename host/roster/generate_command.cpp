#include "host/roster/generate_command.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "c4dll.h"
#include "common/locations/installation_locations.h"
#include "platform/file_system.h"
#include "common/text/host_date.h"
#include "host/progress_display.h"
#include "host/roster/roster_library.h"
#include "qmrbsrst/frame/call_records.h"
#include "platform/local_clock.h"
#include "host/registry_file.h"

namespace {

using talvex::host::RosterLibrary;
using GenerateExport = int32_t(QMR_API*)(void*, void*, void*);

// The library calls back as the host's method: object in EAX, text in EDX on
// 32-bit x86.
#if defined(__i386__)
#define HOST_METHOD __attribute__((regparm(2)))
#else
#define HOST_METHOD
#endif

// "Generating roster claims (5 of 2000 completed)" is a counted step of the
// series before its parenthesis; any other text is a phase.
HOST_METHOD void ShowProgress(void* self, const void* text) {
  auto* display = static_cast<talvex::host::ProgressDisplay*>(self);
  const auto* s = static_cast<const talvex::common::ShortString<255>*>(text);
  const std::string line = s->str();
  int done = 0, total = 0;
  const size_t open = line.find('(');
  if (open != std::string::npos &&
      std::sscanf(line.c_str() + open, "(%d of %d", &done, &total) == 2 && total > 0) {
    display->step(line.substr(0, open), line, done, total);
  } else {
    display->phase(line);
  }
}

int Usage(const char* why) {
  std::fprintf(stderr,
               "roster: %s\n"
               "usage: talvexhost roster generate ROSTER [--run-date YYYY-MM-DD] [--host-open]\n"
               "       options: --data DIR --config DIR --library FILE --registry FILE\n",
               why);
  return 2;
}

bool TodayAsHostDate(double* value) {
  const std::tm local = talvex::platform::localNow();
  return talvex::common::hostDateFromCalendar({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
                                              value);
}

}  // namespace

int RunRosterGenerateCommand(int argc, char** argv) {
  std::string roster, runDate, data, config, library, registry;
  bool hostOpen = false;
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= argc) return false;
      *out = argv[++i];
      return true;
    };
    bool ok = true;
    if (word == "--host-open") hostOpen = true;
    else if (word == "--run-date") ok = value(&runDate);
    else if (word == "--data") ok = value(&data);
    else if (word == "--config") ok = value(&config);
    else if (word == "--library") ok = value(&library);
    else if (word == "--registry") ok = value(&registry);
    else if (roster.empty() && word.rfind("--", 0) != 0) roster = word;
    else return Usage(("unexpected argument " + word).c_str());
    if (!ok) return Usage("missing option value");
  }
  char* end = nullptr;
  const long number = roster.empty() ? 0 : std::strtol(roster.c_str(), &end, 10);
  if (roster.empty() || end == nullptr || *end != '\0') return Usage("generate needs a ROSTER number");
  double date = 0;
  if (!runDate.empty()) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(runDate.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3 ||
        !talvex::common::hostDateFromCalendar({y, m, d}, &date)) {
      return Usage("--run-date needs YYYY-MM-DD");
    }
  } else if (!TodayAsHostDate(&date)) {
    return Usage("no current date");
  }
#if !defined(_WIN32)
  if (!registry.empty()) talvex::host::UseRegistryFile(registry);
#endif
  if (data.empty() || config.empty()) {
    talvex::common::InstallationLocations where;
    (void)talvex::common::readInstallationLocations(&where, talvex::common::WorkDirectories::None);  // empty folders are refused below
    if (data.empty()) data = where.DataDirectory;
    if (config.empty()) config = !where.InstallDirectory.empty() ? where.InstallDirectory : data;
  }
  data = talvex::common::withTrailingSeparator(data);
  config = talvex::common::withTrailingSeparator(config);
  if (library.empty()) {
    const char* env = std::getenv("TALVEX_QMRBSRST");
    library = env != nullptr ? env : RosterLibrary::defaultPath();
  }

  RosterLibrary loaded(library);
  if (!loaded.loaded()) {
    std::fprintf(stderr, "roster: %s\n", loaded.error().c_str());
    return 1;
  }
  auto generate = reinterpret_cast<GenerateExport>(loaded.symbol("Generate1500RosterClaims"));
  auto statusText =
      reinterpret_cast<talvex::host::RosterStatusExport>(loaded.symbol("GetRosterStatusMessage"));
  if (generate == nullptr || statusText == nullptr) {
    std::fprintf(stderr, "roster: the library lacks the generation exports\n");
    return 1;
  }

  C4Context context = code4initP();
  if (context == 0) return 1;
  std::vector<C4Table> held;
  C4Table rosterTable = 0;
  if (hostOpen) {
    for (const char* name : {"BSCLAIM", "BSCPAYER", "BSLINES", "BSLINESA", "BSRECNM", "BSRECID",
                             "BSROSTLN", "BSROSTER"}) {
      const std::string path = data + name + ".DBF";
      if (!talvex::platform::isFile(path)) continue;
      C4Table t = d4open(context, path.c_str());
      if (t == 0) continue;
      held.push_back(t);
      if (std::string(name) == "BSROSTER") rosterTable = t;
    }
    code4errorCode(context, 0);
  }

  talvex::qmrbsrst::TGenerateRosterClaimsCall call{};
  call.dataDirectory.assign(data);
  call.configDirectory.assign(config);
  call.context = context;
  call.runDate = date;
  call.rosterNumber = static_cast<int32_t>(number);
  call.rosterTable = rosterTable;
  int32_t code;
  {
    talvex::host::ProgressDisplay display(stderr);
    code = generate(&call, reinterpret_cast<void*>(&ShowProgress), &display);
  }
  std::printf("status %d: %s\n", static_cast<int>(code),
              statusText(static_cast<uint32_t>(code)));
  std::printf("accepted=%d accepted_total=%.2f rejected=%d rejected_total=%.2f\n",
              static_cast<int>(call.acceptedCount), call.acceptedTotal,
              static_cast<int>(call.rejectedCount), call.rejectedTotal);
  if (code4errorCode(context, 0) != 0) {
    std::fprintf(stderr, "roster: the library left an error in the host's context\n");
  }
  for (C4Table t : held) {
    d4unlock(t);
    d4close(t);
  }
  code4initUndo(context);
  return code == 0 ? 0 : 1;
}
