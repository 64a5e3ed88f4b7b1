#include "config/startup_timeouts.h"

#include <gtest/gtest.h>

#include <string>

#include "config/suite_key.h"
#include "config/test_registry.h"

namespace {

using namespace test_registry;

constexpr const char* kSuiteKey = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion";
constexpr const char* kStartup = "QuorvelStartupTimeoutMilliseconds";
constexpr const char* kNko = "NkoStartupTimeoutMilliseconds";

class StartupTimeouts : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTrees();
    config_testing::ForgetSuiteKeyPath();
    Set(View::Bits64, kSuiteKey);
  }
};

TEST_F(StartupTimeouts, StartupTimeoutIsHonouredOnlyAsPositiveDecimalText) {
  const struct {
    const char* title;
    DWORD type;
    std::string bytes;
    int expected;
  } cases[] = {
      {"1000", REG_SZ, Text("1000"), 1000},
      {"0", REG_SZ, Text("0"), kDefaultStartupTimeoutMs},
      {"-5", REG_SZ, Text("-5"), kDefaultStartupTimeoutMs},
      {"empty", REG_SZ, Text(""), kDefaultStartupTimeoutMs},
      {"DWORD 1000", REG_DWORD, Dword(1000), kDefaultStartupTimeoutMs},
      {"DWORD whose bytes spell 77", REG_DWORD, Dword(0x3737), 77},
      {"255 characters", REG_SZ, Text(std::string(250, '0') + "12345"), 12345},
      {"over 255 characters", REG_SZ, Text(std::string(300, '1')), kDefaultStartupTimeoutMs},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    Set(View::Bits64, kSuiteKey, kStartup, c.type, c.bytes);
    EXPECT_EQ(GetStartupTimeoutMs(kDefaultStartupTimeoutMs), c.expected);
  }
}

TEST_F(StartupTimeouts, NkoTimeoutAcceptsTextDwordAndBinary) {
  const struct {
    DWORD type;
    std::string bytes;
    int expected;
  } cases[] = {{REG_DWORD, Dword(60000), 60000}, {REG_SZ, Text("60000"), 60000}, {REG_SZ, Text("True"), 0},
               {REG_BINARY, "\x7f", 127}};
  for (const auto& c : cases) {
    Set(View::Bits64, kSuiteKey, kNko, c.type, c.bytes);
    EXPECT_EQ(GetNkoStartupTimeoutMs(kDefaultNkoStartupTimeoutMs), c.expected) << c.type;
  }
}

// Runs the probe process in this prefix and returns what it stored.
std::string RunProbe() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string commandLine = self;
  commandLine = "\"" + commandLine.substr(0, commandLine.rfind('\\')) + "\\config_startup_timeouts_probe.exe\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return "not started: " + commandLine;
  }
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  const auto stored = Read(View::Bits64, kSuiteKey, "ProbeResult");
  return stored ? std::string(stored->bytes.c_str()) : "nothing stored";
}

TEST_F(StartupTimeouts, ProcessReadsBothBeforeItsEntryFunction) {
  EXPECT_EQ(RunProbe(), "240000 120000");
  Set(View::Bits64, kSuiteKey, kStartup, REG_SZ, Text("1000"));
  Set(View::Bits64, kSuiteKey, kNko, REG_DWORD, Dword(60000));
  EXPECT_EQ(RunProbe(), "1000 60000");
}

}  // namespace
