#include "config/suite_values.h"

#include <gtest/gtest.h>

#include <string>

#include "config/suite_key.h"
#include "config/test_registry.h"

namespace {

using namespace test_registry;

constexpr const char* kSuiteKey = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion";

std::string Binary(std::initializer_list<unsigned char> bytes) { return std::string(bytes.begin(), bytes.end()); }
std::string Text(const std::string& text) { return std::string(text.c_str(), text.size() + 1); }
std::string Dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

class SuiteValues : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSuiteTrees();
    config_testing::ForgetSuiteKeyPath();
    CreateKey(View::Bits64, kSuiteKey);
  }
};

struct ConversionCase {
  const char* title;
  DWORD type;
  std::string bytes;
  int asValue;  // ReadSuiteValue(name, 77)
  int asDword;  // ReadSuiteDword(name, 77)
};

TEST_F(SuiteValues, ConvertsByStoredType) {
  const ConversionCase cases[] = {
      {"text 1", REG_SZ, Text("1"), 1, 1},
      {"DWORD 1", REG_DWORD, Dword(1), 1, 1},
      {"True", REG_SZ, Text("True"), 1, 0},
      {"true", REG_SZ, Text("true"), 1, 0},
      {"FALSE", REG_SZ, Text("FALSE"), 0, 0},
      {"abc", REG_SZ, Text("abc"), 0, 0},
      {"empty text", REG_SZ, Text(""), 0, 0},
      {"blanks and sign", REG_SZ, Text("  -12x"), -12, -12},
      {"60000 as text", REG_SZ, Text("60000"), 60000, 60000},
      {"DWORD 60000", REG_DWORD, Dword(60000), 60000, 60000},
      {"DWORD high bit", REG_DWORD, Dword(0xFFFFFFFEu), -2, -2},
      {"binary first byte unsigned", REG_BINARY, Binary({0xC8, 0x01}), 200, 200},
      {"15 digits and NUL fill 16 bytes", REG_SZ, Text("000000000000042"), 42, 42},
      {"text over 16 bytes", REG_SZ, Text("0000000000000042"), 77, 77},
      {"binary over 16 bytes", REG_BINARY, std::string(17, '\x05'), 77, 77},
      {"other type", REG_MULTI_SZ, Text("1") + '\0', 77, 77},
      {"expandable text", REG_EXPAND_SZ, Text("1"), 77, 77},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(c.title);
    SetRaw(View::Bits64, kSuiteKey, "Probe", c.type, c.bytes);
    EXPECT_EQ(ReadSuiteValue("Probe", 77), c.asValue);
    EXPECT_EQ(ReadSuiteDword("Probe", 77), c.asDword);
  }
}

TEST_F(SuiteValues, MissingValueNullNameOrMissingKeyGiveTheDefault) {
  EXPECT_EQ(ReadSuiteValue("Missing", 5), 5);
  EXPECT_EQ(ReadSuiteDword("Missing", 6), 6);
  SetText(View::Bits64, kSuiteKey, "Present", "1");
  EXPECT_EQ(ReadSuiteDword(nullptr, 7), 7);
  DeleteSoftwareTree(View::Bits64, "Korvane");
  EXPECT_EQ(ReadSuiteValue("Present", 8), 8);
  EXPECT_EQ(ReadSuiteDword("Present", 9), 9);
}

TEST_F(SuiteValues, ReadsOnlyTheSixtyFourBitView) {
  SetText(View::Bits32, kSuiteKey, "QuorvelHidden", "1");
  EXPECT_EQ(IsIconHidden(), 0);
  EXPECT_EQ(GetGpib32Status(), 99);
}

