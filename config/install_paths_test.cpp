#include "config/install_paths.h"

#include <gtest/gtest.h>

#include <string>

#include "config/suite_key.h"
#include "config/test_registry.h"

namespace {

using namespace test_registry;

constexpr const char* kSuiteKey = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion";
constexpr const char* kVxipnpKey = "SOFTWARE\\VXIPNP_Alliance\\VXIPNP\\CurrentVersion";
constexpr const char* kIviKey = "SOFTWARE\\IVI";
constexpr const char* kVersionKey = "SOFTWARE\\Korvane\\Ombrix Suite\\CurrentVersion";

class InstallPaths : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTrees();
    config_testing::ForgetSuiteKeyPath();
    config_testing::ForgetInstallPaths();
  }
  static void SetText(View view, const char* path, const char* name, const std::string& text) {
    Set(view, path, name, REG_SZ, Text(text));
  }
};

TEST_F(InstallPaths, NothingInstalledGivesTheCurrentDirectory) {
  for (const char* path : {GetBaseDir(), GetBaseDir32(), GetLongBaseDir(), GetVxipnpPath(), GetVxipnpPath32(),
                           GetLongVxipnpPath(), GetIviRootDir(), GetIviRootDir32()}) {
    EXPECT_STREQ(path, ".");
  }
}

TEST_F(InstallPaths, EachReaderUsesItsOwnViewAndValue) {
  SetText(View::Bits64, kSuiteKey, "BaseDir", "C:\\Suite64");
  SetText(View::Bits64, kSuiteKey, "LongBaseDir", "C:\\Suite 64 Long");
  SetText(View::Bits32, kSuiteKey, "BaseDir", "C:\\Suite32");
  SetText(View::Bits64, kVxipnpKey, "VXIPNPPATH", "C:\\VXI64");
  SetText(View::Bits64, kVxipnpKey, "LongVXIPNPPATH", "C:\\VXI 64 Long");
  SetText(View::Bits32, kVxipnpKey, "VXIPNPPATH", "C:\\VXI32");
  SetText(View::Bits64, kIviKey, "IviStandardRootDir", "C:\\IVI64");
  SetText(View::Bits32, kIviKey, "IviStandardRootDir", "C:\\IVI32");
  EXPECT_STREQ(GetBaseDir(), "C:\\Suite64");
  EXPECT_STREQ(GetBaseDir32(), "C:\\Suite32");
  EXPECT_STREQ(GetLongBaseDir(), "C:\\Suite 64 Long");
  EXPECT_STREQ(GetVxipnpPath(), "C:\\VXI64");
  EXPECT_STREQ(GetVxipnpPath32(), "C:\\VXI32");
  EXPECT_STREQ(GetLongVxipnpPath(), "C:\\VXI 64 Long");
  EXPECT_STREQ(GetIviRootDir(), "C:\\IVI64");
  EXPECT_STREQ(GetIviRootDir32(), "C:\\IVI32");
}

TEST_F(InstallPaths, ThirtyTwoBitInstallationStaysOutOfTheSixtyFourBitView) {
  SetText(View::Bits32, kSuiteKey, "BaseDir", "C:\\Suite32");
  EXPECT_STREQ(GetBaseDir(), ".");
  EXPECT_STREQ(GetBaseDir32(), "C:\\Suite32");
}

TEST_F(InstallPaths, LongFormFallsBackToThePlainFormWhenOnlyTheValueIsMissing) {
  SetText(View::Bits64, kSuiteKey, "BaseDir", "C:\\SUITE~1");
  SetText(View::Bits64, kVxipnpKey, "VXIPNPPATH", "C:\\VXIPNP~1");
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
  EXPECT_STREQ(GetSuiteVersionText(), "");
  SetText(View::Bits64, kVersionKey, "CurrentVersion", "15.5");
  EXPECT_STREQ(GetSuiteVersionText(), "15.5 ");
  SetText(View::Bits64, kVersionKey, "CustomBuild", "B7");
  EXPECT_STREQ(GetSuiteVersionText(), "15.5 ");
  config_testing::ForgetInstallPaths();
  EXPECT_STREQ(GetSuiteVersionText(), "15.5 B7");
}

}  // namespace
