// The tray menu of a running quorvel.exe, used as a user uses it: a click on the icon
// (the notification posted to the main window), the popup read from inside the process by
// the injected reader, items chosen with the keyboard. One Quorvel serves every case, in
// order; the exit comes last. The suite is installed in folders of the test's own:
//   suite directory   the connection tool and Quickprobe (suite-tool stand-ins), help files, readme
//   32-bit BaseDir    the manuals
//   VXIPNP folders    the VISA tools (suite-tool stand-ins)
// The tools, and visaConfMgr.dll (called while the installation report is written),
// append their lines to one record file, so the record shows what started in which order.
#include <windows.h>
#include <shellapi.h>

#include <gmock/gmock.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>

#include "base/unique.h"
#include "base/results.h"
#include "probes/menu-probe/popup_menu.h"
#include "tests/bed/record_file.h"
#include "tests/bed/service_standin.h"
#include "support/wait_until.h"
#include "config/testing/test_system_files.h"
#include "tests/system/quorvel_driver.h"
#include "tests/system/quorvel_tray_shell.h"

namespace {

using namespace quorvel_test;
using ::testing::ElementsAre;
using ::testing::StartsWith;

constexpr UINT kTrayNotify = 1024;
constexpr char kInfoFile[] = "C:\\ProgramData\\Korvane\\Korvane Ombrix\\Korvane Ombrix Information.txt";
constexpr char kStatusLine[] = "Korvane Ombrix Service (demo)";

// The installation as set up, with "Logging" TRIL and "DefaultLockWait" 1.
constexpr char kRichMenu[] =
    "0 Korvane Ombrix Service (demo) [greyed]\n"
    "---\n"
    "1059 Korvane &Linkfinder [default]\n"
    "Utilities >\n"
    "  1031 Event &Viewer\n"
    "  1066 &Quickprobe\n"
    "  1058 &ResFind32 (debug utility)\n"
    "  1074 ResFind&64 (debug utility)\n"
    "  VXI &Resource Manager >\n"
    "    1027 Edit Resources\n"
    "    1042 Hide Resource Manager\n"
    "    1028 Refresh Resources\n"
    "---\n"
    "Korvane VISA &Options >\n"
    "  Default VISA LockWait >\n"
    "    1056 False\n"
    "    1055 True [checked]\n"
    "  VISA Logging >\n"
    "    1034 Debug Window\n"
    "    1033 Event Viewer [checked]\n"
    "    1032 Off\n"
    "&Documentation >\n"
    "  1061 Connectivity Guide\n"
    "  &Interface Manuals >\n"
    "    1051 M4410 PCI GPIB Users Guide\n"
    "    1069 K6613A Networked 5-Port USB Hub Users Guide\n"
    "  1036 TRIL Users Guide\n"
    "  ---\n"
    "  1035 Ombrix Suite Readme\n"
    "Help Topics >\n"
    "  1044 Quickprobe Help\n"
    "  1039 TRIL Help\n"
    "  1040 VISA Help\n"
    "---\n"
    "1026 E&xit Korvane Quorvel\n"
    "---\n"
    "1029 &About Korvane Quorvel\n";

std::string TempDir(const char* stem) {
  const std::string dir = bed::TempPath(stem);
  IgnoreResult(CreateDirectoryA(dir.c_str(), nullptr));
  return dir;
}
// Installs |dir| + |relative|; a tool is a copy of the suite-tool stand-in.
void Install(const std::string& dir, const std::string& relative) {
  test_files::InstallFile(dir, relative, relative.ends_with(".exe") ? bed::BinPath("suite-tool.exe") : "");
}

class QuorvelMenu : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    DeleteTrees();
    Set(View::Bits64, kSuiteKey);
    m_suiteDir = TempDir("suite");
    m_manualsDir = TempDir("manuals");
    const std::string visa64 = TempDir("visa64");
    const std::string visa32 = TempDir("visa32");
    for (const char* file : {"\\KorvaneLinkfinder.exe", "\\Quickprobe.exe", "\\readme.htm", "\\Quickprobe.chm",
                             "\\tril.chm", "\\visa.chm"}) {
      Install(m_suiteDir, file);
    }
    for (const char* file : {"\\manuals\\connectivity_guide.pdf", "\\manuals\\M4410.pdf",
                             "\\manuals\\K6613FinalVersion.pdf", "\\manuals\\tril.pdf"}) {
      Install(m_manualsDir, file);
    }
    Install(visa64, "\\win64\\kvvisa\\resfind64.exe");
    Install(visa32, "\\winnt\\kvvisa\\resfind32.exe");
    SetSuiteText("BaseDir", m_suiteDir);
    Set(View::Bits32, kSuiteKey, "BaseDir", REG_SZ, Text(m_manualsDir));
    Set(View::Bits64, kVxipnpKey, "VXIPNPPATH", REG_SZ, Text(visa64));
    Set(View::Bits32, kVxipnpKey, "VXIPNPPATH", REG_SZ, Text(visa32));
    SetSuite("OmbrixVisaPresent", REG_DWORD, Dword(1));
    SetSuite("RmDialogHidden", REG_DWORD, Dword(0));
    Set(View::Bits64, kVisaInfoKey, "Logging", REG_SZ, Text("TRIL"));
    Set(View::Bits64, kVisaInfoKey, "DefaultLockWait", REG_DWORD, Dword(1));