TEST_F(SuiteValues, ReadSuiteDwordNeedsASuiteKeyPathOfAtMost127Characters) {
  // "SOFTWARE\" + mfg + "\Tool\CurrentVersion": 127 characters with 102, 128 with 103.
  for (const size_t length : {102u, 103u}) {
    const std::string mfg(length, 'm');
    SetText(View::Bits64, "SOFTWARE\\Korvane\\Ombrix", "MfgName", mfg);
    SetText(View::Bits64, "SOFTWARE\\Korvane\\Ombrix", "KeyName", "Tool");
    config_testing::ForgetSuiteKeyPath();
    const std::string path = "SOFTWARE\\" + mfg + "\\Tool\\CurrentVersion";
    ASSERT_EQ(std::string(GetSuiteKeyPath()), path);
    SetDword(View::Bits64, path, "NkoStartupTimeoutMilliseconds", 60000);
    EXPECT_EQ(ReadSuiteValue("NkoStartupTimeoutMilliseconds", 1), 60000) << path.size();
    EXPECT_EQ(ReadSuiteDword("NkoStartupTimeoutMilliseconds", 1), path.size() <= 127 ? 60000 : 1) << path.size();
    DeleteSoftwareTree(View::Bits64, mfg.c_str());
  }
}

TEST_F(SuiteValues, WritersStoreTextWithItsTerminatingZero) {
  EXPECT_TRUE(WriteSuiteText("Note", "hello"));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "Note"), TextValue("hello"));
  EXPECT_TRUE(WriteSuiteInt("RebootOccurred", 1));
  EXPECT_TRUE(WriteSuiteInt("RebootRequiredVxi", 0));
  EXPECT_TRUE(WriteSuiteInt("Negative", -7));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "RebootOccurred"), TextValue("1"));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "RebootRequiredVxi"), TextValue("0"));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "Negative"), TextValue("-7"));
  EXPECT_TRUE(WriteSuiteBool("On", 5));
  EXPECT_TRUE(WriteSuiteBool("Off", 0));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "On"), TextValue("True"));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "Off"), TextValue("False"));
  EXPECT_FALSE(Read(View::Bits32, kSuiteKey, "Note"));
}

TEST_F(SuiteValues, NullTextDeletesTheValue) {
  SetText(View::Bits64, kSuiteKey, "Note", "x");
  EXPECT_TRUE(WriteSuiteText("Note", nullptr));
  EXPECT_FALSE(Read(View::Bits64, kSuiteKey, "Note"));
  EXPECT_FALSE(WriteSuiteText("Note", nullptr));  // nothing left to delete
}

TEST_F(SuiteValues, WritersNeverCreateTheSuiteKey) {
  DeleteSoftwareTree(View::Bits64, "Korvane");
  config_testing::ForgetSuiteKeyPath();
  GetSuiteKeyPath();  // writes back the names, not the suite key
  EXPECT_FALSE(WriteSuiteText("Note", "x"));
  EXPECT_FALSE(WriteSuiteInt("QuorvelHidden", 1));
  EXPECT_FALSE(WriteSuiteBool("Korvane488Enabled", 0));
  EXPECT_FALSE(KeyExists(View::Bits64, kSuiteKey));
}

TEST_F(SuiteValues, NamedAccessorsUseTheirValuesAndDefaults) {
  EXPECT_EQ(GetGpib32Status(), 99);
  EXPECT_EQ(GetGpib32StatusWow64(), 99);
  EXPECT_EQ(GetKorvane488Warning(), 0);
  EXPECT_EQ(IsIconHidden(), 0);
  EXPECT_EQ(IsRmDialogHidden(), 0);

  EXPECT_TRUE(SetGpib32Status(2));
  EXPECT_TRUE(SetGpib32StatusWow64(2));
  EXPECT_TRUE(SetKorvane488Enabled(0));
  EXPECT_TRUE(SetIconHidden(1));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "Gpib32Status"), TextValue("2"));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "Gpib32StatusSysWow64"), TextValue("2"));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "Korvane488Enabled"), TextValue("False"));
  EXPECT_EQ(Read(View::Bits64, kSuiteKey, "QuorvelHidden"), TextValue("1"));
  EXPECT_EQ(GetGpib32Status(), 2);
  EXPECT_EQ(GetGpib32StatusWow64(), 2);
  EXPECT_EQ(IsIconHidden(), 1);

  SetText(View::Bits64, kSuiteKey, "Korvane488Warning", "True");
  SetDword(View::Bits64, kSuiteKey, "RmDialogHidden", 1);
  EXPECT_EQ(GetKorvane488Warning(), 1);
  EXPECT_EQ(IsRmDialogHidden(), 1);
}

}  // namespace
