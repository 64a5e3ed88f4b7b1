#include "config/visa_settings.h"

#include <gtest/gtest.h>

#include "config/suite_key.h"
#include "config/test_registry.h"

namespace {

using namespace test_registry;

constexpr const char* kSuiteKey = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion";
constexpr const char* kVisaInfo = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion\\VISAInfo";

class VisaSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSuiteTrees();
    config_testing::ForgetSuiteKeyPath();
    CreateKey(View::Bits64, kSuiteKey);
  }
};

TEST_F(VisaSettings, PresenceWithNeitherValueIsPrimaryAndIsStored) {
  EXPECT_EQ(GetVisaPresence(), 1);
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "OmbrixVisaPresent"), DwordValue(1));
}

TEST_F(VisaSettings, PresenceMovesTheLegacyValueToItsNewName) {
  SetDword(View::Bits64, kSuiteKey, "BWVisaPresent", 2);
  EXPECT_EQ(GetVisaPresence(), 2);
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "OmbrixVisaPresent"), DwordValue(2));
  EXPECT_FALSE(Read(View::Bits64, kSuiteKey, "BWVisaPresent"));
  EXPECT_EQ(GetVisaPresence(), 2);
}

TEST_F(VisaSettings, PresenceUnderTheNewNameWins) {
  SetDword(View::Bits64, kSuiteKey, "OmbrixVisaPresent", 0);
  SetDword(View::Bits64, kSuiteKey, "BWVisaPresent", 2);
  EXPECT_EQ(GetVisaPresence(), 0);
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "OmbrixVisaPresent"), DwordValue(0));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "BWVisaPresent"), DwordValue(2));
}

TEST_F(VisaSettings, PresenceWithoutSuiteKeyIsNoneAndWritesNothing) {
  DeleteSoftwareTree(View::Bits64, "Korvane");
  config_testing::ForgetSuiteKeyPath();
  EXPECT_EQ(GetVisaPresence(), 0);
  EXPECT_FALSE(KeyExists(View::Bits64, kSuiteKey));
}

TEST_F(VisaSettings, LoggingReadsItsThreeWordsInAnyCase) {
  const struct {
    const char* stored;
    int mode;
  } cases[] = {{"TRIL", 2}, {"tril", 2}, {"ODS", 1}, {"oDs", 1}, {"OFF", 0}, {"Debug", 0}, {"", 0}, {"TRIL2", 0}};
  for (const auto& c : cases) {
    SetText(View::Bits64, kVisaInfo, "Logging", c.stored);
    EXPECT_EQ(GetVisaLogging(), c.mode) << c.stored;
  }
  SetDword(View::Bits64, kVisaInfo, "Logging", 2);
  EXPECT_EQ(GetVisaLogging(), 0);
}

TEST_F(VisaSettings, LoggingModesAreStoredAsWords) {
  CreateKey(View::Bits64, kVisaInfo);
  const struct {
    int mode;
    const char* stored;
  } cases[] = {{1, "ODS"}, {2, "TRIL"}, {0, "OFF"}, {3, "OFF"}, {-1, "OFF"}};
  for (const auto& c : cases) {
    SetVisaLogging(c.mode);
    EXPECT_EQ(Read(View::Bits64, kVisaInfo, "Logging"), TextValue(c.stored)) << c.mode;
  }
}

TEST_F(VisaSettings, WritersNeverCreateVisaInfo) {
  SetVisaLogging(kVisaLoggingTril);
  SetDefaultLockWait(1);
  EXPECT_FALSE(KeyExists(View::Bits64, kVisaInfo));
  EXPECT_EQ(GetVisaLogging(), 0);
  EXPECT_EQ(GetDefaultLockWait(), 0);
}

TEST_F(VisaSettings, DefaultLockWaitIsADword) {
  CreateKey(View::Bits64, kVisaInfo);
  EXPECT_EQ(GetDefaultLockWait(), 0);
  SetDefaultLockWait(1);
  EXPECT_EQ(Read(View::Bits64, kVisaInfo, "DefaultLockWait"), DwordValue(1));
  EXPECT_EQ(GetDefaultLockWait(), 1);
  SetDefaultLockWait(0);
  EXPECT_EQ(Read(View::Bits64, kVisaInfo, "DefaultLockWait"), DwordValue(0));
  EXPECT_EQ(GetDefaultLockWait(), 0);
}

}  // namespace
