#include "config/suite_values.h"

#include <gtest/gtest.h>

#include <string>

#include "config/suite_key.h"
#include "config/test_registry.h"

namespace {

using namespace test_registry;

constexpr const char* kSuiteKey = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion";

class SuiteValues : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTrees();
    config_testing::ForgetSuiteKeyPath();
    Set(View::Bits64, kSuiteKey);
  }
  static std::optional<StoredValue> Stored(const char* name) { return Read(View::Bits64, kSuiteKey, name); }
};

TEST_F(SuiteValues, ConvertsByStoredType) {
  const struct {
    const char* title;
    DWORD type;
    std::string bytes;
    int asValue;  // ReadSuiteValue(name, 77)
    int asDword;  // ReadSuiteDword(name, 77)
  } cases[] = {
      {"text 1", REG_SZ, Text("1"), 1, 1},
      {"DWORD 1", REG_DWORD, Dword(1), 1, 1},
      {"True", REG_SZ, Text("True"), 1, 0},
      {"true", REG_SZ, Text("true"), 1, 0},
      {"FALSE", REG_SZ, Text("FALSE"), 0, 0},
      {"abc", REG_SZ, Text("abc"), 0, 0},
      {"blanks and sign", REG_SZ, Text("  -12x"), -12, -12},
      {"text 60000", REG_SZ, Text("60000"), 60000, 60000},
      {"DWORD 60000", REG_DWORD, Dword(60000), 60000, 60000},
      {"binary first byte unsigned", REG_BINARY, "\xC8\x01", 200, 200},
      {"text of exactly 16 bytes", REG_SZ, Text("000000000000042"), 42, 42},
      {"text over 16 bytes", REG_SZ, Text("0000000000000042"), 77, 77},
      {"other type", REG_EXPAND_SZ, Text("1"), 77, 77},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    Set(View::Bits64, kSuiteKey, "Probe", c.type, c.bytes);
    EXPECT_EQ(ReadSuiteValue("Probe", 77), c.asValue);
    EXPECT_EQ(ReadSuiteDword("Probe", 77), c.asDword);
  }
  EXPECT_EQ(ReadSuiteDword(nullptr, 7), 7);
}

TEST_F(SuiteValues, ReadSuiteDwordNeedsASuiteKeyPathOfAtMost127Characters) {
  // "SOFTWARE\" + mfg + "\Tool\CurrentVersion": 127 characters with 102, 128 with 103.
  for (const size_t length : {102u, 103u}) {
    const std::string mfg(length, 'm');
    Set(View::Bits64, "SOFTWARE\\Korvane\\Ombrix", "MfgName", REG_SZ, Text(mfg));
    Set(View::Bits64, "SOFTWARE\\Korvane\\Ombrix", "KeyName", REG_SZ, Text("Tool"));
    config_testing::ForgetSuiteKeyPath();
    const std::string path = "SOFTWARE\\" + mfg + "\\Tool\\CurrentVersion";
    ASSERT_EQ(std::string(GetSuiteKeyPath()), path);
    Set(View::Bits64, path, "Nko", REG_DWORD, Dword(60000));
    EXPECT_EQ(ReadSuiteValue("Nko", 1), 60000) << path.size();
    EXPECT_EQ(ReadSuiteDword("Nko", 1), path.size() <= 127 ? 60000 : 1) << path.size();
    DeleteTrees(mfg);
  }
}

TEST_F(SuiteValues, WritersStoreTextWithItsZeroAndNullDeletes) {
  EXPECT_TRUE(WriteSuiteInt("RebootOccurred", 1));
  EXPECT_TRUE(WriteSuiteInt("Negative", -7));
  EXPECT_TRUE(WriteSuiteBool("On", 5));
  EXPECT_TRUE(WriteSuiteBool("Off", 0));
  EXPECT_EQ(Stored("RebootOccurred"), (StoredValue{REG_SZ, Text("1")}));
  EXPECT_EQ(Stored("Negative"), (StoredValue{REG_SZ, Text("-7")}));
  EXPECT_EQ(Stored("On"), (StoredValue{REG_SZ, Text("True")}));
  EXPECT_EQ(Stored("Off"), (StoredValue{REG_SZ, Text("False")}));
  EXPECT_FALSE(Read(View::Bits32, kSuiteKey, "On"));
  EXPECT_TRUE(WriteSuiteText("On", nullptr));
  EXPECT_FALSE(Stored("On"));
}

TEST_F(SuiteValues, WithoutTheSuiteKeyReadersGiveDefaultsAndWritersCreateNothing) {
  Set(View::Bits32, kSuiteKey, "Present", REG_SZ, Text("1"));
  EXPECT_EQ(ReadSuiteValue("Present", 5), 5);
  DeleteTrees("Korvane");
  EXPECT_EQ(ReadSuiteValue("Present", 5), 5);
  EXPECT_EQ(ReadSuiteDword("Present", 6), 6);
  EXPECT_FALSE(WriteSuiteText("Note", "x"));
  EXPECT_FALSE(SetIconHidden(1));
  EXPECT_FALSE(KeyExists(View::Bits64, kSuiteKey));
}

TEST_F(SuiteValues, NamedAccessorsUseTheirValuesAndDefaults) {
  EXPECT_EQ(GetGpib32Status(), 99);
  EXPECT_EQ(GetGpib32StatusWow64(), 99);
  EXPECT_EQ(GetKorvane488Warning(), 0);
  EXPECT_EQ(IsIconHidden(), 0);
  EXPECT_EQ(IsRmDialogHidden(), 0);
  SetGpib32Status(2);
  SetGpib32StatusWow64(4);
  SetKorvane488Enabled(0);
  SetIconHidden(1);
  Set(View::Bits64, kSuiteKey, "Korvane488Warning", REG_SZ, Text("True"));
  Set(View::Bits64, kSuiteKey, "RmDialogHidden", REG_DWORD, Dword(1));
  EXPECT_EQ(Stored("Gpib32Status"), (StoredValue{REG_SZ, Text("2")}));
  EXPECT_EQ(Stored("Gpib32StatusSysWow64"), (StoredValue{REG_SZ, Text("4")}));
  EXPECT_EQ(Stored("Korvane488Enabled"), (StoredValue{REG_SZ, Text("False")}));
  EXPECT_EQ(Stored("QuorvelHidden"), (StoredValue{REG_SZ, Text("1")}));
  EXPECT_EQ(GetGpib32Status(), 2);
  EXPECT_EQ(GetGpib32StatusWow64(), 4);
  EXPECT_EQ(IsIconHidden(), 1);
  EXPECT_EQ(GetKorvane488Warning(), 1);
  EXPECT_EQ(IsRmDialogHidden(), 1);
}

}  // namespace
