#include "driver/run_log.h"

#include <ctime>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "common/runlog/run_log_format.h"
#include "driver/run_state.h"

namespace talvex::tabmend {
namespace {

namespace fs = talvex::platform;
namespace runlog = talvex::common::runlog;

std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}

}  // namespace

void BeginRunLog(const std::string& callName) {
  Lines().clear();
  Lines().push_back("call " + runlog::Timestamp(std::time(nullptr)) + " " + callName);
  Lines().push_back("workstation " + fs::workstationName());
}

void NoteRunLogLine(const std::string& line) {
  // A copy whose count is a whole number of progress steps reports its end twice.
  if (Lines().empty() || Lines().back() != line) Lines().push_back(line);
}

void DiscardRunLog() { Lines().clear(); }

std::string RunLogPath() { return Folders().work + "tabmend.log"; }

void AppendRunLog(int result) {
  if (Folders().work.empty() || Lines().empty()) return;
  const std::string block =
      runlog::ComposeBlock(Lines(), runlog::Timestamp(std::time(nullptr)), result, LastErrorText(),
                           CurrentRun().failureDetail);
  Lines().clear();
  auto file = fs::File::open(RunLogPath(), fs::OpenMode::OpenOrCreate);
  uint64_t size = 0;
  if (!file || !file->size(&size)) return;
  // The log is a record for people: a call never fails for it.
  (void)file->writeAt(size, block.data(), block.size());
}

}  // namespace talvex::tabmend
