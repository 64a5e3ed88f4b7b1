// The installation report, its information file and the About box, against the real
// registry of the test's own prefix, the visaConfMgr.dll stand-in in its system folder and
// the vendor test files as visa32.dll in its SysWOW64 folder.
#include <windows.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#include "support/wait_until.h"
#include "base/results.h"
#include "tests/bed/wine_log.h"
#include "config/install_paths.h"
#include "config/install_report.h"
#include "config/service_status_line.h"
#include "config/suite_dirs.h"
#include "config/testing/test_registry.h"
#include "config/testing/seams.h"
#include "config/testing/test_system_files.h"
#include "config/visa_status.h"

namespace {

using namespace test_registry;
using namespace test_files;

constexpr char kRule[] = "==============================\r\n";
constexpr char kInfoFolder[] = "C:\\ProgramData\\Korvane\\Korvane Ombrix";
constexpr char kInfoFile[] = "C:\\ProgramData\\Korvane\\Korvane Ombrix\\Korvane Ombrix Information.txt";

std::string g_statusLine;
const char* StatusLine() { return g_statusLine.c_str(); }

// The six paths, each of the given length, or short distinct ones.
struct Paths { std::string base64, ivi64, visa64, base32, ivi32, visa32; };
Paths MakePaths(size_t length) {
  auto path = [length](const std::string& name) {
    const std::string start = "C:\\" + name;
    return length == 0 ? start : start + "\\" + std::string(length - start.size() - 1, 'x');
  };
  return {path("Ombrix64"), path("IVI64"), path("VXI64"), path("Ombrix32"), path("IVI32"), path("VXI32")};
}

std::string Names(int count) {
  std::string names;
  for (int i = 0; i < count; ++i) names += (i ? "|" : "") + std::string("Lib ") + std::to_string(i);
  return names;
}
std::string Lines(int count) {
  std::string lines;
  for (int i = 0; i < count && i < 10; ++i) lines += "   Lib " + std::to_string(i) + "\r\n";
  return lines;
}

// The whole report as the user reads it.
std::string ExpectedReport(const std::string& statusLine, const std::string& visa64, const std::string& own,
                           const std::string& other, const Paths& p) {
  return (statusLine.empty() ? "" : statusLine + "\r\n\r\n") +
         "Ombrix Version:\t15.5 demo\r\n"
         "Quorvel Version:\t15.5.13009.1\r\n"
         "Copyright (c) Korvane Instruments Inc. All rights reserved. Use is subject to the license terms.\r\n\r\n"
         "This software is installed on a 64-bit operating system.\r\n\r\n" +
         kRule + visa64 + "\r\n" +
         "64-bit Ombrix Path:\r\n   " + p.base64 + "\r\n" +
         "64-bit IVI Components Path:\r\n   " + p.ivi64 + "\r\n" +
         "64-bit VISA Path:\r\n   " + p.visa64 + "\r\n\r\n" + kRule +
         "32-bit VISA Information:\r\n"
         "   Korvane VISA:\t" + own + "\r\n"
         "   Non-Korvane VISA:\t" + other + "\r\n\r\n"
         "32-bit Ombrix Path:\r\n   " + p.base32 + "\r\n" +
         "32-bit IVI Components Path:\r\n   " + p.ivi32 + "\r\n" +
         "32-bit VISA Path:\r\n   " + p.visa32 + "\r\n\r\n" + kRule +
         "Registry Path:\r\n   HKLM\\SOFTWARE\\Korvane\\Ombrix\\CurrentVersion\r\n\r\n";
}

class InstallReport : public RegistryTest {
 protected:
  static void SetUpTestSuite() {
    // Where the VISA installation puts the library; the test's folder does not hold it.
    ASSERT_TRUE(CopyFileA(bed::BinPath("visaconfmgr\\visaConfMgr.dll").c_str(),
                          (SystemFolder(false) + "\\visaConfMgr.dll").c_str(), FALSE));
    SetServiceStatusLineSource(StatusLine);
  }

  void SetUp() override {
    RegistryTest::SetUp();
    g_statusLine.clear();
    for (const char* name : {"VISACONFMGR_LIBRARIES", "VISACONFMGR_FAIL"}) SetEnvironmentVariableA(name, nullptr);
    Set(View::Bits64, "SOFTWARE\\Korvane\\Ombrix Suite\\CurrentVersion", "CurrentVersion", REG_SZ, Text("15.5"));
    Set(View::Bits64, "SOFTWARE\\Korvane\\Ombrix Suite\\CurrentVersion", "CustomBuild", REG_SZ, Text("demo"));
    SeedPaths(MakePaths(0));
    PlaceVendorDll(true, "visa32.dll", "korvane");
  }

