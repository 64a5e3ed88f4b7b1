// The typed configuration values of the suite key, the VISA settings, the Run entries and
// the start-up time-outs, against the real registry of the test's own prefix.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/bed/child_process.h"
#include "config/run_entries.h"
#include "config/startup_timeouts.h"
#include "config/suite_key.h"
#include "config/suite_values.h"
#include "config/testing/test_registry.h"
#include "config/visa_settings.h"

namespace {

using namespace test_registry;

using SuiteValues = RegistryTest;

// The same data read by every reader: ReadSuiteValue, ReadSuiteDword (also behind the NKO
// time-out) and the start-up time-out, which honours only positive decimal text.
TEST_F(SuiteValues, EachReaderConvertsByItsOwnRules) {
  constexpr int D = kDefaultStartupTimeoutMs;
  const struct {
    const char* title;
    DWORD type;
    std::string bytes;
    int asValue;  // ReadSuiteValue(name, 77)
    int asDword;  // ReadSuiteDword(name, 77), GetNkoStartupTimeoutMs(77)
    int startup;  // GetStartupTimeoutMs(D)
  } cases[] = {
      {"text 1", REG_SZ, Text("1"), 1, 1, 1},
      {"DWORD 1", REG_DWORD, Dword(1), 1, 1, D},
      {"True", REG_SZ, Text("True"), 1, 0, D},
      {"true", REG_SZ, Text("true"), 1, 0, D},
      {"FALSE", REG_SZ, Text("FALSE"), 0, 0, D},
      {"abc", REG_SZ, Text("abc"), 0, 0, D},
      {"0", REG_SZ, Text("0"), 0, 0, D},
      {"-5", REG_SZ, Text("-5"), -5, -5, D},
      {"empty", REG_SZ, Text(""), 0, 0, D},
      {"blanks and sign", REG_SZ, Text("  -12x"), -12, -12, D},
      {"text 60000", REG_SZ, Text("60000"), 60000, 60000, 60000},
      {"DWORD 60000", REG_DWORD, Dword(60000), 60000, 60000, D},
      {"DWORD whose bytes spell 77", REG_DWORD, Dword(0x3737), 0x3737, 0x3737, 77},
      {"binary first byte unsigned", REG_BINARY, "\xC8\x01", 200, 200, D},
      {"text of exactly 16 bytes", REG_SZ, Text("000000000000042"), 42, 42, 42},
      {"text over 16 bytes", REG_SZ, Text("0000000000000042"), 77, 77, 42},
      {"other type", REG_EXPAND_SZ, Text("1"), 77, 77, 1},
      {"255 characters", REG_SZ, Text(std::string(250, '0') + "12345"), 77, 77, 12345},
      {"over 255 characters", REG_SZ, Text(std::string(300, '1')), 77, 77, D},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    for (const char* name : {"Probe", "NkoStartupTimeoutMilliseconds", "QuorvelStartupTimeoutMilliseconds"})
      SetSuite(name, c.type, c.bytes);
    EXPECT_EQ(ReadSuiteValue("Probe", 77), c.asValue);
    EXPECT_EQ(ReadSuiteDword("Probe", 77), c.asDword);
    EXPECT_EQ(GetNkoStartupTimeoutMs(77), c.asDword);
    EXPECT_EQ(GetStartupTimeoutMs(D), c.startup);
  }
  EXPECT_EQ(ReadSuiteDword(nullptr, 7), 7);
}

TEST_F(SuiteValues, ReadSuiteDwordNeedsASuiteKeyPathOfAtMost127Characters) {
  for (const size_t length : {102u, 103u}) {  // paths of 127 and 128 characters
    const std::string path = UseSuiteNames(length);
    ASSERT_EQ(std::string(GetSuiteKeyPath()), path);
    Set(View::Bits64, path, "Nko", REG_DWORD, Dword(60000));
    EXPECT_EQ(ReadSuiteValue("Nko", 1), 60000) << path.size();
    EXPECT_EQ(ReadSuiteDword("Nko", 1), path.size() <= 127 ? 60000 : 1) << path.size();
  }
}

TEST_F(SuiteValues, WritersStoreTextWithItsZeroAndNullDeletes) {
  EXPECT_TRUE(WriteSuiteInt("Negative", -7));
  EXPECT_TRUE(WriteSuiteBool("On", 5));
  EXPECT_TRUE(WriteSuiteBool("Off", 0));
  EXPECT_EQ(Suite("Negative"), Sz("-7"));
  EXPECT_EQ(Suite("On"), Sz("True"));
  EXPECT_EQ(Suite("Off"), Sz("False"));
  EXPECT_FALSE(Read(View::Bits32, kSuiteKey, "On"));
  EXPECT_TRUE(WriteSuiteText("On", nullptr));
  EXPECT_FALSE(Suite("On"));
}

TEST_F(SuiteValues, WithoutTheSuiteKeyReadersGiveDefaultsAndWritersCreateNothing) {
  DeleteTrees("Korvane");
  Set(View::Bits32, kSuiteKey, "Present", REG_SZ, Text("1"));
  EXPECT_EQ(ReadSuiteValue("Present", 5), 5);
  EXPECT_EQ(ReadSuiteDword("Present", 6), 6);
  EXPECT_FALSE(WriteSuiteText("Note", "x"));
  EXPECT_FALSE(SetIconHidden(1));
  EXPECT_EQ(GetVisaPresence(), 0);
  EXPECT_FALSE(KeyExists(View::Bits64, kSuiteKey));
}

using VisaSettings = RegistryTest;

TEST_F(VisaSettings, PresenceMigratesTheLegacyValue) {
  // newValue and legacyValue: "OmbrixVisaPresent" and "BWVisaPresent" before.
  const struct {
    const char* title;
    std::optional<DWORD> newValue, legacyValue;
    int expected;
    bool legacyKept;
  } cases[] = {
      {"neither value", {}, {}, 1, false},
      {"legacy 2", {}, 2, 2, false},
      {"new name wins", 0, 2, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    SetUp();
    if (c.newValue) SetSuite("OmbrixVisaPresent", REG_DWORD, Dword(*c.newValue));
    if (c.legacyValue) SetSuite("BWVisaPresent", REG_DWORD, Dword(*c.legacyValue));
    EXPECT_EQ(GetVisaPresence(), c.expected);
    EXPECT_EQ(Suite("OmbrixVisaPresent"), (StoredValue{REG_DWORD, Dword(static_cast<DWORD>(c.expected))}));
    EXPECT_EQ(Suite("BWVisaPresent").has_value(), c.legacyKept);
  }
}

TEST_F(VisaSettings, LoggingWordsReadInAnyCaseAndAreStoredInCapitals) {
  const struct { const char* stored; int mode; } reads[] = {
      {"TRIL", 2}, {"tril", 2}, {"oDs", 1}, {"OFF", 0}, {"Debug", 0}, {"", 0}};
  for (const auto& c : reads) {
    Set(View::Bits64, kVisaInfoKey, "Logging", REG_SZ, Text(c.stored));
    EXPECT_EQ(GetVisaLogging(), c.mode) << c.stored;
  }
  const struct { int mode; const char* stored; } writes[] = {{1, "ODS"}, {2, "TRIL"}, {0, "OFF"}, {3, "OFF"}};
  for (const auto& c : writes) {
    SetVisaLogging(c.mode);
    EXPECT_EQ(Read(View::Bits64, kVisaInfoKey, "Logging"), Sz(c.stored)) << c.mode;
  }
}

TEST_F(VisaSettings, DefaultLockWaitIsADwordOfVisaInfo) {
  SetVisaLogging(kVisaLoggingTril);
  SetDefaultLockWait(1);
  EXPECT_FALSE(KeyExists(View::Bits64, kVisaInfoKey)) << "created by a writer";
  EXPECT_EQ(GetVisaLogging(), 0);
  EXPECT_EQ(GetDefaultLockWait(), 0);
  Set(View::Bits64, kVisaInfoKey);
  SetDefaultLockWait(1);
  EXPECT_EQ(Read(View::Bits64, kVisaInfoKey, "DefaultLockWait"), (StoredValue{REG_DWORD, Dword(1)}));
  EXPECT_EQ(GetDefaultLockWait(), 1);
  SetDefaultLockWait(0);
  EXPECT_EQ(GetDefaultLockWait(), 0);
}

constexpr const char* kRunKey = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion\\Run";

using Entries = std::vector<std::pair<std::string, std::string>>;

// Enumerates the way the program does: 256-byte buffers, both lengths reset before each
// call, stop at the first false; the entries sorted by name.
Entries EnumerateAll() {
  Entries entries;
  for (DWORD index = 0;; ++index) {
    char name[256] = "stale", data[256] = "stale";
    DWORD nameLength = sizeof name, dataLength = sizeof data;
    if (!EnumRunEntry(index, name, &nameLength, data, &dataLength)) {
      EXPECT_STREQ(data, "");
      EXPECT_EQ(dataLength, 0u);
      std::sort(entries.begin(), entries.end());
      return entries;
    }
    EXPECT_EQ(nameLength, strlen(name));
    entries.emplace_back(name, data);
  }
}

using RunEntries = RegistryTest;

// Empty data does not end the enumeration; data that does not fit does.
TEST_F(RunEntries, EmptyDataInTheMiddleDoesNotEndTheEnumeration) {
  EXPECT_EQ(EnumerateAll(), Entries{}) << "no Run subkey";
  Set(View::Bits64, kRunKey);
  EXPECT_EQ(EnumerateAll(), Entries{}) << "empty Run subkey";
  // Wine enumerates in name order, so "B" lies between the two others.
  Set(View::Bits64, kRunKey, "A Monitor", REG_SZ, Text("bin\\monitor.exe -q"));
  Set(View::Bits64, kRunKey, "B Empty", REG_SZ, Text(""));
  Set(View::Bits64, kRunKey, "C Agent", REG_SZ, Text("agent.exe"));
  Set(View::Bits64, kRunKey, "D Too long", REG_SZ, Text(std::string(300, 'x')));
  Set(View::Bits64, kRunKey, "E After", REG_SZ, Text("after.exe"));
  Set(View::Bits32, kRunKey, "A Only32", REG_SZ, Text("tool32.exe"));
  EXPECT_EQ(EnumerateAll(), (Entries{{"A Monitor", "bin\\monitor.exe -q"}, {"B Empty", ""}, {"C Agent", "agent.exe"}}));
}

TEST_F(RunEntries, RunSubkeyPathMustFit127Characters) {
  for (const size_t length : {98u, 99u}) {  // Run subkey paths of 127 and 128 characters
    const std::string run = UseSuiteNames(length) + "\\Run";
    Set(View::Bits64, run, "Tool", REG_SZ, Text("tool.exe"));
    EXPECT_EQ(EnumerateAll().size(), run.size() <= 127 ? 1u : 0u) << run.size();
  }
}

// The probe overwrites both values first and then stores what it read before main.
TEST_F(SuiteValues, ProcessReadsBothStartupTimeoutsBeforeItsEntryFunction) {
  for (const bool seeded : {false, true}) {
    if (seeded) {
      SetSuiteText("QuorvelStartupTimeoutMilliseconds", "1000");
      SetSuite("NkoStartupTimeoutMilliseconds", REG_DWORD, Dword(60000));
    }
    EXPECT_EQ(bed::ChildProcess("config_startup_timeouts_probe.exe", {}).WaitExitCode(30000), 0u);
    EXPECT_EQ(Suite("ProbeResult"), Sz(seeded ? "1000 60000" : "240000 120000"));
  }
}

}  // namespace
