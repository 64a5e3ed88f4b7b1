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

std::string Text(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

class StartupTimeouts : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSuiteTrees();
    config_testing::ForgetSuiteKeyPath();
    CreateKey(View::Bits64, kSuiteKey);
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
      {"leading blanks", REG_SZ, Text(" 5000ms"), 5000},
      {"0", REG_SZ, Text("0"), kDefaultStartupTimeoutMs},
      {"-5", REG_SZ, Text("-5"), kDefaultStartupTimeoutMs},
      {"empty", REG_SZ, Text(""), kDefaultStartupTimeoutMs},
      {"words", REG_SZ, Text("True"), kDefaultStartupTimeoutMs},
      {"DWORD 1000", REG_DWORD, Dword(1000), kDefaultStartupTimeoutMs},
      // A DWORD whose bytes spell "77" followed by zeros is read as text.
      {"DWORD spelling digits", REG_DWORD, Dword(0x3737), 77},
      {"255 digits", REG_SZ, Text(std::string(250, '0') + "12345"), 12345},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    SetRaw(View::Bits64, kSuiteKey, kStartup, c.type, c.bytes);
    EXPECT_EQ(GetStartupTimeoutMs(kDefaultStartupTimeoutMs), c.expected);
  }
}

TEST_F(StartupTimeouts, StartupTimeoutDefaultsWhenMissingOrTooLong) {
  EXPECT_EQ(GetStartupTimeoutMs(240000), 240000);
  EXPECT_EQ(GetStartupTimeoutMs(1234), 1234);
  SetText(View::Bits64, kSuiteKey, kStartup, std::string(300, '1'));
  EXPECT_EQ(GetStartupTimeoutMs(240000), 240000);
  DeleteSoftwareTree(View::Bits64, "Korvane");
  EXPECT_EQ(GetStartupTimeoutMs(240000), 240000);
}

TEST_F(StartupTimeouts, NkoTimeoutAcceptsTextDwordAndBinary) {
  const struct {
    const char* title;
    DWORD type;
    std::string bytes;
    int expected;
  } cases[] = {
      {"DWORD 60000", REG_DWORD, Dword(60000), 60000},
      {"text 60000", REG_SZ, Text("60000"), 60000},
      {"True", REG_SZ, Text("True"), 0},
      {"binary", REG_BINARY, std::string(1, '\x7f'), 127},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    SetRaw(View::Bits64, kSuiteKey, kNko, c.type, c.bytes);
    EXPECT_EQ(GetNkoStartupTimeoutMs(kDefaultNkoStartupTimeoutMs), c.expected);
  }
}

// Runs the probe, which prints the two time-outs its process read before main.
std::string RunProbe(const char* argument) {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string commandLine = self;
  commandLine = "\"" + commandLine.substr(0, commandLine.rfind('\\')) + "\\config_startup_timeouts_probe.exe\" " + argument;

  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  EXPECT_TRUE(CreatePipe(&readEnd, &writeEnd, &inherit, 0));
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  const BOOL started =
      CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
  CloseHandle(writeEnd);
  std::string output;
  if (started) {
    char chunk[256];
    DWORD got = 0;
    while (ReadFile(readEnd, chunk, sizeof chunk, &got, nullptr) && got > 0) output.append(chunk, got);
    WaitForSingleObject(process.hProcess, 30000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(readEnd);
  EXPECT_TRUE(started) << commandLine;
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

TEST_F(StartupTimeouts, ProcessReadsBothBeforeItsEntryFunction) {
  EXPECT_EQ(RunProbe(""), "240000 120000");
  SetText(View::Bits64, kSuiteKey, kStartup, "1000");
  SetDword(View::Bits64, kSuiteKey, kNko, 60000);
  // The probe overwrites both values in main; what it prints was read before.
  EXPECT_EQ(RunProbe("--change-first"), "1000 60000");
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, kStartup), TextValue("4321"));
}

}  // namespace
