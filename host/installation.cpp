#include "installation.h"

#include <filesystem>

#include "platform/ascii_text.h"
#include "common/locations/installation_locations.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "catalogue/version_gate.h"
#include "releases/clone_writer.h"
#include "releases/layouts.h"

namespace talvex::host {
namespace {

bool WriteRegistry(const InstallFolders& folders, std::string* error) {
  auto key = platform::RegistryKey::createCurrentUser(common::kRegistryKey);
  auto general = key ? key->createSubKey(common::kRegistrySubkey) : nullptr;
  if (!general || !general->writeString("ServerDirectory", folders.server) ||
      !general->writeString("InstallDirectory", folders.install) ||
      !general->writeString("DataDirectory", folders.data)) {
    *error = "cannot write the registry values";
    return false;
  }
  return true;
}

bool WriteConfiguration(const InstallFolders& folders,
                        const std::vector<releases::TableLayout>& tables, std::string* error) {
  std::vector<std::string> ini = {"[General]", "EnableIcd10CodeSupport=1", "", "[Claim]",
                                  "Master1500IcdVersionControlSettings=", "",
                                  "[Database Tables]"};
  for (const auto& table : tables) {
    ini.push_back(talvex::ascii::upper(table.base) + ".DBF=1");
  }
  const std::vector<std::string> roster = {
      "Max_Lines_Per_Roster_Billing=99",          "Auto_Generate_Patient_Control_Numbers=YES",
      "Save_Claims_With_Clean_Status=NO",         "Allow_Non_Medicare_Roster_Billing=NO",
      "Skip_Zero_Amount_Vaccine_Service_Lines=NO", "Skip_Zero_Amount_Admin_Service_Lines=NO",
      "Central_Flu_Biller_Default=NO",            "Needs_Central_Flu_Biller_Prompt=NO"};
  if (!platform::writeTextLines(folders.install + "TALVEX32.INI", ini) ||
      !platform::writeTextLines(folders.data + "BSRSTER.CTL", roster)) {
    *error = "cannot write TALVEX32.INI or BSRSTER.CTL";
    return false;
  }
  return true;
}

}  // namespace

std::string HostFolderText(const std::string& nativeFolder) {
  std::string text = nativeFolder;
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  if (text.empty() || text.back() != '\\') text += '\\';
  return text;
}

InstallFolders FoldersOf(const std::string& dir) {
  const std::string root = HostFolderText(std::filesystem::absolute(dir).lexically_normal().string());
  return {root + "server\\", root + "install\\", root + "data\\"};
}

int FirstUpdateOf(const ReleaseNumber& r) {
  auto gate = tabmend::LookUpVersionGate(tabmend::HostVersion{r.major, r.minor, r.release, r.build});
  if (!gate) return -1;
  return gate->runs ? gate->first : 0;
}

bool Install(const InstallOptions& options, std::FILE* out, std::string* error) {
  const int first = FirstUpdateOf(options.release);
  if (first < 0) {
    *error = "the updater does not accept this release";
    return false;
  }
  const InstallFolders folders = FoldersOf(options.dir);
  for (const std::string* folder : {&folders.server, &folders.install, &folders.data}) {
    if (!platform::createDirectoryPath(*folder)) {
      *error = "cannot create " + *folder;
      return false;
    }
  }
  if (!WriteRegistry(folders, error)) return false;

  const std::vector<releases::TableLayout> tables =
      first == 0 ? releases::TableSetAfter(releases::kNewestStep) : releases::ReleaseTableSet(first);
  if (!WriteConfiguration(folders, tables, error)) return false;
  if (!platform::writeWholeFile(folders.server + "TALVEX32.EXE", BuildProgramImage(options.release))) {
    *error = "cannot write TALVEX32.EXE";
    return false;
  }

  C4Context c = code4initP();
  if (c == 0) {
    *error = "the table engine cannot start";
    return false;
  }
  code4autoOpen(c, 0);
  bool ok = releases::WriteCloneFolders(c, folders.server, error) &&
            WriteSampleData(c, folders.data, tables, options.sample, error);
  code4initUndo(c);
  if (!ok) return false;

  if (!options.quiet) {
    std::fprintf(out, "installed release %u.%u.%u.%u below %s\n", options.release.major,
                 options.release.minor, options.release.release, options.release.build,
                 options.dir.c_str());
    std::fprintf(out, "  server   %s\n  install  %s\n  data     %s\n", folders.server.c_str(),
                 folders.install.c_str(), folders.data.c_str());
    std::fprintf(out, "  %zu tables, %d sample claims (seed %llu), registry %s\n", tables.size(),
                 options.sample.claims, static_cast<unsigned long long>(options.sample.seed),
                 platform::registryFilePath().c_str());
  }
  return true;
}

}  // namespace talvex::host
