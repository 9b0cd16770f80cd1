#include "host/roster/roster_commands.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "c4dll.h"
#include "common/locations/installation_locations.h"
#include "common/text/host_date.h"
#include "host/roster/generate_command.h"
#include "host/roster/roster_library.h"
#include "qmrbsrst/frame/call_records.h"
#include "host/registry_file.h"

namespace {

using talvex::host::RosterLibrary;
using talvex::host::RosterRecordExport;
using talvex::host::RosterStatusExport;
using namespace talvex::qmrbsrst;

constexpr int kDone = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

struct Arguments {
  std::string command;
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;  // "--data" -> value

  std::string option(const std::string& name) const {
    auto it = options.find(name);
    return it == options.end() ? std::string() : it->second;
  }
  bool has(const std::string& name) const { return options.count(name) != 0; }
};

int Usage(const char* why) {
  std::fprintf(stderr,
               "roster: %s\n"
               "usage: talvexhost roster info | hcpcs TYPE | diagnosis TYPE |\n"
               "         pcn --prefix P --date YYYY-MM-DD --serial N --suffix N |\n"
               "         status CODE | counter KIND\n"
               "       options: --data DIR --config DIR --library FILE --registry FILE\n",
               why);
  return kUsage;
}

bool Parse(int argc, char** argv, Arguments* out) {
  if (argc < 2) return false;
  out->command = argv[1];
  for (int i = 2; i < argc; ++i) {
    std::string word = argv[i];
    if (word.rfind("--", 0) == 0 && word.size() > 2) {
      if (i + 1 >= argc) return false;
      out->options[word] = argv[++i];
    } else {
      out->positional.push_back(word);
    }
  }
  return true;
}

bool ParseLong(const std::string& text, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = std::strtoll(text.c_str(), &end, 10);
  return end != nullptr && *end == '\0';
}

bool ParseInt32(const std::string& text, int32_t* value) {
  long long v = 0;
  if (!ParseLong(text, &v) || v < INT32_MIN || v > INT32_MAX) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

// YYYY-MM-DD as a host date-time value.
bool ParseIsoDate(const std::string& text, double* value) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3) return false;
  return talvex::common::hostDateFromCalendar({y, m, d}, value);
}

// The folders the host would pass: the options, else the registry's.
struct Folders {
  std::string data;
  std::string config;
};

Folders ResolveFolders(const Arguments& args) {
  Folders f;
  talvex::common::InstallationLocations where;
  const bool needRegistry = !args.has("--data") || !args.has("--config");
  if (needRegistry) {
    (void)talvex::common::readInstallationLocations(&where, talvex::common::WorkDirectories::None);  // empty folders are refused below
  }
  f.data = args.has("--data") ? talvex::common::withTrailingSeparator(args.option("--data"))
                              : where.DataDirectory;
  if (args.has("--config")) {
    f.config = talvex::common::withTrailingSeparator(args.option("--config"));
  } else {
    f.config = !where.InstallDirectory.empty() ? where.InstallDirectory : f.data;
  }
  return f;
}

RosterRecordExport RecordExport(RosterLibrary& library, const char* name) {
  RosterRecordExport fn = reinterpret_cast<RosterRecordExport>(library.symbol(name));
  if (fn == nullptr) std::fprintf(stderr, "roster: the library has no export %s\n", name);
  return fn;
}

int Info(RosterLibrary& library, const Arguments& args) {
  RosterRecordExport fn = RecordExport(library, "Retrieve1500RosterInfo");
  if (fn == nullptr) return kFailed;
  TRosterInfoCall call;
  std::memset(&call, 0, sizeof call);
  call.dataDirectory.assign(ResolveFolders(args).data);
  fn(&call);
  std::printf("Auto_Generate_Patient_Control_Numbers=%s\n", call.autoGeneratePcn ? "YES" : "NO");
  std::printf("Max_Lines_Per_Roster_Billing=%d\n", static_cast<int>(call.maxLinesPerRoster));
  std::printf("Allow_Non_Medicare_Roster_Billing=%s\n", call.allowNonMedicare ? "YES" : "NO");
  return kDone;
}

void PrintSlots(const ShortString<kListEntryWidth>* slots, int count) {
  for (int i = 0; i < count; ++i) {
    std::string entry = slots[i].str();
    if (!entry.empty()) std::printf("%s\n", entry.c_str());
  }
}

int Hcpcs(RosterLibrary& library, const Arguments& args) {
  if (args.positional.size() != 1) return Usage("hcpcs needs one roster TYPE");
  RosterRecordExport fn = RecordExport(library, "Retrieve1500RosterHCPCS");
  if (fn == nullptr) return kFailed;
  auto call = std::make_unique<TRosterHcpcsCall>();
  std::memset(call.get(), 0, sizeof *call);
  call->dataDirectory.assign(ResolveFolders(args).data);
  call->rosterType.assign(args.positional[0]);
  fn(call.get());
  PrintSlots(call->entries, kServiceCodeSlots);
  return kDone;
}