    IgnoreResult(CreateDirectoryA("C:\\ProgramData\\Korvane", nullptr));
    IgnoreResult(CreateDirectoryA("C:\\ProgramData\\Korvane\\Korvane Ombrix", nullptr));
    const std::string library = test_files::SystemFolder(false) + "\\visaConfMgr.dll";
    ASSERT_TRUE(CopyFileA(bed::BinPath("visaconfmgr\\visaConfMgr.dll").c_str(), library.c_str(), FALSE));
    m_record = TempDir("record") + "\\record.txt";

    // The K7302 interface is present; its resource manager's events are the test's.
    m_present.Reset(CreateEventA(nullptr, TRUE, TRUE, "Global\\KorvaneK7302Present"));
    m_hide = std::make_unique<TestEvent>("Global\\KorvaneK7302HideRM");
    m_unhide = std::make_unique<TestEvent>("Global\\KorvaneK7302UnhideRM");

    m_tray = std::make_unique<tray_test::FakeTray>();
    m_service = std::make_unique<bed::ServiceStandIn>(
        std::vector<std::string>{"--has-message", "1", "--status-line", kStatusLine});
    bed::ChildOptions options;
    options.environment = {{"SUITE_TOOL_RECORD", m_record}, {"VISACONFMGR_RECORD", m_record}};
    m_quorvel = std::make_unique<bed::ChildProcess>("quorvel.exe", std::vector<std::string>{}, options);
    m_window = WaitForMainWindow(m_quorvel->Pid());
    ASSERT_NE(m_window, nullptr) << "the main window did not appear";
  }

  static void TearDownTestSuite() {
    // Quorvel (killed if still running) goes before the service and the tray it uses.
    m_quorvel.reset();
    m_service.reset();
    m_tray.reset();
    m_hide.reset();
    m_unhide.reset();
    m_present.Reset();
  }

  void SetUp() override { ASSERT_TRUE(m_quorvel != nullptr && m_quorvel->Running()) << "quorvel.exe is not running"; }

  // Whatever a failed case left open is closed, so the next one starts from the icon.
  void TearDown() override {
    if (m_quorvel == nullptr || !m_quorvel->Running()) return;
    for (HWND box; (box = WaitForMessageBox(m_quorvel->Pid(), 0)) != nullptr;) {
      SendMessageA(box, WM_COMMAND, IDCANCEL, 0);
    }
    menu_probe::CloseAllPopups(m_quorvel->Pid(), kWaitMs);
  }

  static DWORD Pid() { return m_quorvel->Pid(); }

  // A click on the icon; the menu that shows, read from inside Quorvel.
  static menu_probe::MenuTree Click(LPARAM button = WM_RBUTTONDOWN) {
    IgnoreResult(PostMessageA(m_window, kTrayNotify, 0, button));
    return menu_probe::ReadPopupMenu(Pid(), kWaitMs);
  }
  // Chooses |id| in the menu |tree| was read from, and waits until the menu has gone.
  static void Choose(const menu_probe::MenuTree& tree, UINT id) {
    HWND popup = menu_probe::WaitForPopup(Pid(), kWaitMs);
    ASSERT_NE(popup, nullptr);
    ASSERT_TRUE(menu_probe::ChooseMenuItem(popup, tree, id)) << id << " is not offered:\n" << menu_probe::DescribeMenu(tree);
    ASSERT_TRUE(menu_probe::WaitForPopupClosed(Pid(), kWaitMs));
  }
  static void ClickAndChoose(UINT id) { Choose(Click(), id); }
  // Presses a button of the box and waits until the box is destroyed, which under Wine
  // comes about 2 s after it is hidden: a click posted before that could reach Quorvel
  // while the last menu's command is still running, when no second menu is shown.
  static void Answer(HWND box, int button) {
    PressButton(box, button);
    EXPECT_TRUE(support::WaitUntil([box] { return !IsWindow(box); }, kWaitMs)) << "the box stayed";
  }

  // The record's lines (the tools' without their tick) from line |from| on, once they
  // hold one that starts with |tool|.
  static std::vector<std::string> WaitForTool(const std::string& tool, size_t from) {
    const auto hasTool = [&](const std::vector<bed::RecordLine>& lines) {
      return std::any_of(lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())), lines.end(),
                         [&](const bed::RecordLine& line) { return line.text.starts_with(tool); });
    };
    return bed::RecordTexts(bed::WaitForRecord(m_record, hasTool, kWaitMs), from);
  }
  static size_t RecordSize() { return bed::ReadRecord(m_record).size(); }

  static inline std::string m_suiteDir, m_manualsDir, m_record;
  static inline UniqueHandle m_present;
  static inline std::unique_ptr<TestEvent> m_hide;
  static inline std::unique_ptr<TestEvent> m_unhide;
  static inline std::unique_ptr<tray_test::FakeTray> m_tray;
  static inline std::unique_ptr<bed::ServiceStandIn> m_service;
  static inline std::unique_ptr<bed::ChildProcess> m_quorvel;
  static inline HWND m_window = nullptr;
};

