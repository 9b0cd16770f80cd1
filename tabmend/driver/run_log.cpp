#include "driver/run_log.h"

#include <ctime>
#include <vector>

#include "common/text/local_clock.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "driver/run_state.h"

namespace talvex::tabmend {
namespace {

namespace fs = talvex::platform;

std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}

std::string Now() {
  const std::tm local = talvex::common::localNow();
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// Each line of a text that may hold CR LF, prefixed.
void AddTextLines(std::string& block, const char* word, const std::string& text) {
  size_t at = 0;
  while (at <= text.size()) {
    size_t end = text.find_first_of("\r\n", at);
    if (end == std::string::npos) end = text.size();
    if (end > at) block += std::string(word) + " " + text.substr(at, end - at) + "\r\n";
    at = end + 1;
    if (at < text.size() && text[at - 1] == '\r' && text[at] == '\n') ++at;
  }
}

}  // namespace

void BeginRunLog(const std::string& callName) {
  Lines().clear();
  Lines().push_back("call " + Now() + " " + callName);
  Lines().push_back("workstation " + fs::workstationName());
}

void NoteRunLogLine(const std::string& line) {
  // A copy whose count is a whole number of progress steps reports its end twice.
  if (Lines().empty() || Lines().back() != line) Lines().push_back(line);
}

std::string RunLogPath() { return Folders().work + "tabmend.log"; }

void AppendRunLog(int result) {
  if (Folders().work.empty() || Lines().empty()) return;
  std::string block;
  for (const std::string& line : Lines()) block += line + "\r\n";
  block += "result " + std::to_string(result) + "\r\n";
  if (result != 0) AddTextLines(block, "error", LastErrorText());
  for (const std::string& detail : CurrentRun().failureDetail) AddTextLines(block, "detail", detail);
  block += "end\r\n";
  Lines().clear();
  auto file = fs::File::open(RunLogPath(), fs::OpenMode::OpenOrCreate);
  uint64_t size = 0;
  if (!file || !file->size(&size)) return;
  file->writeAt(size, block.data(), block.size());
}

}  // namespace talvex::tabmend
