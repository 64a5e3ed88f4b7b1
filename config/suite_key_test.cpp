#include "config/suite_key.h"

#include <gtest/gtest.h>

#include <string>

#include "config/test_registry.h"

namespace {

using namespace test_registry;

constexpr const char* kNamesKey = "SOFTWARE\\Korvane\\Ombrix";

TEST(SuiteKey, LocatesNamesAndWritesBackAChosenPair) {
  const struct {
    const char* title;
    bool legacyKey;
    const char* mfgName;  // null: value absent
    const char* keyName;
    const char* mfgInForce;
    const char* keyInForce;
  } cases[] = {
      {"nothing installed", false, nullptr, nullptr, "Korvane", "Ombrix"},
      {"legacy key only", true, nullptr, nullptr, "Brannock-Wexley", "TRIL"},
      {"KeyName empty", false, "Acme", "", "Korvane", "Ombrix"},
      {"MfgName missing, legacy key", true, nullptr, "Tool", "Brannock-Wexley", "TRIL"},
      {"both names, legacy key too", true, "Acme", "Tool", "Acme", "Tool"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    DeleteTrees();
    config_testing::ForgetSuiteKeyPath();
    if (c.legacyKey) Set(View::Bits64, "SOFTWARE\\Brannock-Wexley\\TRIL");
    if (c.mfgName != nullptr) Set(View::Bits64, kNamesKey, "MfgName", REG_SZ, Text(c.mfgName));
    if (c.keyName != nullptr) Set(View::Bits64, kNamesKey, "KeyName", REG_SZ, Text(c.keyName));

    EXPECT_EQ(std::string(GetSuiteKeyPath()),
              std::string("SOFTWARE\\") + c.mfgInForce + "\\" + c.keyInForce + "\\CurrentVersion");
    EXPECT_EQ(Read(View::Bits64, kNamesKey, "MfgName"), (StoredValue{REG_SZ, Text(c.mfgInForce)}));
    EXPECT_EQ(Read(View::Bits64, kNamesKey, "KeyName"), (StoredValue{REG_SZ, Text(c.keyInForce)}));
    EXPECT_FALSE(KeyExists(View::Bits32, kNamesKey));
  }
}

TEST(SuiteKey, PathIsDeterminedOnceAndNotRefreshed) {
  DeleteTrees();
  config_testing::ForgetSuiteKeyPath();
  ASSERT_STREQ(GetSuiteKeyPath(), "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion");
  Set(View::Bits64, kNamesKey, "MfgName", REG_SZ, Text("Acme"));
  Set(View::Bits64, kNamesKey, "KeyName", REG_SZ, Text("Tool"));
  EXPECT_STREQ(GetSuiteKeyPath(), "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion");
}

TEST(SuiteKey, NamesTooLongForThePathGiveTheDefaultKeyAndStayStored) {
  DeleteTrees();
  config_testing::ForgetSuiteKeyPath();
  const std::string longName(1000, 'm');
  Set(View::Bits64, kNamesKey, "MfgName", REG_SZ, Text(longName));
  Set(View::Bits64, kNamesKey, "KeyName", REG_SZ, Text("Tool"));
  EXPECT_STREQ(GetSuiteKeyPath(), "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion");
  EXPECT_EQ(Read(View::Bits64, kNamesKey, "MfgName"), (StoredValue{REG_SZ, Text(longName)}));
}

}  // namespace