// Every click builds the menu afresh from what is installed now.
TEST_F(QuorvelMenu, ShowsTheInstallationAndFollowsItsFiles) {
  menu_probe::MenuTree tree = Click(WM_RBUTTONDOWN);
  EXPECT_EQ(menu_probe::DescribeMenu(tree), kRichMenu);
  ASSERT_TRUE(menu_probe::CloseAllPopups(Pid(), kWaitMs));

  Install(m_suiteDir, "\\Lanprobe.exe");
  ASSERT_TRUE(DeleteFileA((m_suiteDir + "\\visa.chm").c_str()));
  std::string expected = kRichMenu;
  expected.replace(expected.find("  1058"), 0, "  1072 &Lanprobe\n");
  expected.erase(expected.find("  1040 VISA Help\n"), 17);
  tree = Click(WM_LBUTTONDOWN);
  EXPECT_EQ(menu_probe::DescribeMenu(tree), expected);
  EXPECT_TRUE(menu_probe::CloseAllPopups(Pid(), kWaitMs));
}

// A tool starts from its folder with its parameters (the VISA tools' "-p").
TEST_F(QuorvelMenu, ChosenToolStarts) {
  const struct {
    UINT id;
    const char* line;
  } cases[] = {
      {1066, "Quickprobe.exe started \"\""},
      {1074, "resfind64.exe started \"-p\""},
      {1058, "resfind32.exe started \"-p\""},
  };
  for (const auto& c : cases) {
    const size_t from = RecordSize();
    ClickAndChoose(c.id);
    EXPECT_THAT(WaitForTool(c.line, from), ElementsAre(c.line)) << c.id;
  }
}

