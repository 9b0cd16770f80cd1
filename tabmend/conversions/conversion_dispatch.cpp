#include "conversions/conversion_dispatch.h"

#include "conversions/conversions.h"

namespace talvex::tabmend {
namespace {

namespace cv = conversions;

constexpr ConversionEntry kConversions[] = {
    {107, ConversionFolders::BackupAndWorkLocation, &cv::Convert0107},
    {115, ConversionFolders::BackupAndWorkLocation, &cv::Convert0115},
    {116, ConversionFolders::BackupAndWorkLocation, &cv::Convert0116},
    {117, ConversionFolders::BackupAndWorkLocation, &cv::Convert0117},
    {121, ConversionFolders::DataAndWork, &cv::Convert0121},
    {147, ConversionFolders::WorkAndBaseName, &cv::Convert0147},
    {153, ConversionFolders::BackupAndWorkLocation, &cv::Convert0153},
    {163, ConversionFolders::WorkOnly, &cv::Convert0163},
    {165, ConversionFolders::BackupAndWorkLocation, &cv::Convert0165},
    {167, ConversionFolders::BackupAndWorkLocation, &cv::Convert0167},
    {168, ConversionFolders::BackupAndWorkLocation, &cv::Convert0168},
    {169, ConversionFolders::BackupAndWorkLocation, &cv::Convert0169},
};

}  // namespace

const ConversionEntry* FindConversion(int number) {
  for (const auto& entry : kConversions) {
    if (entry.number == number) return &entry;
  }
  return nullptr;
}

const std::string& ConversionUnavailableReason() {
  static const std::string none;
  return none;
}

}  // namespace talvex::tabmend
