// The twelve data migrations and the pure text rules they share.
//
// Contract: every Convert routine runs in the update run's engine context
// (RunContext), opens and closes its own tables, and returns true on success;
// false when a table cannot be opened or positioned, a required field is
// missing, or a row or record cannot be written (the update then rolls back).
// A claim number that is not an integer throws std::runtime_error. Folders are
// host texts ending in "\". Single-threaded.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace talvex::tabmend::conversions {

// Identifier, name, paperwork, narrative and adjustment rows of the claims
// (old folder = backup + location, new folder = work + location).
bool Convert0107(const std::string& oldFolder, const std::string& newFolder);
bool Convert0115(const std::string& oldFolder, const std::string& newFolder);
bool Convert0116(const std::string& oldFolder, const std::string& newFolder);
bool Convert0117(const std::string& oldFolder, const std::string& newFolder);
bool Convert0167(const std::string& oldFolder, const std::string& newFolder);
bool Convert0169(const std::string& oldFolder, const std::string& newFolder);

// Payer authorisations, amounts and secondary-payer types.
bool Convert0168(const std::string& oldFolder, const std::string& newFolder);

// Single-table conversions; see conversion_dispatch.h for the folders each gets.
bool Convert0121(const std::string& dataFolder, const std::string& workFolder);
bool Convert0147(const std::string& workFolder, const std::string& base);
bool Convert0153(const std::string& oldFolder, const std::string& newFolder);
bool Convert0163(const std::string& workFolder, const std::string& unused);
bool Convert0165(const std::string& oldFolder, const std::string& newFolder);

// Six characters: a capital letter, then five digits, or a capital and four
// digits, or two capitals and three digits.
bool IsUpinForm(std::string_view text);
// Drops characters outside 32..126, then trims.
std::string CleanPieceText(std::string_view text);
// Splits a line narrative into rows of at most 80 characters (see the .cpp
// for how text past the fiftieth line is kept).
std::vector<std::string> SplitNarrativeLines(std::string_view text);
// Joins CR LF lines with a blank and blanks every other control character.
std::string CleanNarrativeText(std::string_view text);

}  // namespace talvex::tabmend::conversions