  static void SeedPaths(const Paths& p) {
    Set(View::Bits64, kSuiteKey, "BaseDir", REG_SZ, Text(p.base64));
    Set(View::Bits32, kSuiteKey, "BaseDir", REG_SZ, Text(p.base32));
    Set(View::Bits64, kIviKey, "IviStandardRootDir", REG_SZ, Text(p.ivi64));
    Set(View::Bits32, kIviKey, "IviStandardRootDir", REG_SZ, Text(p.ivi32));
    Set(View::Bits64, kVxipnpKey, "VXIPNPPATH", REG_SZ, Text(p.visa64));
    Set(View::Bits32, kVxipnpKey, "VXIPNPPATH", REG_SZ, Text(p.visa32));
    config_testing::ForgetInstallPaths();
  }
};

TEST_F(InstallReport, ComposesEveryCaseByteForByte) {
  const std::string longName(255, 'N');
  const char* kPrimary = "The primary VISA library";
  const char* kOverwritten = "Not installed (or overwritten)";
  const std::string kNone = "64-bit VISA information (0 installed):\r\n";
  const std::string twelve = "64-bit VISA information (12 installed):\r\n" + Lines(10) + "   (2 more not listed)\r\n";
  // The library's entries as called, listing |listed| names.
  const auto Calls = [](int listed) {
    std::string calls = "18,16,";
    for (int i = 0; i < listed; ++i) calls += "12 " + std::to_string(i) + ",";
    return calls + "19,";
  };
  const struct {
    const char* title;
    std::string statusLine;
    int presence;
    const char* visa32;  // vendor variant, "" for none
    std::string libraries;
    const char* fail;
    const char* own;
    const char* other;
    std::string visa64;  // the 64-bit list with its heading
    std::string calls;   // the library's entries as called
    size_t pathLength;   // 0: short paths
  } cases[] = {
      {"no status line, primary, the maker's visa32.dll", "", 1, "korvane", "", "", kPrimary, kOverwritten,
       kNone, Calls(0), 0},
      {"status line, primary overwritten by another vendor", "Service: degraded", 1, "other-vendor", "", "",
       "Operating as secondary (installed as primary but overwritten)", kPrimary, kNone, Calls(0), 0},
      {"primary, no visa32.dll", "", 1, "", "", "", "Installed as primary but visa32.dll is missing", kOverwritten,
       kNone, Calls(0), 0},
      {"not installed: both texts empty", "", 0, "korvane", "", "", "", "", kNone, Calls(0), 0},
      {"secondary, the maker's visa32.dll", "", 2, "korvane", "", "", "Operating as primary (installed as secondary)",
       "Installed as primary but overwritten", kNone, Calls(0), 0},
      {"secondary, another vendor's (lower-case maker)", "", 2, "lower-case", "", "", "The secondary VISA library",
       kPrimary, kNone, Calls(0), 0},
      {"secondary, no visa32.dll", "", 2, "", "", "", "Installed as secondary but visa32.dll is missing",
       "Not installed", kNone, Calls(0), 0},
      {"two libraries, one with a 255-character name", "", 1, "korvane", "Alpha|" + longName, "", kPrimary,
       kOverwritten, "64-bit VISA information (2 installed):\r\n   Alpha\r\n   " + longName + "\r\n", Calls(2), 0},
      {"twelve libraries: ten named", "", 1, "korvane", Names(12), "", kPrimary, kOverwritten, twelve, Calls(10), 0},
      {"ordinal 18 fails", "", 1, "korvane", Names(2), "18", kPrimary, kOverwritten, kNone, "18,19,", 0},
      {"ordinal 16 fails", "", 1, "korvane", Names(2), "16", kPrimary, kOverwritten, kNone, Calls(0), 0},
      {"ordinal 12 fails for index 0", "", 1, "korvane", Names(2), "12:0", kPrimary, kOverwritten,
       "64-bit VISA information (2 installed):\r\n   \r\n   Lib 1\r\n", Calls(2), 0},
      {"paths of 1000 characters: cut after a whole line", "Service: degraded", 2, "german-only", Names(12), "",
       "The secondary VISA library", kPrimary, twelve, Calls(10), 1000},
  };
  char record[MAX_PATH];
  GetTempPathA(MAX_PATH, record);
  const std::string recordPath = std::string(record) + "visaconfmgr-calls.txt";
  SetEnvironmentVariableA("VISACONFMGR_RECORD", recordPath.c_str());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    g_statusLine = c.statusLine;
    SetSuite("OmbrixVisaPresent", REG_DWORD, Dword(static_cast<DWORD>(c.presence)));
    PlaceVendorDll(true, "visa32.dll", c.visa32);
    SetEnvironmentVariableA("VISACONFMGR_LIBRARIES", c.libraries.c_str());
    SetEnvironmentVariableA("VISACONFMGR_FAIL", c.fail);
    const Paths paths = MakePaths(c.pathLength);
    SeedPaths(paths);
    IgnoreResult(DeleteFileA(recordPath.c_str()));

    char report[kInstallReportSize];
    std::memset(report, 'Z', sizeof report);
    SetVisaPresent(-99);
    ComposeInstallReport(report, sizeof report);

    std::string expected = ExpectedReport(c.statusLine, c.visa64, c.own, c.other, paths);
    if (expected.size() > kInstallReportSize - 1) expected.resize(expected.rfind("\r\n", kInstallReportSize - 3) + 2);
    EXPECT_EQ(std::string(report), expected);
    EXPECT_EQ(std::string(report + expected.size(), sizeof report - expected.size()),
              std::string(sizeof report - expected.size(), '\0'));
    EXPECT_EQ(GetVisaPresent(), c.presence);
    std::string calls = ReadFile(recordPath);
    for (char& ch : calls) ch = ch == '\n' ? ',' : ch;
    EXPECT_EQ(calls, c.calls);
  }
  SetEnvironmentVariableA("VISACONFMGR_RECORD", nullptr);
}

