// Where the suite's configuration lives: the suite key's location and the installation
// paths, against the real registry of the test's own prefix.
#include <string>

#include "config/install_paths.h"
#include "config/suite_key.h"
#include "config/testing/test_registry.h"
#include "config/testing/seams.h"

namespace {

using namespace test_registry;

constexpr const char* kNamesKey = "SOFTWARE\\Korvane\\Ombrix";

using SuiteKey = RegistryTest;

TEST_F(SuiteKey, LocatesNamesAndWritesBackAChosenPairButReadingWritesNothing) {
  // A null name means the value is absent.
  const struct {
    const char* title;
    bool legacyKey;
    const char *mfgName, *keyName, *mfgInForce, *keyInForce;
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

    // Reading alone (as the installer does) finds the same pair and writes nothing back.
    const SuiteNames read = ReadSuiteNames(KEY_READ);
    EXPECT_STREQ(read.mfgName, c.mfgInForce);
    EXPECT_STREQ(read.keyName, c.keyInForce);
    EXPECT_EQ(KeyExists(View::Bits64, kNamesKey), c.mfgName != nullptr || c.keyName != nullptr);

    EXPECT_EQ(std::string(GetSuiteKeyPath()),
              std::string("SOFTWARE\\") + c.mfgInForce + "\\" + c.keyInForce + "\\CurrentVersion");
    EXPECT_EQ(Read(View::Bits64, kNamesKey, "MfgName"), Sz(c.mfgInForce));
    EXPECT_EQ(Read(View::Bits64, kNamesKey, "KeyName"), Sz(c.keyInForce));
    EXPECT_FALSE(KeyExists(View::Bits32, kNamesKey));
    // Determined once: later names are not seen.
    Set(View::Bits64, kNamesKey, "MfgName", REG_SZ, Text("Later"));
    EXPECT_EQ(std::string(GetSuiteKeyPath()).find("Later"), std::string::npos);
  }
}

TEST_F(SuiteKey, NamesTooLongForThePathGiveTheDefaultKeyAndStayStored) {
  UseSuiteNames(1000);
  EXPECT_STREQ(GetSuiteKeyPath(), kSuiteKey);
  EXPECT_EQ(Read(View::Bits64, kNamesKey, "MfgName"), Sz(std::string(1000, 'm')));
}


using InstallPaths = RegistryTest;

TEST_F(InstallPaths, EachReaderUsesItsOwnViewAndValueWithTheCurrentDirectoryAsFallback) {
  const struct {
    const char* (*reader)();
    View view;
    const char *key, *name, *value;
  } readers[] = {
      {GetBaseDir, View::Bits64, kSuiteKey, "BaseDir", "C:\\Suite64"},
      {GetBaseDir32, View::Bits32, kSuiteKey, "BaseDir", "C:\\Suite32"},
      {GetLongBaseDir, View::Bits64, kSuiteKey, "LongBaseDir", "C:\\Suite 64 Long"},
      {GetVxipnpPath, View::Bits64, kVxipnpKey, "VXIPNPPATH", "C:\\VXI64"},
      {GetVxipnpPath32, View::Bits32, kVxipnpKey, "VXIPNPPATH", "C:\\VXI32"},
      {GetLongVxipnpPath, View::Bits64, kVxipnpKey, "LongVXIPNPPATH", "C:\\VXI 64 Long"},
      {GetIviRootDir, View::Bits64, kIviKey, "IviStandardRootDir", "C:\\IVI64"},
      {GetIviRootDir32, View::Bits32, kIviKey, "IviStandardRootDir", "C:\\IVI32"},
  };
  for (const auto& r : readers) EXPECT_STREQ(r.reader(), ".") << r.value;
  config_testing::ForgetInstallPaths();
  for (const auto& r : readers) Set(r.view, r.key, r.name, REG_SZ, Text(r.value));
  for (const auto& r : readers) EXPECT_STREQ(r.reader(), r.value);
}

TEST_F(InstallPaths, LongFormFallsBackToThePlainFormWhenOnlyTheValueIsMissing) {
  Set(View::Bits64, kSuiteKey, "BaseDir", REG_SZ, Text("C:\\SUITE~1"));
  Set(View::Bits64, kVxipnpKey, "VXIPNPPATH", REG_SZ, Text("C:\\VXIPNP~1"));
  EXPECT_STREQ(GetLongBaseDir(), "C:\\SUITE~1");
  EXPECT_STREQ(GetLongVxipnpPath(), "C:\\VXIPNP~1");
}

TEST_F(InstallPaths, ReadOnceFromTheLocatedSuiteKey) {
  Set(View::Bits64, "SOFTWARE\\Brannock-Wexley\\TRIL\\CurrentVersion", "BaseDir", REG_SZ, Text("C:\\Legacy"));
  EXPECT_STREQ(GetBaseDir(), "C:\\Legacy");
  Set(View::Bits64, "SOFTWARE\\Brannock-Wexley\\TRIL\\CurrentVersion", "BaseDir", REG_SZ, Text("C:\\Later"));
  EXPECT_STREQ(GetBaseDir(), "C:\\Legacy");
}

TEST_F(InstallPaths, SuiteVersionTextIsRetriedUntilItsKeyExistsThenKept) {
  constexpr const char* kVersionKey = "SOFTWARE\\Korvane\\Ombrix Suite\\CurrentVersion";
  EXPECT_STREQ(GetSuiteVersionText(), "");
  Set(View::Bits64, kVersionKey, "CurrentVersion", REG_SZ, Text("15.5"));
  EXPECT_STREQ(GetSuiteVersionText(), "15.5 ");
  Set(View::Bits64, kVersionKey, "CustomBuild", REG_SZ, Text("B7"));
  EXPECT_STREQ(GetSuiteVersionText(), "15.5 ");
  config_testing::ForgetInstallPaths();
  EXPECT_STREQ(GetSuiteVersionText(), "15.5 B7");
}

}  // namespace
