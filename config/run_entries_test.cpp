#include "config/run_entries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "config/suite_key.h"
#include "config/test_registry.h"

namespace {

using namespace test_registry;

constexpr const char* kRunKey = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion\\Run";

using Entries = std::vector<std::pair<std::string, std::string>>;

// Enumerates the way the program's caller does: 256-byte buffers, both lengths reset
// before each call, stop at the first false.
Entries EnumerateAll() {
  Entries entries;
  for (DWORD index = 0;; ++index) {
    char name[256];
    char data[256];
    DWORD nameLength = sizeof name;
    DWORD dataLength = sizeof data;
    if (!EnumRunEntry(index, name, &nameLength, data, &dataLength)) {
      EXPECT_STREQ(data, "");
      EXPECT_EQ(dataLength, 0u);
      break;
    }
    EXPECT_EQ(nameLength, strlen(name));
    entries.emplace_back(name, data);
  }
  return entries;
}

class RunEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteSuiteTrees();
    config_testing::ForgetSuiteKeyPath();
  }
};

TEST_F(RunEntries, EmptyDataInTheMiddleDoesNotEndTheEnumeration) {
  // Wine enumerates in name order, so "B" lies between the two others.
  SetText(View::Bits64, kRunKey, "A Monitor", "bin\\monitor.exe -q");
  SetText(View::Bits64, kRunKey, "B Empty", "");
  SetText(View::Bits64, kRunKey, "C Agent", "agent.exe");
  Entries entries = EnumerateAll();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (Entries{{"A Monitor", "bin\\monitor.exe -q"}, {"B Empty", ""}, {"C Agent", "agent.exe"}}));
}

TEST_F(RunEntries, NoRunSubkeyOrAnEmptyOneGivesNothing) {
  char name[256] = "stale";
  char data[256] = "stale";
  DWORD nameLength = sizeof name;
  DWORD dataLength = sizeof data;
  EXPECT_FALSE(EnumRunEntry(0, name, &nameLength, data, &dataLength));
  EXPECT_STREQ(name, "");
  EXPECT_EQ(nameLength, 0u);
  EXPECT_STREQ(data, "");
  EXPECT_EQ(dataLength, 0u);
  CreateKey(View::Bits64, kRunKey);
  EXPECT_TRUE(EnumerateAll().empty());
}

TEST_F(RunEntries, RunSubkeyOfTheThirtyTwoBitViewIsNotUsed) {
  SetText(View::Bits32, kRunKey, "Tool", "tool.exe");
  EXPECT_TRUE(EnumerateAll().empty());
}

TEST_F(RunEntries, DataThatDoesNotFitEndsTheEnumerationWithTheNameKept) {
  SetText(View::Bits64, kRunKey, "A", "first.exe");
  SetText(View::Bits64, kRunKey, "B", std::string(300, 'x'));
  char name[256];
  char data[256];
  DWORD nameLength = sizeof name;
  DWORD dataLength = sizeof data;
  EXPECT_FALSE(EnumRunEntry(1, name, &nameLength, data, &dataLength));
  EXPECT_STREQ(name, "B");
  EXPECT_EQ(nameLength, 1u);
  EXPECT_STREQ(data, "");
  EXPECT_EQ(dataLength, 0u);
}

TEST_F(RunEntries, DataStoredWithoutItsZeroIsTerminated) {
  SetRaw(View::Bits64, kRunKey, "Tool", REG_SZ, "tool.exe");
  char name[256];
  char data[256];
  memset(data, 'x', sizeof data);
  DWORD nameLength = sizeof name;
  DWORD dataLength = sizeof data;
  ASSERT_TRUE(EnumRunEntry(0, name, &nameLength, data, &dataLength));
  EXPECT_STREQ(data, "tool.exe");
}

TEST_F(RunEntries, RunSubkeyPathMustFit127Characters) {
  // "SOFTWARE\" + mfg + "\Tool\CurrentVersion\Run": 127 characters with 98, 128 with 99.
  for (const size_t length : {98u, 99u}) {
    const std::string mfg(length, 'm');
    SetText(View::Bits64, "SOFTWARE\\Korvane\\Ombrix", "MfgName", mfg);
    SetText(View::Bits64, "SOFTWARE\\Korvane\\Ombrix", "KeyName", "Tool");
    config_testing::ForgetSuiteKeyPath();
    const std::string run = "SOFTWARE\\" + mfg + "\\Tool\\CurrentVersion\\Run";
    SetText(View::Bits64, run, "Tool", "tool.exe");
    EXPECT_EQ(EnumerateAll().size(), run.size() <= 127 ? 1u : 0u) << run.size();
    DeleteSoftwareTree(View::Bits64, mfg.c_str());
  }
}

}  // namespace