TEST_F(InstallReport, FileHoldsTheReportWithoutItsZeroOnlyWhenTheFolderExists) {
  RemoveDirectoryA(kInfoFolder);
  IgnoreResult(DeleteFileA(kInfoFile));
  const std::string logLine = std::string("Writing OMBX 'About' box information to '") + kInfoFile + "'";
  const auto logged = [&logLine] {
    size_t count = 0;
    for (const bed::WineLogEntry& entry : bed::WineLogEntries(GetCurrentProcessId())) count += entry.text == logLine;
    return count;
  };

  ASSERT_EQ(GetFileAttributesA(kInfoFolder), INVALID_FILE_ATTRIBUTES);
  const size_t before = logged();
  WriteInstallReport();
  EXPECT_EQ(GetFileAttributesA(kInfoFolder), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(kInfoFile), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(logged(), before + 1);

  IgnoreResult(CreateDirectoryA("C:\\ProgramData\\Korvane", nullptr));
  ASSERT_TRUE(CreateDirectoryA(kInfoFolder, nullptr));
  // A longer earlier file is replaced, not overwritten in part.
  ASSERT_TRUE(std::ofstream(kInfoFile, std::ios::binary) << std::string(6000, 'o'));
  const std::string report = WriteInstallReport();
  EXPECT_EQ(ReadFile(kInfoFile), report);
  EXPECT_EQ(logged(), before + 2);
}

// Its text is the fresh report, which the running program's menu test reads from the box.
TEST_F(InstallReport, AboutBoxShowsTheIconOfTheServiceState) {
  for (const char* statusLine : {"", "Service: degraded"}) {
    SCOPED_TRACE(statusLine);
    g_statusLine = statusLine;
    std::thread shower([] { ShowAboutBox(nullptr); });
    HWND box = nullptr;
    const auto shown = [&box] { return (box = FindWindowA("#32770", kAboutBoxCaption)) && IsWindowVisible(box); };
    ASSERT_TRUE(support::WaitUntil(shown, 10000));
    const HICON expectedIcon = LoadIconA(nullptr, *statusLine ? IDI_EXCLAMATION : IDI_INFORMATION);
    EXPECT_EQ(reinterpret_cast<HICON>(SendDlgItemMessageA(box, 0x440, STM_GETICON, 0, 0)), expectedIcon);
    IgnoreResult(PostMessageA(box, WM_COMMAND, IDOK, 0));
    shower.join();
  }
}

}  // namespace
