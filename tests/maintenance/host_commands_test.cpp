// talvexhost's maintenance commands, run as the program with the library
// loaded by file: result line and token table on stdout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "maintenance_fixture.h"

namespace talvex::tabmend::testing {
namespace {

class HostCommandsTest : public MaintenanceTest {
 protected:
  void SetUp() override {
    MaintenanceTest::SetUp();
    Install(host::ReleaseNumber{1, 65, 0, 100});
  }
  std::string Host(const std::string& args, int* status) {
    return RunCommand(ProgramDir() + "/talvexhost " + args + " --registry " + root +
                          "/registry.reg 2>&1",
                      status);
  }
};

TEST_F(HostCommandsTest, PrintResultAndTokens) {
  const std::string tokens = "%PRODUCT%=Talvex Nova32\n%OPERATOR%=front desk\n";
  int status = 0;
  EXPECT_EQ(Host("reindex", &status), "result: 0\n" + tokens);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Host("revcodes backup", &status), "result: 0\n" + tokens);
  EXPECT_TRUE(std::filesystem::exists(nativeInstall + "/private/revupdmp.txt"));
  EXPECT_EQ(Host("revcodes restore", &status), "result: 0\n" + tokens);

  std::filesystem::remove(Data("payer.mdx"));
  EXPECT_EQ(Host("reindex", &status),
            "result: -1\n" + tokens +
                "%TABMEND_ERR%=Unable to locate index file: PAYER.MDX\r\nPerform a reindex of all "
                "database files in the File Maintenance module before attempting this update again.\n");
  EXPECT_NE(status, 0);
  Host("revcodes sideways", &status);
  EXPECT_NE(status, 0);
}

}  // namespace
}  // namespace talvex::tabmend::testing
