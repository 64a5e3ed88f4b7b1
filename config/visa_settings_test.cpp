#include "config/visa_settings.h"

#include <gtest/gtest.h>

#include <optional>

#include "config/suite_key.h"
#include "config/test_registry.h"

namespace {

using namespace test_registry;

constexpr const char* kSuiteKey = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion";
constexpr const char* kVisaInfo = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion\\VISAInfo";

class VisaSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTrees();
    config_testing::ForgetSuiteKeyPath();
    Set(View::Bits64, kSuiteKey);
  }
};

TEST_F(VisaSettings, PresenceMigratesTheLegacyValue) {
  const struct {
    const char* title;
    std::optional<DWORD> newValue;  // "OmbrixVisaPresent" before
    std::optional<DWORD> legacyValue;
    int expected;
    bool legacyKept;
  } cases[] = {
      {"neither value", {}, {}, 1, false},
      {"legacy 2", {}, 2, 2, false},
      {"new name wins", 0, 2, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    DeleteTrees();
    Set(View::Bits64, kSuiteKey);
    if (c.newValue) Set(View::Bits64, kSuiteKey, "OmbrixVisaPresent", REG_DWORD, Dword(*c.newValue));
    if (c.legacyValue) Set(View::Bits64, kSuiteKey, "BWVisaPresent", REG_DWORD, Dword(*c.legacyValue));
    EXPECT_EQ(GetVisaPresence(), c.expected);
    EXPECT_EQ(Read(View::Bits64, kSuiteKey, "OmbrixVisaPresent"),
              (StoredValue{REG_DWORD, Dword(static_cast<DWORD>(c.expected))}));
    EXPECT_EQ(Read(View::Bits64, kSuiteKey, "BWVisaPresent").has_value(), c.legacyKept);
  }
}

TEST_F(VisaSettings, LoggingWordsReadInAnyCaseAndAreStoredInCapitals) {
  const struct {
    const char* stored;
    int mode;
  } reads[] = {{"TRIL", 2}, {"tril", 2}, {"oDs", 1}, {"OFF", 0}, {"Debug", 0}, {"", 0}};
  for (const auto& c : reads) {
    Set(View::Bits64, kVisaInfo, "Logging", REG_SZ, Text(c.stored));
    EXPECT_EQ(GetVisaLogging(), c.mode) << c.stored;
  }
  const struct {
    int mode;
    const char* stored;
  } writes[] = {{1, "ODS"}, {2, "TRIL"}, {0, "OFF"}, {3, "OFF"}};
  for (const auto& c : writes) {
    SetVisaLogging(c.mode);
    EXPECT_EQ(Read(View::Bits64, kVisaInfo, "Logging"), (StoredValue{REG_SZ, Text(c.stored)})) << c.mode;
  }
}

TEST_F(VisaSettings, DefaultLockWaitIsADwordOfVisaInfo) {
  Set(View::Bits64, kVisaInfo);
  SetDefaultLockWait(1);
  EXPECT_EQ(Read(View::Bits64, kVisaInfo, "DefaultLockWait"), (StoredValue{REG_DWORD, Dword(1)}));
  EXPECT_EQ(GetDefaultLockWait(), 1);
  SetDefaultLockWait(0);
  EXPECT_EQ(GetDefaultLockWait(), 0);
}

TEST_F(VisaSettings, WithoutTheirKeysNothingIsReadOrCreated) {
  SetVisaLogging(kVisaLoggingTril);
  SetDefaultLockWait(1);
  EXPECT_FALSE(KeyExists(View::Bits64, kVisaInfo));
  EXPECT_EQ(GetVisaLogging(), 0);
  EXPECT_EQ(GetDefaultLockWait(), 0);
  DeleteTrees("Korvane");
  EXPECT_EQ(GetVisaPresence(), 0);
  EXPECT_FALSE(KeyExists(View::Bits64, kSuiteKey));
}

}  // namespace