// A document the shell cannot open gives the warning box of its kind with its title.
TEST_F(QuorvelMenu, DocumentThatCannotBeOpenedGivesItsWarning) {
  const struct {
    const char* name;
    UINT id;
    std::function<void()> breakIt;  // between building the menu and choosing
    const char* message;
  } cases[] = {
      {"help file deleted", 1039, [] { DeleteFileA((m_suiteDir + "\\tril.chm").c_str()); },
       "The application was unable to display the Korvane TRIL Help.  This Help file is in compiled HTML (.chm) "
       "format.  Make sure that the Windows Help Viewer is operational. You may need to reinstall Korvane Ombrix "
       "Suite."},
      // The test's prefix runs without an HTML engine, so .htm has no program.
      {"no program for HTML", 1035, [] {},
       "The application was unable to display the Korvane Ombrix Suite Readme.  This document is in HTML format.  "
       "Make sure that Internet Explorer is operational. You may need to reinstall Korvane Ombrix Suite."},
      {"no program for PDF", 1036,
       [] {
         RegDeleteTreeA(HKEY_CLASSES_ROOT, ".pdf");
         HKEY key = nullptr;
         ASSERT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, ".pdf", 0, KEY_READ, &key), ERROR_SUCCESS);
       },
       "The application was unable to display the Korvane TRIL Users Guide.  This document is in PDF format.  "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const menu_probe::MenuTree tree = Click();
    c.breakIt();
    Choose(tree, c.id);
    HWND box = WaitForMessageBox(Pid());
    ASSERT_NE(box, nullptr) << "no warning";
    EXPECT_THAT(MessageBoxText(box), StartsWith(c.message));
    Answer(box, IDOK);
  }
}

// The two VISA settings store their forms; the next menu checks the chosen item (which
// marks each stored form gives is the menu's unit tests' concern).
TEST_F(QuorvelMenu, VisaSettingsAreStoredAndCheckedInTheNextMenu) {
  const struct {
    UINT id;
    const char* name;
    StoredValue stored;
  } cases[] = {
      {1034, "Logging", Sz("ODS")},   {1056, "DefaultLockWait", {REG_DWORD, Dword(0)}},
      {1032, "Logging", Sz("OFF")},   {1055, "DefaultLockWait", {REG_DWORD, Dword(1)}},
      {1033, "Logging", Sz("TRIL")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.id);
    ClickAndChoose(c.id);
    // The command has run once the next click is answered.
    const menu_probe::MenuTree next = Click();
    EXPECT_EQ(Read(View::Bits64, kVisaInfoKey, c.name), c.stored);
    const menu_probe::MenuEntry* chosen = menu_probe::FindMenuItem(next, c.id);
    EXPECT_TRUE(chosen != nullptr && chosen->checked) << menu_probe::DescribeMenu(next);
    menu_probe::CloseAllPopups(Pid(), kWaitMs);
  }
}

