#include "config/suite_key.h"

#include <gtest/gtest.h>

#include <string>

#include "config/install_paths.h"
#include "config/test_registry.h"

namespace {

using namespace test_registry;

constexpr const char* kNamesKey = "SOFTWARE\\Korvane\\Ombrix";
constexpr const char* kLegacyKey = "SOFTWARE\\Brannock-Wexley\\TRIL";

class SuiteKey : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSuiteTrees();
    config_testing::ForgetSuiteKeyPath();
  }
};

struct LocationCase {
  const char* title;
  bool legacyKey;
  const char* mfgName;  // null: value absent
  const char* keyName;
  const char* expectedPath;
  bool expectWriteBack;
};

TEST_F(SuiteKey, LocatesNamesAndWritesBackChosenPair) {
  const LocationCase cases[] = {
      {"nothing installed", false, nullptr, nullptr, "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion", true},
      {"legacy key only", true, nullptr, nullptr, "SOFTWARE\\Brannock-Wexley\\TRIL\\CurrentVersion", true},
      {"KeyName empty", false, "Acme", "", "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion", true},
      {"MfgName missing, legacy key", true, nullptr, "Tool", "SOFTWARE\\Brannock-Wexley\\TRIL\\CurrentVersion", true},
      {"both names, legacy key too", true, "Acme", "Tool", "SOFTWARE\\Acme\\Tool\\CurrentVersion", false},
      {"both names", false, "Acme", "Tool", "SOFTWARE\\Acme\\Tool\\CurrentVersion", false},
  };
  for (const LocationCase& c : cases) {
    SCOPED_TRACE(c.title);
    DeleteSuiteTrees();
    config_testing::ForgetSuiteKeyPath();
    if (c.legacyKey) CreateKey(View::Bits64, kLegacyKey);
    if (c.mfgName != nullptr) SetText(View::Bits64, kNamesKey, "MfgName", c.mfgName);
    if (c.keyName != nullptr) SetText(View::Bits64, kNamesKey, "KeyName", c.keyName);

    EXPECT_STREQ(GetSuiteKeyPath(), c.expectedPath);

    const std::string path = c.expectedPath;
    const std::string mfg = path.substr(9, path.find('\\', 9) - 9);
    const std::string key = path.substr(10 + mfg.size(), path.rfind('\\') - 10 - mfg.size());
    EXPECT_EQ(Read(View::Bits64, kNamesKey, "MfgName"), TextValue(mfg));
    EXPECT_EQ(Read(View::Bits64, kNamesKey, "KeyName"), TextValue(key));
    if (c.expectWriteBack) {
      // Written in the 64-bit view only.
      EXPECT_FALSE(Read(View::Bits32, kNamesKey, "MfgName"));
    }
  }
}

TEST_F(SuiteKey, LocateSuiteNamesFillsBothBuffersAndAcceptsAbsentOnes) {
  SetText(View::Bits64, kNamesKey, "MfgName", "Acme");
  SetText(View::Bits64, kNamesKey, "KeyName", "Tool");
  char mfg[kSuiteTextSize] = "x";
  char key[kSuiteTextSize] = "x";
  EXPECT_EQ(LocateSuiteNames(mfg, key), ERROR_SUCCESS);
  EXPECT_STREQ(mfg, "Acme");
  EXPECT_STREQ(key, "Tool");
  char onlyKey[kSuiteTextSize] = "x";
  LocateSuiteNames(nullptr, onlyKey);
  EXPECT_STREQ(onlyKey, "Tool");
}

TEST_F(SuiteKey, PathIsDeterminedOnceAndNotRefreshed) {
  ASSERT_STREQ(GetSuiteKeyPath(), "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion");
  SetText(View::Bits64, kNamesKey, "MfgName", "Acme");
  SetText(View::Bits64, kNamesKey, "KeyName", "Tool");
  EXPECT_STREQ(GetSuiteKeyPath(), "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion");
}

TEST_F(SuiteKey, NamesTooLongForThePathGiveTheDefaultKey) {
  const std::string longName(1000, 'm');
  SetText(View::Bits64, kNamesKey, "MfgName", longName);
  SetText(View::Bits64, kNamesKey, "KeyName", "Tool");
  EXPECT_STREQ(GetSuiteKeyPath(), "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion");
  // The names themselves are in force and are not overwritten.
  EXPECT_EQ(Read(View::Bits64, kNamesKey, "MfgName"), TextValue(longName));
}

}  // namespace
