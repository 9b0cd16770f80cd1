#include "conversions/conversion_dispatch.h"

#include <iterator>

namespace talvex::tabmend {
namespace {

std::string g_unavailable;

// The migrations arrive separately; until then each one refuses instead of
// letting new tables with unconverted columns replace the old ones.
template <int Number>
bool NotYetAvailable(const std::string&, const std::string&) {
  g_unavailable = "conversion of update " + std::to_string(Number) + " is not yet available";
  return false;
}

constexpr ConversionEntry kConversions[] = {
    {107, ConversionFolders::BackupAndWorkLocation, &NotYetAvailable<107>},
    {115, ConversionFolders::BackupAndWorkLocation, &NotYetAvailable<115>},
    {116, ConversionFolders::BackupAndWorkLocation, &NotYetAvailable<116>},
    {117, ConversionFolders::BackupAndWorkLocation, &NotYetAvailable<117>},
    {121, ConversionFolders::DataAndWork, &NotYetAvailable<121>},
    {147, ConversionFolders::WorkAndBaseName, &NotYetAvailable<147>},
    {153, ConversionFolders::BackupAndWorkLocation, &NotYetAvailable<153>},
    {163, ConversionFolders::WorkOnly, &NotYetAvailable<163>},
    {165, ConversionFolders::BackupAndWorkLocation, &NotYetAvailable<165>},
    {167, ConversionFolders::BackupAndWorkLocation, &NotYetAvailable<167>},
    {168, ConversionFolders::BackupAndWorkLocation, &NotYetAvailable<168>},
    {169, ConversionFolders::BackupAndWorkLocation, &NotYetAvailable<169>},
};

}  // namespace

const ConversionEntry* FindConversion(int number) {
  for (const auto& entry : kConversions) {
    if (entry.number == number) return &entry;
  }
  return nullptr;
}

const std::string& ConversionUnavailableReason() { return g_unavailable; }

}  // namespace talvex::tabmend
