// RestructureSpec: the description of one numbered update, the values that
// drive the restructure procedure (probe, clone folder, form, tables,
// location basis, locate check, conversion).
//
// Contract: rows are constant data with static storage (catalogue.h); every
// pointer inside a row stays valid for the life of the process and may be
// read from any thread. Texts are plain ASCII, table base names lower case,
// field and tag names upper case.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>

namespace talvex::tabmend {

enum class RestructureForm {
  Single,        // the tables live in the data directory only
  AllLocations,  // every location of the list is processed; the probe looks at D only
  Flagged,       // the probe runs per location; only marked locations are changed
  AddMissing,    // no probe, no backup: copy the clone where the table is missing
};

enum class ProbeKind {
  None,                    // add-missing form
  FieldAbsent,             // needed when the table has no field `name`
  FieldPresent,            // needed when the field exists
  WidthBelow,              // needed when the field exists and its width < operand
  WidthAtMost,             // needed when the field exists and its width <= operand
  DecimalsBelow,           // needed when the field exists and its decimals < operand
  PresentWithoutDecimals,  // needed when the field exists with 0 decimals
  TagAbsent,               // needed when the production index lacks tag `name`
};

struct Probe {
  ProbeKind kind;
  const char* name;  // field or tag name; "" for None
  int operand;       // width or decimals; 0 when unused
};

// What a probe found in the probed table. `indexHasTag` matters only to
// TagAbsent and is false when the index could not be opened.
struct ProbeFindings {
  bool tableOpened = false;
  bool fieldExists = false;
  int fieldWidth = 0;
  int fieldDecimals = 0;
  bool indexHasTag = false;
};

// The decision of the probe from its findings. A table that could not be
// opened always needs the update (it then fails at its backup copy). The
// width and decimal kinds answer "not needed" for a table lacking the field:
// a table of an unexpected layout is left untouched rather than rebuilt.
[[nodiscard]] bool ProbeNeedsUpdate(const Probe& probe, const ProbeFindings& found);

// Which folders the update's conversion receives (the routine itself is found
// by update number in tabmend/conversions).
enum class ConversionInput {
  None,
  BackupAndWork,    // flagged form: old = B + location, new = U + location
  DataAndWork,      // 0121: old table still in D, new table in U
  WorkAndBaseName,  // 0147: U and the base name it rewrites
  WorkOnly,         // 0163: U alone
};

struct UpdatedTable {
  const char* base;  // lower case base name, e.g. "bcprov"
  bool memo;         // single form: the file set includes ".dbt"
};

inline constexpr std::size_t kMaxUpdatedTables = 5;

struct RestructureSpec {
  int number;               // e.g. 92
  const char* cloneFolder;  // "updt" + four digits, e.g. "updt0036"
  RestructureForm form;
  std::array<UpdatedTable, kMaxUpdatedTables> tableSlots;  // first tableCount used
  std::size_t tableCount;
  const char* locationBasis;  // ".dbf" name of the location forms; "" in single form
  Probe probe;                // applied to the first table
  bool locateCheck;
  ConversionInput conversion;
  const char* conversionSummary;  // what the conversion fills; "" without one

  std::span<const UpdatedTable> tables() const { return {tableSlots.data(), tableCount}; }
  const UpdatedTable& probedTable() const { return tableSlots[0]; }
  bool hasConversion() const { return conversion != ConversionInput::None; }
  [[nodiscard]] bool usesLocations() const { return form != RestructureForm::Single; }
  // Four digits: "0092".
  std::string numberText() const;
  // "Update" + four digits + "- ", the start of every message of the update.
  std::string messagePrefix() const;
};

}  // namespace talvex::tabmend
