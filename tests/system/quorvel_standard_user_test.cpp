// Quorvel for a user with fewer rights than the suite key or the running instance asks
// for. Wine runs every process elevated, at one integrity level, and ignores registry
// ACLs, so it can show neither a suite key that grants reading only nor a message that
// UIPI drops: the tests play both through seams (config/testing/seams.h,
// shell/testing/shell_seams.h) and observe the program's registry reads, its log, the
// notification area (a tray window in this process) and the calls it makes.
#include <gmock/gmock.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "base/results.h"
#include "base/unique.h"
#include "base/window_identity.h"
#include "config/run_entries.h"
#include "config/startup_timeouts.h"
#include "config/suite_key.h"
#include "config/suite_values.h"
#include "config/testing/seams.h"
#include "config/testing/test_registry.h"
#include "config/visa_settings.h"
#include "shell/main_window.h"
#include "shell/second_instance.h"
#include "shell/testing/shell_seams.h"
#include "shell/tray_icon.h"
#include "tests/bed/child_process.h"
#include "tests/bed/wine_log.h"
#include "tests/system/quorvel_tray_shell.h"

namespace {

using namespace test_registry;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAreArray;

constexpr char kNamesKey[] = "SOFTWARE\\Korvane\\Ombrix";

// This process's log lines that contain part.
std::vector<std::string> OwnLogLines(const std::string& part) {
  std::vector<std::string> lines;
  for (const bed::WineLogEntry& entry : bed::WineLogEntries(GetCurrentProcessId())) {
    if (entry.text.find(part) != std::string::npos) lines.push_back(entry.text);
  }
  return lines;
}

class StandardUser : public RegistryTest {
 protected:
  void TearDown() override {
    config_testing::GrantReadAccessOnly(false);
    shell_testing::SetMessageFilterCall(nullptr);
    shell_testing::SetForwardPostCall(nullptr);
  }
};

// A suite key that grants reading only: the suite is still found by its stored or legacy
// names, every value is read, and each refused write is logged once however often it is
// tried.
TEST_F(StandardUser, ReadsTheSuiteAndLogsEachDeniedWriteOnce) {
  const struct {
    const char* title;
    bool customNames;
    const char* suiteKey;
    std::vector<std::string> deniedNames;  // logged by the names' write-back
  } cases[] = {
      {"custom names", true, "SOFTWARE\\Acme\\Bench\\CurrentVersion", {}},
      {"legacy key, no names", false, "SOFTWARE\\Brannock-Wexley\\TRIL\\CurrentVersion", {"MfgName", "KeyName"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    DeleteTrees();
    if (c.customNames) {
      Set(View::Bits64, kNamesKey, "MfgName", REG_SZ, Text("Acme"));
      Set(View::Bits64, kNamesKey, "KeyName", REG_SZ, Text("Bench"));
    } else {
      Set(View::Bits64, "SOFTWARE\\Brannock-Wexley\\TRIL");
    }
    const std::string suite = c.suiteKey;
    Set(View::Bits64, suite, "NkoStartupTimeoutMilliseconds", REG_DWORD, Dword(4321));
    Set(View::Bits64, suite, "QuorvelStartupTimeoutMilliseconds", REG_SZ, Text("9876"));
    Set(View::Bits64, suite, "RmDialogHidden", REG_DWORD, Dword(1));
    Set(View::Bits64, suite + "\\VISAInfo", "Logging", REG_SZ, Text("ODS"));
    Set(View::Bits64, suite + "\\Run", "Tool", REG_SZ, Text("bin\\tool.exe"));
    config_testing::ForgetSuiteKeyPath();
    config_testing::GrantReadAccessOnly(true);

    EXPECT_EQ(GetSuiteKeyPath(), suite);
    EXPECT_EQ(GetNkoStartupTimeoutMs(1), 4321);
    EXPECT_EQ(GetStartupTimeoutMs(1), 9876);
    EXPECT_EQ(IsRmDialogHidden(), 1);
    EXPECT_EQ(GetVisaLogging(), kVisaLoggingOds);
    char name[256];
    char data[256];
    DWORD nameLength = sizeof name;
    DWORD dataLength = sizeof data;
    EXPECT_TRUE(EnumRunEntry(0, name, &nameLength, data, &dataLength));
    EXPECT_STREQ(name, "Tool");
    EXPECT_STREQ(data, "bin\\tool.exe");
    for (const std::string& denied : c.deniedNames) {
      EXPECT_THAT(OwnLogLines("'" + denied + "'"), ElementsAre(HasSubstr("access is denied"))) << denied;
    }
    config_testing::GrantReadAccessOnly(false);
  }

  config_testing::GrantReadAccessOnly(true);
  for (int tick = 0; tick < 3; ++tick) {
    EXPECT_FALSE(SetIconHidden(1));
    EXPECT_FALSE(SetGpib32Status(kGpib32Replaced));
    SetVisaLogging(kVisaLoggingTril);
  }
  EXPECT_FALSE(Read(View::Bits64, GetSuiteKeyPath(), "QuorvelHidden").has_value());
  EXPECT_EQ(GetVisaLogging(), kVisaLoggingOds);
  const std::string suite = GetSuiteKeyPath();
  EXPECT_THAT(OwnLogLines("'QuorvelHidden'"), ElementsAre("Cannot write the registry value 'QuorvelHidden' of HKLM\\" +
                                                          suite + ": access is denied (error 5). The value keeps what "
                                                                  "it holds; later writes of it are not logged."));
  EXPECT_THAT(OwnLogLines("'Gpib32Status'"), ElementsAre(HasSubstr(suite)));
  EXPECT_THAT(OwnLogLines("'Logging'"), ElementsAre(HasSubstr(suite + "\\VISAInfo")));
}

// The program's window, made in this process as the first instance makes it, with the
// icons of quorvel.exe and a tray window of the test's own.
class ProgramWindow : public StandardUser {
 protected:
  void SetUp() override {
    StandardUser::SetUp();
    m_icons.Reset(LoadLibraryExA(bed::BinPath("quorvel.exe").c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
    ASSERT_TRUE(m_icons);
    SetProgramInstance(m_icons.Get());
    InitTrayIconLock();
    RegisterTaskbarCreatedMessage();
    RegisterMainWindowClass(GetModuleHandleA(nullptr));  // fails harmlessly when registered before
  }
  void TearDown() override {
    if (IsWindow(m_window)) DestroyWindow(m_window);
    MSG quit;
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // posted by the window's end
    DeleteTrayIconLock();
    m_icons.Reset();
    StandardUser::TearDown();
  }
  void MakeWindow() {
    m_window = CreateMainWindow(GetModuleHandleA(nullptr));
    ASSERT_NE(m_window, nullptr);
  }

  tray_test::FakeTray m_tray;
  UniqueModule m_icons;
  HWND m_window = nullptr;
};

// The hidden flag cannot be written, so an exit that removed the icon through the flag
// would leave it in the notification area.
TEST_F(ProgramWindow, IconGoesAtExitThoughTheHiddenFlagCannotBeWritten) {
  config_testing::GrantReadAccessOnly(true);
  MakeWindow();
  EXPECT_TRUE(m_tray.HoldsIcon(m_window, kTrayIconId)) << "no icon shown";
  IgnoreResult(DestroyWindow(m_window));
  EXPECT_FALSE(m_tray.HoldsIcon(m_window, kTrayIconId)) << "icon left behind at exit";
  EXPECT_FALSE(Suite("QuorvelHidden").has_value());
}

// The messages let through the filter, per window; other actions are recorded as such.
std::vector<std::pair<HWND, UINT>> g_allowed;
std::vector<DWORD> g_otherActions;

BOOL WINAPI RecordFilterCall(HWND window, UINT message, DWORD action, PCHANGEFILTERSTRUCT) {
  if (action == MSGFLT_ALLOW) {
    g_allowed.emplace_back(window, message);
  } else {
    g_otherActions.push_back(action);
  }
  return TRUE;
}

// An elevated first instance must take every message that other processes send it.
TEST_F(ProgramWindow, LetsItsOwnMessagesThroughTheFilter) {
  shell_testing::SetMessageFilterCall(RecordFilterCall);
  MakeWindow();
  std::vector<std::pair<HWND, UINT>> expected;
  for (UINT message : {UINT{WM_CLOSE}, WM_TRAY_NOTIFY, WM_VXI_RM_REFRESH_NOW, WM_USER_SHOW_ICON, WM_VXI_RM_EDIT,
                       WM_VXI_RM_REFRESH, WM_VXI_RM_HIDE, RegisterWindowMessageA("TaskbarCreated")}) {
    expected.emplace_back(m_window, message);
  }
  EXPECT_THAT(g_allowed, UnorderedElementsAreArray(expected));
  EXPECT_THAT(g_otherActions, IsEmpty());
}

std::vector<std::pair<HWND, UINT>> g_posts;
BOOL WINAPI RefusePost(HWND window, UINT message, WPARAM, LPARAM) {
  g_posts.emplace_back(window, message);
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}
BOOL WINAPI RecordPost(HWND window, UINT message, WPARAM, LPARAM) {
  g_posts.emplace_back(window, message);
  return TRUE;
}

// A second instance whose post the running instance's window refuses says so in the log
// and in its exit code.
TEST_F(ProgramWindow, SecondInstanceTellsARefusedPost) {
  MakeWindow();
  const struct {
    const char* option;
    shell_testing::PostCall post;
    UINT message;
    int exitCode;
    size_t logLines;
  } cases[] = {
      {"-x", RecordPost, WM_CLOSE, kSecondInstanceExitCode, 0},
      {"-x", RefusePost, WM_CLOSE, kForwardRefusedExitCode, 1},
      {"-h", RefusePost, WM_VXI_RM_HIDE, kForwardRefusedExitCode, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.option) + (c.post == RefusePost ? " refused" : " taken"));
    g_posts.clear();
    shell_testing::SetForwardPostCall(c.post);
    EXPECT_EQ(ForwardToRunningInstance(c.option, UniqueNko()), c.exitCode);
    EXPECT_THAT(g_posts, ElementsAre(std::make_pair(m_window, c.message)));
    const std::vector<std::string> lines = OwnLogLines("did not take");
    EXPECT_EQ(lines.size(), c.logLines);
    if (!lines.empty()) {
      EXPECT_THAT(lines.back(), HasSubstr("error 5"));
    }
  }
}

}  // namespace
