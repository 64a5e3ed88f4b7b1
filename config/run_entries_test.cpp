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

// Enumerates the way the program does: 256-byte buffers, both lengths reset before each
// call, stop at the first false.
Entries EnumerateAll() {
  Entries entries;
  for (DWORD index = 0;; ++index) {
    char name[256] = "stale";
    char data[256] = "stale";
    DWORD nameLength = sizeof name;
    DWORD dataLength = sizeof data;
    if (!EnumRunEntry(index, name, &nameLength, data, &dataLength)) {
      EXPECT_STREQ(data, "");
      EXPECT_EQ(dataLength, 0u);
      return entries;
    }
    EXPECT_EQ(nameLength, strlen(name));
    entries.emplace_back(name, data);
  }
}

class RunEntries : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteTrees();
    config_testing::ForgetSuiteKeyPath();
  }
};

TEST_F(RunEntries, EmptyDataInTheMiddleDoesNotEndTheEnumeration) {
  // Wine enumerates in name order, so "B" lies between the two others.
  Set(View::Bits64, kRunKey, "A Monitor", REG_SZ, Text("bin\\monitor.exe -q"));
  Set(View::Bits64, kRunKey, "B Empty", REG_SZ, Text(""));
  Set(View::Bits64, kRunKey, "C Agent", REG_SZ, Text("agent.exe"));
  Set(View::Bits32, kRunKey, "D Only32", REG_SZ, Text("tool32.exe"));
  Entries entries = EnumerateAll();
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, (Entries{{"A Monitor", "bin\\monitor.exe -q"}, {"B Empty", ""}, {"C Agent", "agent.exe"}}));
}

TEST_F(RunEntries, NoRunSubkeyOrAnEmptyOneGivesNothing) {
  EXPECT_TRUE(EnumerateAll().empty());
  Set(View::Bits64, kRunKey);
  EXPECT_TRUE(EnumerateAll().empty());
}

TEST_F(RunEntries, DataThatDoesNotFitEndsTheEnumerationWithTheNameKept) {
  Set(View::Bits64, kRunKey, "A", REG_SZ, Text("first.exe"));
  Set(View::Bits64, kRunKey, "B", REG_SZ, Text(std::string(300, 'x')));
  char name[256];
  char data[256];
  DWORD nameLength = sizeof name;
  DWORD dataLength = sizeof data;
  EXPECT_FALSE(EnumRunEntry(1, name, &nameLength, data, &dataLength));
  EXPECT_STREQ(name, "B");
  EXPECT_STREQ(data, "");
  EXPECT_EQ(dataLength, 0u);
}

TEST_F(RunEntries, RunSubkeyPathMustFit127Characters) {
  // "SOFTWARE\" + mfg + "\Tool\CurrentVersion\Run": 127 characters with 98, 128 with 99.
  for (const size_t length : {98u, 99u}) {
    const std::string mfg(length, 'm');
    Set(View::Bits64, "SOFTWARE\\Korvane\\Ombrix", "MfgName", REG_SZ, Text(mfg));
    Set(View::Bits64, "SOFTWARE\\Korvane\\Ombrix", "KeyName", REG_SZ, Text("Tool"));
    config_testing::ForgetSuiteKeyPath();
    const std::string run = "SOFTWARE\\" + mfg + "\\Tool\\CurrentVersion\\Run";
    Set(View::Bits64, run, "Tool", REG_SZ, Text("tool.exe"));
    EXPECT_EQ(EnumerateAll().size(), run.size() <= 127 ? 1u : 0u) << run.size();
    DeleteTrees(mfg);
  }
}

}  // namespace
