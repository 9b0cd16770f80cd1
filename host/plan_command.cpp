#include "plan_command.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tabmend_library.h"
#include "token_table.h"
#include "host/registry_file.h"

namespace talvex::host {
namespace {

std::string Where(const char* location) {
  return location == nullptr || *location == '\0' ? "data folder" : location;
}

// 1234567 -> "1,234,567"
std::string Grouped(long long value) {
  std::string digits = std::to_string(value < 0 ? -value : value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(at, ",");
  return value < 0 ? "-" + digits : digits;
}

std::string Megabytes(int32_t kilobytes) {
  char text[48];
  std::snprintf(text, sizeof text, "%.1f MB", kilobytes / 1024.0);
  const std::string whole = text;
  const size_t dot = whole.find('.');
  return Grouped(std::atoll(whole.substr(0, dot).c_str())) + whole.substr(dot);
}

struct PlanPrinter {
  std::FILE* out;
  int updates = 0;
};

void TABMEND_API OnRow(void* context, const TabmendPlanRow* row) {
  auto* printer = static_cast<PlanPrinter*>(context);
  std::FILE* out = printer->out;
  const std::string table = row->Table != nullptr ? row->Table : "";
  const std::string text = row->Text != nullptr ? row->Text : "";
  switch (row->Item) {
    case TABMEND_PLAN_RELEASE:
      if (row->Update == 0) {
        std::fprintf(out, "release %s: the tables are current, no update runs\n", text.c_str());
      } else {
        std::fprintf(out, "release %s: updates from %04d\n", text.c_str(), row->Update);
      }
      break;
    case TABMEND_PLAN_NOTE:
      std::fprintf(out, "note: %s\n", text.c_str());
      break;
    case TABMEND_PLAN_UPDATE:
      ++printer->updates;
      std::fprintf(out, "update %04d\n", row->Update);
      break;
    case TABMEND_PLAN_TABLE:
      if (row->Records < 0) {
        std::fprintf(out, "  table %s: in use, records not counted (%s)\n", table.c_str(),
                     Where(row->Location).c_str());
      } else {
        std::fprintf(out, "  table %s: %s records (%s)\n", table.c_str(),
                     Grouped(row->Records).c_str(), Where(row->Location).c_str());
      }
      break;
    case TABMEND_PLAN_NEW_TABLE:
      std::fprintf(out, "  new table %s (%s)\n", table.c_str(), Where(row->Location).c_str());
      break;
    case TABMEND_PLAN_UNREADABLE:
      std::fprintf(out, "  cannot read %s (%s): %s\n", table.c_str(), Where(row->Location).c_str(),
                   text.c_str());
      break;
    case TABMEND_PLAN_IN_USE:
      std::fprintf(out, "in use: %s (%s): %s\n", table.c_str(), Where(row->Location).c_str(),
                   text.c_str());
      break;
    case TABMEND_PLAN_SPACE:
      std::fprintf(out, "space: %s needed on the disk of %s, %s\n",
                   Megabytes(row->NeededKB).c_str(), row->Location,
                   row->FreeKB < 0 ? "free space unknown"
                                   : (Megabytes(row->FreeKB) + " free").c_str());
      break;
    case TABMEND_PLAN_ESTIMATE:
      std::fprintf(out, "estimate: about %d s (%d updates, %s records)\n", row->Seconds,
                   printer->updates, Grouped(row->Records).c_str());
      break;
    default:
      break;  // a row of a newer library
  }
}

}  // namespace

bool WantsPlan(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--plan") return true;
  }
  return false;
}

int RunPlanCommand(int argc, char** argv) {
  std::optional<std::string> version;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--plan") continue;
    if ((a == "--version" || a == "--registry") && i + 1 < argc) {
      const std::string value = argv[++i];
      if (a == "--version") {
        version = value;
      } else {
        talvex::host::UseRegistryFile(value);
      }
      continue;
    }
    std::fprintf(stderr, "talvexhost: bad option %s\n", a.c_str());
    return 2;
  }
  TabmendLibrary library;
  if (!library.loaded() || !library.canPlan()) {
    std::fprintf(stderr, "talvexhost: %s\n",
                 library.loaded() ? (library.path() + " has no export TabmendPlanUpdate").c_str()
                                  : library.error().c_str());
    return 1;
  }
  TokenTable tokens;
  tokens.add("%PRODUCT%", "Talvex Nova32");
  tokens.add("%OPERATOR%", "front desk");
  PlanPrinter printer{stdout};
  const int32_t result = library.PlanUpdate(
      tokens.record(version ? version->c_str() : nullptr), &OnRow, &printer);
  if (result == 0) return 0;
  for (const auto& [key, value] : tokens.entries()) {
    if (key == "%TABMEND_ERR%") std::fprintf(stderr, "talvexhost: no plan: %s\n", value.c_str());
  }
  return 1;
}

}  // namespace talvex::host
