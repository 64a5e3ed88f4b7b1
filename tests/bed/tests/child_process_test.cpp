#include "bed/child_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace {

// The test executable doubles as the child program: run with BED_CHILD_MODE set, the
// ChildHelper test below acts out that mode instead of testing anything.
std::vector<std::string> HelperArgs() { return {"--gtest_filter=ChildHelper.Act"}; }

TEST(ChildHelper, Act) {
  const char* mode = std::getenv("BED_CHILD_MODE");
  if (!mode) GTEST_SKIP() << "only meaningful as a child of the other tests";
  std::string m = mode;
  if (m == "echo") {
    // Everything after the gtest filter, one argument per line, then the variable.
    const std::vector<std::string> args = testing::internal::GetArgvs();
    for (size_t i = 1; i < args.size(); ++i) std::printf("arg[%s]\n", args[i].c_str());
    std::printf("env[%s]\n", std::getenv("BED_EXTRA") ? std::getenv("BED_EXTRA") : "(unset)");
    std::fflush(stdout);
    std::exit(std::atoi(std::getenv("BED_EXIT") ? std::getenv("BED_EXIT") : "0"));
  }
  if (m == "sleep") {
    std::printf("sleeping\n");
    std::fflush(stdout);
    Sleep(INFINITE);
  }
  if (m == "log") {
    HANDLE source = RegisterEventSourceA(nullptr, "bed test");
    const char* text = std::getenv("BED_LOG_TEXT");
    ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, 0x40000002, nullptr, 1, 0, &text, nullptr);
    DeregisterEventSource(source);
    std::exit(0);
  }
  std::exit(99);
}

std::string SelfPath() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

TEST(ChildProcess, PassesArgumentsEnvironmentAndExitCode) {
  // Arguments that only survive when the command line is quoted correctly.
  const std::vector<std::string> tricky = {"plain", "two words", "quote\"inside", "trailing\\",
                                           "back\\\\slash \"q\"", "tab\there"};
  std::vector<std::string> args = HelperArgs();
  args.insert(args.end(), tricky.begin(), tricky.end());
  bed::ChildOptions options;
  options.captureOutput = true;
  options.environment = {{"BED_CHILD_MODE", "echo"}, {"BED_EXTRA", "x y=z"}, {"BED_EXIT", "7"}};
  bed::ChildProcess child(SelfPath(), args, options);
  EXPECT_NE(child.Pid(), 0u);
  EXPECT_EQ(child.WaitExitCode(20000), 7u);

  std::string expected = "arg[--gtest_filter=ChildHelper.Act]\n";
  for (const std::string& a : tricky) expected += "arg[" + a + "]\n";
  expected += "env[x y=z]\n";
  std::string output = child.Output();
  std::erase(output, '\r');  // the child's C runtime writes text-mode line ends
  EXPECT_NE(output.find(expected), std::string::npos) << output;
}

TEST(ChildProcess, RemovesAVariableGivenAnEmptyValue) {
  SetEnvironmentVariableA("BED_EXTRA", "inherited");
  bed::ChildOptions options;
  options.captureOutput = true;
  options.environment = {{"BED_CHILD_MODE", "echo"}, {"bed_extra", ""}};
  bed::ChildProcess child(SelfPath(), HelperArgs(), options);
  ASSERT_TRUE(child.Wait(20000));
  SetEnvironmentVariableA("BED_EXTRA", nullptr);
  EXPECT_NE(child.Output().find("env[(unset)]"), std::string::npos) << child.Output();
}

TEST(ChildProcess, KillEndsARunningChildWithTheGivenCode) {
  bed::ChildOptions options;
  options.captureOutput = true;
  options.environment = {{"BED_CHILD_MODE", "sleep"}};
  bed::ChildProcess child(SelfPath(), HelperArgs(), options);
  ASSERT_TRUE(child.WaitForOutput("sleeping", 20000)) << child.Output();
  EXPECT_TRUE(child.Running());
  EXPECT_FALSE(child.Wait(100));
  EXPECT_EQ(child.ExitCode(), static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_THROW(child.WaitExitCode(100), std::runtime_error);
  child.Kill(3);
  EXPECT_FALSE(child.Running());
  EXPECT_EQ(child.ExitCode(), 3u);
}

TEST(ChildProcess, FindsProgramsInTheBinFolderAndRejectsMissingOnes) {
  bed::ChildOptions options;
  options.captureOutput = true;
  bed::ChildProcess service("ombrix-service.exe", {"--help"}, options);
  EXPECT_EQ(service.WaitExitCode(20000), 0u);
  EXPECT_NE(service.Output().find("--stop-event"), std::string::npos) << service.Output();
  EXPECT_THROW(bed::ChildProcess("no-such-program.exe", {}), std::runtime_error);
}

}  // namespace
