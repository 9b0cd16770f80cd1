#include "maintenance/revenue_code_charges.h"

#include <charconv>
#include <cmath>
#include <vector>

#include "platform/ascii_text.h"
#include "platform/file_system.h"
#include "common/tableengine/table.h"
#include "driver/run_state.h"
#include "maintenance/update_guard.h"

namespace talvex::tabmend {
namespace {

const char kOpenFailed[] = "Unable to open Revenue Codes reference file.";

std::string DumpFile() { return Folders().install + "private\\" + kRevenueCodeDumpName; }

std::string TrimControls(std::string_view text) { return std::string(ascii::trimControl(text)); }

// revcode with its index open and BY_CODE selected; the Table closes both.
struct RevenueCodeTable {
  common::Table table;
  C4Index index = 0;
  ~RevenueCodeTable() {
    if (table) {
      d4unlock(table.handle());
      if (index != 0) i4close(index);
    }
  }
};

bool OpenRevenueCodes(C4Context c, RevenueCodeTable* out) {
  out->table = common::Table::open(c, Folders().data + "revcode.dbf");
  if (!out->table) return false;
  out->index = i4open(out->table.handle(), (Folders().data + "revcode.mdx").c_str());
  common::clearEngineError(c);
  return out->index != 0;
}

void SelectByCode(const RevenueCodeTable& rc) {
  C4Tag tag = rc.table.tag("BY_CODE");
  d4tagSelectP(rc.table.handle(), tag);
}

// The walk of step 6; "" or the message.
std::string CollectCharges(const RevenueCodeTable& rc, std::vector<std::string>* lines) {
  const C4Table t = rc.table.handle();
  SelectByCode(rc);
  const C4Field code = rc.table.field("REV_CODE");
  const C4Field charges = rc.table.field("REV_CHGS");
  for (int status = d4top(t); status != 3; status = d4skip(t, 1)) {
    if (status != 0) return "Unable to back up Revenue Codes charges data.";
    if (d4deleted(t)) continue;
    double charge = 0;
    if (charges == 0 || f4double2(charges, &charge) != 0) charge = 0;
    if (charge != 0) lines->push_back(TrimControls(code ? f4str(code) : "") + "|" + FormatCharge(charge));
  }
  return std::string();
}

// The restore loop of step 6; the last positioning, lock or unlock status.
int WriteCharges(const RevenueCodeTable& rc, const std::vector<std::string>& lines) {
  const C4Table t = rc.table.handle();
  SelectByCode(rc);
  const C4Field charges = rc.table.field("REV_CHGS");
  int status = d4top(t);
  if (status != 0 && status != 3) return status;
  for (const std::string& line : lines) {
    if (line.find('|') != 4) continue;
    const std::optional<double> value = ParseCharge(std::string_view(line).substr(5));
    if (!value || *value == 0) continue;
    if (d4seek(t, line.substr(0, 4).c_str()) != 0) continue;
    status = d4lockInternal(t, d4recNoLow(t), 1, 1);
    if (status != 0) break;
    if (charges != 0) f4assignDouble(charges, *value);
    status = d4unlock(t);
    if (status != 0) break;
  }
  return status;
}

bool Fail(const char* wrapper, const std::string& message) {
  LastErrorText() = std::string(wrapper) + message + "]";
  return false;
}

}  // namespace

std::string FormatCharge(double value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                    std::chars_format::general, 15);
  return std::string(buffer, result.ptr);
}

std::optional<double> ParseCharge(std::string_view text) {
  std::string trimmed = TrimControls(text);
  std::string_view digits = trimmed;
  if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
  if (digits.empty()) return std::nullopt;
  double value = 0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (result.ec != std::errc() || result.ptr != digits.data() + digits.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

bool RunChargeBackup() {
  const char kWrap[] = "Error backing up Revenue Code charge data [";
  if (!SetUpRunFolders()) return Fail(kWrap, "Unable to locate (or create) critical directories.");
  // Reading alone: an update that did not finish does not stop it.
  std::unique_ptr<common::UpdateLock> lock;
  const std::string refused = GuardAgainstUpdates(&lock, PendingUpdates::Allowed);
  if (!lock) return Fail(kWrap, refused);
  const std::string dump = DumpFile();
  if (platform::pathExists(dump)) {
    (void)platform::deleteFile(dump);  // the test below decides
    if (platform::pathExists(dump)) return Fail(kWrap, "Unable to delete temporary Revenue Code charge data file.");
  }
  if (!OpenRunContext()) return Fail(kWrap, "Unexpected exception.");
  std::vector<std::string> lines;
  std::string message;
  {
    RevenueCodeTable rc;
    message = OpenRevenueCodes(RunContext(), &rc) ? CollectCharges(rc, &lines) : kOpenFailed;
  }
  common::clearEngineError(RunContext());
  CloseRunContext();
  if (!message.empty()) return Fail(kWrap, message);
  // Between backup and restore this file is the only copy of the charges,
  // so a file that cannot be written fails the backup.
  if (!platform::writeTextLines(dump, lines)) {
    return Fail(kWrap, "Unable to write temporary Revenue Code charge data file.");
  }
  return true;
}

bool RunChargeRestore() {
  const char kWrap[] = "Error restoring Revenue Code charge data [";
  if (!SetUpRunFolders()) return Fail(kWrap, "Unable to locate (or create) critical directories.");
  std::unique_ptr<common::UpdateLock> lock;
  const std::string refused = GuardAgainstUpdates(&lock, PendingUpdates::Refused);
  if (!lock) return Fail(kWrap, refused);
  const std::string dump = DumpFile();
  if (!platform::isFile(dump)) return true;
  std::vector<std::string> lines;
  if (!platform::readTextLines(dump, &lines)) {
    return Fail(kWrap, "Unable to read temporary Revenue Code charge data file.");
  }
  if (!OpenRunContext()) return Fail(kWrap, "Unexpected exception.");
  std::string message;
  {
    RevenueCodeTable rc;
    if (!OpenRevenueCodes(RunContext(), &rc)) {
      message = kOpenFailed;
    } else {
      const int status = WriteCharges(rc, lines);
      if (status != 0 && status != 3) message = "Unable to restore Revenue Codes charges data.";
    }
  }
  common::clearEngineError(RunContext());
  CloseRunContext();
  if (!message.empty()) return Fail(kWrap, message);
  return true;
}

}  // namespace talvex::tabmend
