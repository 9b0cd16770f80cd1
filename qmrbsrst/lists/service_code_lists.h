// The service code lists built into the library, one per roster type, and the
// roster setting that may replace each.
//
// Every entry is a constant text "CODE - SHORT DESCRIPTION" that lives as long
// as the library. Pure data; safe from any thread.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "qmrbsrst/settings/roster_settings.h"

namespace talvex::qmrbsrst {

struct ServiceCodeList {
  std::span<const char* const> entries;           // empty for an unknown type
  // The setting that may replace the list; nullptr for types without one.
  const std::string RosterSettings::*overrideSetting = nullptr;
};

// The list of a roster type, matched exactly ("I", "P", "H", "T", "M", "D",
// "B", "C", "A", "E", "R", "V"); any other text, empty or longer, has none.
ServiceCodeList ServiceCodeListFor(std::string_view rosterType);

std::span<const char* const> InfluenzaServiceCodes();
std::span<const char* const> PneumoniaServiceCodes();
std::span<const char* const> HepatitisServiceCodes();
std::span<const char* const> Covid19ServiceCodes();

}  // namespace talvex::qmrbsrst
