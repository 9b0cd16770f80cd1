#include "common/runlog/run_log_format.h"

#include "platform/local_clock.h"

#include <cctype>
#include <optional>
#include <string_view>

namespace talvex::common::runlog {
namespace {

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

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    at = end + 1;
  }
  return lines;
}

// The first word and the rest after one blank.
std::pair<std::string_view, std::string_view> Split(std::string_view line) {
  const size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return {line, {}};
  return {line.substr(0, blank), line.substr(blank + 1)};
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::optional<long long> Number(std::string_view text) {
  bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (!AllDigits(text) || text.size() > 12) return std::nullopt;
  long long value = 0;
  for (char c : text) value = value * 10 + (c - '0');
  return negative ? -value : value;
}

// "YYYY-MM-DD HH:MM:SS"
bool IsTimestamp(std::string_view text) {
  if (text.size() != 19) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool ok = i == 4 || i == 7 ? c == '-'
                    : i == 10        ? c == ' '
                    : i == 13 || i == 16 ? c == ':'
                                         : std::isdigit(static_cast<unsigned char>(c)) != 0;
    if (!ok) return false;
  }
  return true;
}

bool IsText(std::string_view line) {
  for (char c : line) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 && c != '\t') return false;
  }
  return true;
}

// Notes the call writes in its own words (table guard, update lock).
bool IsNote(std::string_view word) {
  return word == "waited" || word == "waiting" || word == "holding" || word == "not";
}

// One line of a block into `call`; false with `why` when it does not parse.
bool ReadLine(std::string_view line, LoggedCall& call, bool* sawResult, std::string* why) {
  const auto [word, rest] = Split(line);
  if (word == "workstation") {
    call.workstation = rest;
  } else if (word == "data") {
    call.data = rest;
  } else if (word == "version") {
    call.version = rest;
  } else if (word == "update") {
    const auto [number, outcome] = Split(rest);
    if (number.size() != 4 || !AllDigits(number) ||
        (outcome != "applied" && outcome != "not-needed" && outcome != "failed")) {
      *why = "an update line that does not read";
      return false;
    }
    call.updates.push_back({static_cast<int>(*Number(number)), std::string(outcome)});
  } else if (word == "table") {
    const auto [number, more] = Split(rest);
    const auto [base, tail] = Split(more);
    const auto [count, location] = Split(tail);
    const std::optional<long long> records = Number(count);
    if (number.size() != 4 || !AllDigits(number) || base.empty() || !records || *records < 0) {
      *why = "a table line that does not read";
      return false;
    }
    call.tables.push_back({static_cast<int>(*Number(number)), std::string(base), *records,
                           std::string(location)});
  } else if (word == "rollback") {
    if (rest.size() != 4 || !AllDigits(rest)) {
      *why = "a rollback line that does not read";
      return false;
    }
    call.rollbacks.push_back(static_cast<int>(*Number(rest)));
  } else if (word == "finished") {
    if (!IsTimestamp(rest)) {
      *why = "a finishing time that does not read";
      return false;
    }
    call.finished = rest;
  } else if (word == "result") {
    const std::optional<long long> result = Number(rest);
    if (!result || (*result != 0 && *result != -1)) {
      *why = "a result other than 0 or -1";
      return false;
    }
    call.result = static_cast<int>(*result);
    *sawResult = true;
  } else if (word == "error") {
    call.error.emplace_back(rest);
  } else if (word == "detail") {
    call.detail.emplace_back(rest);
  } else if (IsNote(word)) {
    call.notes.emplace_back(line);
  } else {
    *why = "an unknown line \"" + std::string(line.substr(0, 40)) + "\"";
    return false;
  }
  return true;
}

long long DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097LL + static_cast<long long>(doe) - 719468;
}

long long SecondsOf(const std::string& t) {
  auto n = [&](size_t at, size_t len) { return std::stoi(t.substr(at, len)); };
  return DaysFromCivil(n(0, 4), static_cast<unsigned>(n(5, 2)), static_cast<unsigned>(n(8, 2))) *
             86400 +
         n(11, 2) * 3600 + n(14, 2) * 60 + n(17, 2);
}

}  // namespace

std::string Timestamp(std::time_t when) {
  const std::tm local = platform::localTime(when);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string ComposeBlock(const std::vector<std::string>& noted, const std::string& finished,
                         int result, const std::string& error,
                         const std::vector<std::string>& detail) {
  std::string block;
  for (const std::string& line : noted) block += line + "\r\n";
  block += "finished " + finished + "\r\n";
  block += "result " + std::to_string(result) + "\r\n";
  if (result != 0) AddTextLines(block, "error", error);
  for (const std::string& line : detail) AddTextLines(block, "detail", line);
  block += "end\r\n";
  return block;
}

RunLogReading ReadRunLog(const std::string& text) {
  RunLogReading reading;
  const std::vector<std::string> lines = SplitLines(text);
  size_t i = 0;
  auto skip = [&](size_t first, std::string why) {
    // Up to the next line that starts a block.
    size_t last = first;
    while (last + 1 < lines.size() && lines[last + 1].rfind("call ", 0) != 0) ++last;
    reading.skipped.push_back({first + 1, last + 1, std::move(why)});
    i = last + 1;
  };
  while (i < lines.size()) {
    const std::string& line = lines[i];
    if (line.empty()) {
      ++i;
      continue;
    }
    const auto [word, rest] = Split(line);
    if (word != "call" || rest.size() < 21 || !IsTimestamp(rest.substr(0, 19)) ||
        rest[19] != ' ' || !IsText(line)) {
      skip(i, "not the start of a call");
      continue;
    }
    LoggedCall call;
    call.line = i + 1;
    call.started = rest.substr(0, 19);
    call.name = rest.substr(20);
    const size_t start = i;
    bool sawResult = false, ended = false;
    std::string why;
    for (++i; i < lines.size(); ++i) {
      const std::string& next = lines[i];
      if (next == "end") {
        ended = true;
        break;
      }
      if (next.rfind("call ", 0) == 0) break;
      if (!IsText(next)) {
        why = "bytes that are not text";
        break;
      }
      if (!ReadLine(next, call, &sawResult, &why)) break;
    }
    if (why.empty() && !ended) why = "cut short (no \"end\" line)";
    if (why.empty() && !sawResult) why = "no result line";
    if (!why.empty()) {
      skip(start, why);
      continue;
    }
    ++i;
    reading.calls.push_back(std::move(call));
  }
  if (reading.calls.empty() && !reading.skipped.empty()) reading.foreign = true;
  return reading;
}

std::vector<std::string> LastBlockLines(const std::string& text) {
  const std::vector<std::string> lines = SplitLines(text);
  for (size_t i = lines.size(); i > 0; --i) {
    if (lines[i - 1].rfind("call ", 0) != 0) continue;
    std::vector<std::string> block;
    for (size_t j = i - 1; j < lines.size(); ++j) {
      block.push_back(lines[j]);
      if (lines[j] == "end") return block;
    }
    return {};
  }
  return {};
}

long long DurationSeconds(const LoggedCall& call) {
  if (!IsTimestamp(call.started) || !IsTimestamp(call.finished)) return -1;
  const long long seconds = SecondsOf(call.finished) - SecondsOf(call.started);
  return seconds >= 0 ? seconds : -1;
}

}  // namespace talvex::common::runlog
