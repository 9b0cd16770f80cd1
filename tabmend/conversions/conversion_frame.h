// The frame every data migration shares: tables opened with their production
// index and a tag, field handles looked up once, live-record walks, row
// appends, and closing on every path.
//
// Contract: a ConversionTable owns its data file and index handles in the
// run's engine context and closes them (index, unlock, table) when it goes
// out of scope, clearing the context's error state, so a conversion that
// returns early or throws leaves nothing open. Field handles stay valid while
// the table is open. Text results are copies. A claim or line number that is
// not an integer throws ConversionValueError (a std::runtime_error) naming the
// field, and the walk over that field's table adds the table and record; the
// update reports it as an unexpected exception and keeps the text for its run
// log. A failed append or write is described through NoteFailureDetail.
// Single-threaded, like the update run.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

#include "c4dll.h"
#include "common/tableengine/table.h"

namespace talvex::tabmend::conversions {

// Clears the engine error state when a conversion starts and when it ends,
// on every path; declare it before the tables.
class ErrorStateScope {
 public:
  explicit ErrorStateScope(C4Context c);
  ~ErrorStateScope();
  ErrorStateScope(const ErrorStateScope&) = delete;
  ErrorStateScope& operator=(const ErrorStateScope&) = delete;

 private:
  C4Context context_;
};

// A stored value a conversion cannot read. located: what() already names the
// table and record.
class ConversionValueError : public std::runtime_error {
 public:
  ConversionValueError(const std::string& what, C4Field field, bool located)
      : std::runtime_error(what), field_(field), located_(located) {}
  C4Field field() const { return field_; }
  [[nodiscard]] bool located() const { return located_; }

 private:
  C4Field field_;
  bool located_;
};

class ConversionTable {
 public:
  // folder ends in "\" or "/" (one is added when missing); base without
  // extension. An empty tag leaves record order. ok() tells whether the
  // files opened, the tag exists and d4top gave 0 or end of file.
  ConversionTable(C4Context c, const std::string& folder, std::string_view base,
                  std::string_view tag);
  ConversionTable(const ConversionTable&) = delete;
  ConversionTable& operator=(const ConversionTable&) = delete;

  [[nodiscard]] bool ok() const { return ok_; }
  C4Table get() const { return table_.handle(); }
  C4Context context() const { return context_; }

  // The field, or 0 (error state cleared) when the table lacks it.
  C4Field field(std::string_view name) const;
  // d4top again; true for 0 or end of file.
  [[nodiscard]] bool top() const;
  bool empty() const { return empty_; }

  // Calls visit for every record not marked deleted, in the selected order,
  // from the top. visit returns false to stop the walk with false; a failed
  // skip also gives false.
  [[nodiscard]] bool forEachLive(const std::function<bool()>& visit);

  // d4appendBlank; true when a blank record is now current.
  [[nodiscard]] bool appendBlank() const;
  // Writes the current record now.
  [[nodiscard]] bool writeCurrent() const;
  [[nodiscard]] bool pack() const { return d4pack(get()) == 0; }
  [[nodiscard]] bool reindex() const { return d4reindex(get()) == 0; }

  // Visits every record the key reaches from d4seek on through d4seekNext
  // (deleted ones included; the callers decide), after positioning with
  // d4top. visit returns false to stop early.
  void forEachWithKey(const std::string& key, const std::function<bool()>& visit) const;

 private:
  // Calls visit; a value error about one of this table's fields gets the
  // table and the current record added.
  [[nodiscard]] bool visitLocated(const std::function<bool()>& visit) const;
  [[nodiscard]] bool failed(const char* what) const;

  C4Context context_;
  std::string path_;
  // Declared after nothing that uses it on the way out: its destructor closes
  // index, lock and table and clears the error state.
  talvex::common::Table table_;
  bool ok_ = false;
  bool empty_ = false;
};

// Trimmed of leading and trailing characters with codes up to 32.
std::string TrimControl(std::string_view text);
// A field's text trimmed; "" for a missing field (0).
std::string Text(C4Field f);
// The field's stored text, untrimmed; "" for 0.
std::string RawText(C4Field f);
// A memo's text (whole, by length); "" for 0. A memo the engine cannot read
// throws ConversionValueError with the engine's text.
std::string MemoText(C4Field f);
// The trimmed text as a whole integer; throws std::runtime_error otherwise.
long ParseInteger(std::string_view text, std::string_view what);
long IntegerField(C4Field f, std::string_view what);
// Counts and sequence numbers: a blank field reads as 0, anything else must
// be an integer.
long CountField(C4Field f, std::string_view what);
// Numeric value of a field, 0 for a missing field or blank.
double NumberField(C4Field f);

// The claim number right-aligned in 10 characters, as the row tags key it.
std::string ClaimKey(long claim);

// Field handles of the identifier row tables (bcrecid, bsrecid).
struct IdRowFields {
  C4Field claim = 0, type = 0, seqa = 0, seqb = 0, seqc = 0, id = 0, idtp = 0;
  [[nodiscard]] bool load(const ConversionTable& t);
};

enum class AppendResult { Written, AppendFailed, WriteFailed };

// Appends and writes one identifier row.
AppendResult AppendIdRow(const ConversionTable& t, const IdRowFields& f, long claim,
                         std::string_view type, long seqb, long seqc, std::string_view id,
                         std::string_view idtp);

// Marks deleted every live row whose trimmed ID_TYPE is one of codes, then
// positions at the top again.
[[nodiscard]] bool PurgeIdRows(ConversionTable& t, const IdRowFields& f,
                 std::initializer_list<std::string_view> codes);

}  // namespace talvex::tabmend::conversions
