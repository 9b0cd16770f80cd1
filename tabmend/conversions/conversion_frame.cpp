#include "conversions/conversion_frame.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "platform/ascii_text.h"
#include "driver/run_state.h"

namespace talvex::tabmend::conversions {
namespace {

// Stored text fit for a message: control bytes shown as \xNN.
std::string ShowControl(std::string_view text) {
  std::string out;
  for (char ch : text) {
    const auto u = static_cast<unsigned char>(ch);
    if (u < 32 || u == 127) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", u);
      out += hex;
    } else {
      out += ch;
    }
  }
  return out;
}

}  // namespace

ErrorStateScope::ErrorStateScope(C4Context c) : context_(c) { code4errorCode(context_, 0); }
ErrorStateScope::~ErrorStateScope() { code4errorCode(context_, 0); }

ConversionTable::ConversionTable(C4Context c, const std::string& folder, std::string_view base,
                                 std::string_view tag)
    : context_(c) {
  std::string path = folder;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  path.append(base);
  path_ = path;
  table_ = talvex::common::Table(c, d4open(c, (path + ".dbf").c_str()));
  if (!table_ || !table_.openIndex(path + ".mdx")) return;
  if (!tag.empty()) {
    const C4Tag t = d4tag(get(), std::string(tag).c_str());
    if (t == 0 || d4tagSelectP(get(), t) != 0) return;
  }
  const int rc = d4top(get());
  empty_ = rc == r4eof;
  ok_ = rc == 0 || rc == r4eof;
}

C4Field ConversionTable::field(std::string_view name) const {
  const C4Field f = d4field(get(), std::string(name).c_str());
  if (f == 0) code4errorCode(context_, 0);
  return f;
}

bool ConversionTable::top() const {
  const int rc = d4top(get());
  return rc == 0 || rc == r4eof;
}

bool ConversionTable::appendBlank() const {
  return d4appendBlank(get()) == 0 || failed("append to");
}

bool ConversionTable::writeCurrent() const {
  return d4writeLow(get(), d4recNoLow(get()), 0, 1) == 0 || failed("record write of");
}

bool ConversionTable::failed(const char* what) const {
  NoteFailureDetail(std::string(what) + " " + path_ + ".dbf failed: " +
                    error4text(context_, code4errorCode(context_, 0)));
  return false;
}

bool ConversionTable::visitLocated(const std::function<bool()>& visit) const {
  try {
    return visit();
  } catch (const ConversionValueError& e) {
    if (e.located() || e.field() == 0) throw;
    const C4Field own = d4field(get(), f4name(e.field()));
    if (own != e.field()) {
      code4errorCode(context_, 0);
      throw;
    }
    throw ConversionValueError(
        path_ + ".dbf record " + std::to_string(d4recNoLow(get())) + ", " + e.what(),
        e.field(), true);
  }
}

bool ConversionTable::forEachLive(const std::function<bool()>& visit) {
  int rc = d4top(get());
  if (rc == r4eof) return true;
  if (rc != 0) return false;
  for (;;) {
    if (d4deleted(get()) == 0 && !visitLocated(visit)) return false;
    rc = d4skip(get(), 1);
    if (rc == r4eof) return true;
    if (rc != 0) return false;
  }
}

void ConversionTable::forEachWithKey(const std::string& key,
                                     const std::function<bool()>& visit) const {
  d4top(get());
  for (int rc = d4seek(get(), key.c_str()); rc == 0; rc = d4seekNext(get(), key.c_str())) {
    if (!visitLocated(visit)) return;
  }
}

std::string TrimControl(std::string_view text) {
  return std::string(talvex::ascii::trimControl(text));
}

std::string RawText(C4Field f) {
  if (f == 0) return {};
  const char* s = f4str(f);
  return s != nullptr ? std::string(s) : std::string();
}

std::string Text(C4Field f) { return TrimControl(RawText(f)); }

std::string MemoText(C4Field f) {
  if (f == 0) return {};
  const char* s = f4memoStr(f);
  if (s != nullptr && *s != '\0') return std::string(s, f4memoLen(f));
  // An empty text is also what a memo the engine cannot read gives: that
  // one must not pass for an empty memo.
  const C4Context c = RunContext();
  const int code = code4errorCode(c, 0);
  if (code == e4memo) {
    throw ConversionValueError(std::string("field ") + f4name(f) + ": " + error4text(c, code), f,
                               false);
  }
  code4errorCode(c, code);
  return s != nullptr ? std::string(s, f4memoLen(f)) : std::string();
}

long ParseInteger(std::string_view text, std::string_view what) {
  const std::string t = TrimControl(text);
  size_t i = 0;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
  bool digits = i < t.size();
  for (size_t k = i; k < t.size(); ++k) digits = digits && t[k] >= '0' && t[k] <= '9';
  if (!digits) {
    throw ConversionValueError(
        std::string(what) + " is not an integer: \"" + ShowControl(t) + "\"", 0, false);
  }
  errno = 0;
  const long value = std::strtol(t.c_str(), nullptr, 10);
  if (errno == ERANGE) {
    throw ConversionValueError(std::string(what) + " is out of range: " + ShowControl(t), 0,
                               false);
  }
  return value;
}

namespace {

// ParseInteger on a field's text; its failure names the field.
long FieldInteger(C4Field f, const std::string& text, std::string_view what) {
  try {
    return ParseInteger(text, what);
  } catch (const ConversionValueError& e) {
    throw ConversionValueError(std::string("field ") + (f != 0 ? f4name(f) : "?") + ": " +
                                   e.what(),
                               f, false);
  }
}

}  // namespace

long IntegerField(C4Field f, std::string_view what) {
  return FieldInteger(f, RawText(f), what);
}

long CountField(C4Field f, std::string_view what) {
  const std::string text = Text(f);
  return text.empty() ? 0 : FieldInteger(f, text, what);
}

double NumberField(C4Field f) {
  if (f == 0) return 0.0;
  double value = 0.0;
  if (f4double2(f, &value) != 0) return 0.0;
  return value;
}

std::string ClaimKey(long claim) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%10ld", claim);
  return buffer;
}

bool IdRowFields::load(const ConversionTable& t) {
  claim = t.field("ID_CLAIM");
  type = t.field("ID_TYPE");
  seqa = t.field("ID_SEQA");
  seqb = t.field("ID_SEQB");
  seqc = t.field("ID_SEQC");
  id = t.field("ID_ID");
  idtp = t.field("ID_IDTP");
  return claim && type && seqa && seqb && seqc && id && idtp;
}

AppendResult AppendIdRow(const ConversionTable& t, const IdRowFields& f, long claim,
                         std::string_view type, long seqb, long seqc, std::string_view id,
                         std::string_view idtp) {
  if (!t.appendBlank()) return AppendResult::AppendFailed;
  f4assignInt(f.claim, claim);
  f4assign(f.type, std::string(type).c_str());
  f4assignInt(f.seqa, 0);
  f4assignInt(f.seqb, seqb);
  f4assignInt(f.seqc, seqc);
  f4assign(f.id, std::string(id).c_str());
  f4assign(f.idtp, std::string(idtp).c_str());
  return t.writeCurrent() ? AppendResult::Written : AppendResult::WriteFailed;
}

bool PurgeIdRows(ConversionTable& t, const IdRowFields& f,
                 std::initializer_list<std::string_view> codes) {
  const bool walked = t.forEachLive([&] {
    const std::string type = Text(f.type);
    for (std::string_view code : codes) {
      if (type == code) return d4delete(t.get()) == 0;
    }
    return true;
  });
  return walked && t.top();
}

}  // namespace talvex::tabmend::conversions
