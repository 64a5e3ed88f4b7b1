// quorvel.exe writes the installation report at start-up, without visaConfMgr.dll on the
// machine, and a second instance's "-q" rewrites it once the library is there.
#include <gmock/gmock.h>

#include "tests/bed/service_standin.h"
#include "base/results.h"
#include "config/testing/test_system_files.h"
#include "tests/system/quorvel_driver.h"

namespace {

using namespace quorvel_test;
using namespace test_files;

constexpr char kInfoFile[] = "C:\\ProgramData\\Korvane\\Korvane Ombrix\\Korvane Ombrix Information.txt";

using QuorvelReport = RegistryTest;

TEST_F(QuorvelReport, StartUpWritesItWithoutTheVisaLibraryAndQuietRewritesIt) {
  bed::ServiceStandIn service;
  IgnoreResult(CreateDirectoryA("C:\\ProgramData\\Korvane", nullptr));
  ASSERT_TRUE(CreateDirectoryA("C:\\ProgramData\\Korvane\\Korvane Ombrix", nullptr));
  const std::string library = SystemFolder(false) + "\\visaConfMgr.dll";
  IgnoreResult(DeleteFileA(library.c_str()));

  auto first = StartQuorvel();
  ASSERT_NE(WaitForMainWindow(first->Pid()), nullptr);
  ASSERT_EQ(LogLines(first->Pid(), 3)[1], kReportWritten);
  const std::string atStart = ReadFile(kInfoFile);
  EXPECT_NE(atStart.find("64-bit VISA information (0 installed):\r\n\r\n64-bit Ombrix Path:"), std::string::npos)
      << atStart;
  EXPECT_EQ(atStart.find('\0'), std::string::npos);

  ASSERT_TRUE(CopyFileA(bed::BinPath("visaconfmgr\\visaConfMgr.dll").c_str(), library.c_str(), FALSE));
  ASSERT_TRUE(DeleteFileA(kInfoFile));
  bed::ChildOptions options;
  options.environment = {{"VISACONFMGR_LIBRARIES", "Alpha|Beta"}};
  auto quiet = std::make_unique<bed::ChildProcess>("quorvel.exe", std::vector<std::string>{"-q"}, options);
  EXPECT_EQ(quiet->WaitExitCode(kWaitMs), 1u);
  const std::string rewritten = ReadFile(kInfoFile);
  EXPECT_NE(rewritten.find("64-bit VISA information (2 installed):\r\n   Alpha\r\n   Beta\r\n\r\n"), std::string::npos)
      << rewritten;
  EXPECT_THAT(LogLines(quiet->Pid()),
              ::testing::ElementsAre("Quorvel is starting", "(-q) Silently making sure the Quorvel is running.",
                                     kReportWritten));

  EXPECT_TRUE(ExitFirstInstance(*first));
}

}  // namespace