int Diagnosis(RosterLibrary& library, const Arguments& args) {
  if (args.positional.size() != 1) return Usage("diagnosis needs one roster TYPE");
  RosterRecordExport fn = RecordExport(library, "Retrieve1500RosterDiagnosis");
  if (fn == nullptr) return kFailed;
  auto call = std::make_unique<TRosterDiagnosisCall>();
  std::memset(call.get(), 0, sizeof *call);
  Folders folders = ResolveFolders(args);
  call->dataDirectory.assign(folders.data);
  call->configDirectory.assign(folders.config);
  call->rosterType.assign(args.positional[0]);
  fn(call.get());
  std::printf("TypeR=%d\n", static_cast<int>(call->typeRFlag));
  PrintSlots(call->entries, kDiagnosisSlots);
  return kDone;
}

int Pcn(RosterLibrary& library, const Arguments& args) {
  TRosterPcnCall call;
  std::memset(&call, 0, sizeof call);
  if (!args.has("--prefix") || !args.has("--date") || !args.has("--serial") ||
      !args.has("--suffix")) {
    return Usage("pcn needs --prefix, --date, --serial and --suffix");
  }
  if (!ParseIsoDate(args.option("--date"), &call.date)) return Usage("--date is YYYY-MM-DD");
  if (!ParseInt32(args.option("--serial"), &call.serialNumber) ||
      !ParseInt32(args.option("--suffix"), &call.suffixNumber)) {
    return Usage("--serial and --suffix are 32-bit whole numbers");
  }
  call.prefix.assign(args.option("--prefix"));
  RosterRecordExport fn = RecordExport(library, "Generate1500RosterPCN");
  if (fn == nullptr) return kFailed;
  fn(&call);
  std::printf("%s\n", call.pcn.str().c_str());
  return kDone;
}

int Status(RosterLibrary& library, const Arguments& args) {
  long long code = 0;
  if (args.positional.size() != 1 || !ParseLong(args.positional[0], &code) ||
      code < INT32_MIN || code > UINT32_MAX) {
    return Usage("status needs one numeric CODE");
  }
  auto fn = reinterpret_cast<RosterStatusExport>(library.symbol("GetRosterStatusMessage"));
  if (fn == nullptr) {
    std::fprintf(stderr, "roster: the library has no export GetRosterStatusMessage\n");
    return kFailed;
  }
  // -1 and 4294967295 name the same 32-bit code, as the host passes it.
  const char* text = fn(static_cast<uint32_t>(code));
  std::printf("%s\n", text != nullptr ? text : "");
  return kDone;
}

int Counter(RosterLibrary& library, const Arguments& args) {
  int32_t kind = 0;
  if (args.positional.size() != 1 || !ParseInt32(args.positional[0], &kind)) {
    return Usage("counter needs one numeric KIND");
  }
  RosterRecordExport fn = RecordExport(library, "Next1500RosterControlCounter");
  if (fn == nullptr) return kFailed;
  // The host owns the engine context and hands it to the library.
  C4Context context = code4initP();
  if (context == 0) {
    std::fprintf(stderr, "roster: no engine context\n");
    return kFailed;
  }
  TRosterCounterCall call;
  std::memset(&call, 0, sizeof call);
  call.dataDirectory.assign(ResolveFolders(args).data);
  call.context = context;
  call.kind = kind;
  int32_t value = fn(&call);
  code4initUndo(context);
  std::printf("%d\n", static_cast<int>(value));
  if (value == -1) {
    std::fprintf(stderr, "roster: no counter value (kind %d)\n", static_cast<int>(kind));
    return kFailed;
  }
  return kDone;
}

}  // namespace

int RunRosterCommand(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "generate") == 0) return RunRosterGenerateCommand(argc, argv);
  Arguments args;
  if (!Parse(argc, argv, &args)) return Usage("missing subcommand or option value");
#if !defined(_WIN32)
  if (args.has("--registry")) talvex::host::UseRegistryFile(args.option("--registry"));
#endif
  std::string path =
      args.has("--library") ? args.option("--library") : RosterLibrary::defaultPath();
  if (const char* env = std::getenv("TALVEX_QMRBSRST"); env != nullptr && !args.has("--library")) {
    path = env;
  }

  static const char* const kCommands[] = {"info", "hcpcs", "diagnosis", "pcn", "status",
                                          "counter"};
  bool known = false;
  for (const char* c : kCommands) known = known || args.command == c;
  if (!known) return Usage(("unknown subcommand " + args.command).c_str());

  RosterLibrary library(path);
  if (!library.loaded()) {
    std::fprintf(stderr, "roster: %s\n", library.error().c_str());
    return kFailed;
  }
  if (args.command == "info") return Info(library, args);
  if (args.command == "hcpcs") return Hcpcs(library, args);
  if (args.command == "diagnosis") return Diagnosis(library, args);
  if (args.command == "pcn") return Pcn(library, args);
  if (args.command == "status") return Status(library, args);
  return Counter(library, args);
}