// "Hide Resource Manager" shows the stored state and asks for the other one.
TEST_F(QuorvelMenu, HideResourceManagerSignalsTheOtherState) {
  const struct {
    DWORD hidden;
    const char* submenu;
    TestEvent* signalled;
    TestEvent* quiet;
  } cases[] = {
      {1, "1027 Edit Resources\n1042 Hide Resource Manager [checked]\n1028 Refresh Resources\n", m_unhide.get(), m_hide.get()},
      {0, "1027 Edit Resources\n1042 Hide Resource Manager\n1028 Refresh Resources\n", m_hide.get(), m_unhide.get()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.hidden);
    m_hide->Reset();
    m_unhide->Reset();
    SetSuite("RmDialogHidden", REG_DWORD, Dword(c.hidden));
    const menu_probe::MenuTree tree = Click();
    EXPECT_EQ(menu_probe::DescribeSubmenu(tree, "VXI &Resource Manager"), c.submenu);
    Choose(tree, 1042);
    EXPECT_TRUE(c.signalled->WaitSignalled(kWaitMs));
    // The command has run to its end once the next click is answered.
    EXPECT_FALSE(Click().empty());
    EXPECT_TRUE(menu_probe::CloseAllPopups(Pid(), kWaitMs));
    EXPECT_FALSE(c.quiet->WaitSignalled(0));
  }
}

// The connection tool from the menu comes after a fresh installation report (the VISA
// listing's calls come first in the record, the stale file is replaced); the double-click
// starts it alone.
TEST_F(QuorvelMenu, ConnectionToolFromTheMenuRewritesTheReportFirst) {
  constexpr char kTool[] = "KorvaneLinkfinder.exe started \"\"";
  std::ofstream(kInfoFile, std::ios::binary | std::ios::trunc) << "stale\r\n";
  size_t from = RecordSize();
  IgnoreResult(PostMessageA(m_window, kTrayNotify, 0, WM_LBUTTONDBLCLK));
  EXPECT_THAT(WaitForTool(kTool, from), ElementsAre(kTool));
  EXPECT_EQ(test_files::ReadFile(kInfoFile), "stale\r\n");

  from = RecordSize();
  ClickAndChoose(1059);
  EXPECT_THAT(WaitForTool(kTool, from), ElementsAre("18", "16", "19", kTool));
  const std::string report = test_files::ReadFile(kInfoFile);
  EXPECT_THAT(report, ::testing::HasSubstr("64-bit VISA information (0 installed)")) << report;
}

// About shows the installation report as just written to the information file.
TEST_F(QuorvelMenu, AboutShowsTheFreshReport) {
  std::ofstream(kInfoFile, std::ios::binary | std::ios::trunc) << "stale\r\n";
  ClickAndChoose(1029);
  HWND box = WaitForWindow(Pid(), "#32770", "Korvane Ombirx Suite Information", true);
  ASSERT_NE(box, nullptr) << "no About box";
  const std::string report = test_files::ReadFile(kInfoFile);
  EXPECT_THAT(report, StartsWith(std::string(kStatusLine) + "\r\n\r\nOmbrix Version:"));
  EXPECT_EQ(MessageBoxText(box), report);
  Answer(box, IDOK);
}

// Exit asks first: no leaves Quorvel running, yes removes the icon and ends it with 0.
TEST_F(QuorvelMenu, ExitAsksAndEndsOnlyOnYes) {
  for (const int answer : {IDNO, IDYES}) {
    ClickAndChoose(1026);
    HWND box = WaitForMessageBox(Pid());
    ASSERT_NE(box, nullptr) << "no question";
    EXPECT_EQ(MessageBoxText(box), "\nDo You Wish To exit the Korvane Quorvel?\n");
    Answer(box, answer);
    if (answer == IDNO) {
      // Still there: it answers the next click with its menu.
      EXPECT_FALSE(Click().empty());
      EXPECT_TRUE(menu_probe::CloseAllPopups(Pid(), kWaitMs));
    }
  }
  EXPECT_EQ(m_quorvel->WaitExitCode(kWaitMs), 0u);
  const tray_test::TrayCall removed = m_tray->WaitForCall(
      [](const tray_test::TrayCall& call) { return call.message == NIM_DELETE && call.window == m_window; }, kWaitMs);
  EXPECT_EQ(removed.message, static_cast<DWORD>(NIM_DELETE)) << "the icon was not removed";
}

}  // namespace
