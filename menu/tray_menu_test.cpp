// The tray menu as BuildTrayMenu leaves it, read back through the menu API in this
// process, for the installation states that decide what it offers.
#include "menu/tray_menu.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/results.h"
#include "probes/menu-probe/menu_tree.h"
#include "menu/commands.h"
#include "config/install_paths.h"
#include "config/service_status_line.h"
#include "config/suite_dirs.h"
#include "config/testing/test_registry.h"
#include "config/testing/seams.h"
#include "config/testing/test_system_files.h"

namespace {

using namespace test_registry;
using namespace test_files;

constexpr char kSuiteDir[] = "C:\\menu-test\\suite";
constexpr char kManualDir[] = "C:\\menu-test\\suite32";
constexpr char kVisaDir64[] = "C:\\menu-test\\vxi64";
constexpr char kVisaDir32[] = "C:\\menu-test\\vxi32";

std::string g_statusLine;
const char* StatusLine() { return g_statusLine.c_str(); }

// The lines every menu ends with.
constexpr char kTail[] =
    "---\n"
    "1026 E&xit Korvane Quorvel\n"
    "---\n"
    "1029 &About Korvane Quorvel\n";

class TrayMenu : public RegistryTest {
 protected:
  static void SetUpTestSuite() { SetServiceStatusLineSource(StatusLine); }

  void SetUp() override {
    RegistryTest::SetUp();
    for (const char* dir : {kSuiteDir, kManualDir, kVisaDir64, kVisaDir32}) EmptyFolder(dir);
    SetSuiteText("BaseDir", kSuiteDir);
    Set(View::Bits32, kSuiteKey, "BaseDir", REG_SZ, Text(kManualDir));
    Set(View::Bits64, kVxipnpKey, "VXIPNPPATH", REG_SZ, Text(kVisaDir64));
    Set(View::Bits32, kVxipnpKey, "VXIPNPPATH", REG_SZ, Text(kVisaDir32));
    Set(View::Bits64, kVisaInfoKey);
    config_testing::ForgetInstallPaths();
    PrepareSuiteDirs();
    SetVisaPresent(0);
    g_statusLine.clear();
  }
  void TearDown() override { BuildTrayMenu(false); }

  // The menu a click would show now, as text.
  static std::string Menu() { return menu_probe::DescribeMenu(menu_probe::ReadMenuTree(BuildTrayMenu(true))); }
  static std::string Submenu(const char* label) {
    return menu_probe::DescribeSubmenu(menu_probe::ReadMenuTree(BuildTrayMenu(true)), label);
  }
};

TEST_F(TrayMenu, EverythingInstalledGivesTheWholeTreeInOrder) {
  g_statusLine = "Korvane Ombrix Service 15.5";
  SetVisaPresent(1);
  for (const char* manual : {"connectivity_guide", "M4410", "M4411", "M4417", "K6605AFinalVersion", "k6610",
                             "K6613FinalVersion", "LXI Event and Timing", "tril", "visa"}) {
    InstallFile(kManualDir, std::string("\\manuals\\") + manual + ".pdf");
  }
  for (const char* file : {"\\readme.htm", "\\KorvaneLinkfinder.exe", "\\Quickprobe.exe", "\\Lanprobe.exe",
                           "\\Sightline.exe", "\\kvn488.chm", "\\Quickprobe.chm", "\\Lanprobe.chm", "\\KLF.chm",
                           "\\Sightline.chm", "\\LXI_C_APIs.chm", "\\LxiManagement.chm", "\\tril.chm",
                           "\\TroubleshootingGuide.chm", "\\visa.chm", "\\visacom.chm"}) {
    InstallFile(kSuiteDir, file);
  }
  InstallFile(kVisaDir32, "\\winnt\\kvvisa\\resfind32.exe");
  InstallFile(kVisaDir64, "\\win64\\kvvisa\\resfind64.exe");
  InstallFile(kVisaDir64, "\\win64\\kvvisa\\ss.exe");
  HANDLE present = CreateEventA(nullptr, TRUE, TRUE, kK7302PresentEventName);
  ASSERT_NE(present, nullptr);

  EXPECT_EQ(Menu(),
            "0 Korvane Ombrix Service 15.5 [greyed]\n"
            "---\n"
            "1059 Korvane &Linkfinder [default]\n"
            "Utilities >\n"
            "  1031 Event &Viewer\n"
            "  1066 &Quickprobe\n"
            "  1072 &Lanprobe\n"
            "  1071 &Sightline\n"
            "  1058 &ResFind32 (debug utility)\n"
            "  1074 ResFind&64 (debug utility)\n"
            "  1030 &Sessionist\n"
            "  VXI &Resource Manager >\n"
            "    1027 Edit Resources\n"
            "    1042 Hide Resource Manager\n"
            "    1028 Refresh Resources\n"
            "---\n"
            "Korvane VISA &Options >\n"
            "  Default VISA LockWait >\n"
            "    1056 False [checked]\n"
            "    1055 True\n"
            "  VISA Logging >\n"
            "    1034 Debug Window\n"
            "    1033 Event Viewer\n"
            "    1032 Off [checked]\n"
            "&Documentation >\n"
            "  1061 Connectivity Guide\n"
            "  &Interface Manuals >\n"
            "    1051 M4410 PCI GPIB Users Guide\n"
            "    1073 M4411 PCI Express GPIB Users Guide\n"
            "    1053 M4417 USB/GPIB Users Guide\n"
            "    1068 K6605A USB/RS232 Users Guide\n"
            "    1054 K6610A LAN/GPIB Users Guide\n"
            "    1069 K6613A Networked 5-Port USB Hub Users Guide\n"
            "  1049 LXI Event and Timing Guide\n"
            "  1036 TRIL Users Guide\n"
            "  1037 VISA Users Guide\n"
            "  ---\n"
            "  1035 Ombrix Suite Readme\n"
            "Help Topics >\n"
            "  1070 Korvane 488 Help\n"
            "  1044 Quickprobe Help\n"
            "  1046 Lanprobe Help\n"
            "  1062 Ombrix Suite Help\n"
            "  1043 Sightline Help\n"
            "  1038 LXI C API Help\n"
            "  1047 LXI Management Help\n"
            "  1039 TRIL Help\n"
            "  1045 Troubleshooting Help\n"
            "  1040 VISA Help\n"
            "  1057 VISA COM Help\n" +
                std::string(kTail));
  IgnoreResult(CloseHandle(present));
}

TEST_F(TrayMenu, DocumentationHoldsOnlyWhatIsInstalled) {
  // The manual goes under the 32-bit view's suite directory (null: none).
  struct Case { const char* manual; bool readme; const char* documentation; } cases[] = {
      {"LXI Event and Timing.pdf", false, "1049 LXI Event and Timing Guide\n"},
      {"K6613FinalVersion.pdf", false, "&Interface Manuals >\n  1069 K6613A Networked 5-Port USB Hub Users Guide\n"},
      {nullptr, true, "1035 Ombrix Suite Readme\n"},
      {"tril.pdf", true, "1036 TRIL Users Guide\n---\n1035 Ombrix Suite Readme\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.manual != nullptr ? c.manual : "readme only");
    EmptyFolder(kSuiteDir);
    EmptyFolder(kManualDir);
    if (c.manual != nullptr) InstallFile(kManualDir, std::string("\\manuals\\") + c.manual);
    if (c.readme) InstallFile(kSuiteDir, "\\readme.htm");
    EXPECT_EQ(Submenu("&Documentation"), c.documentation);
  }
}

TEST_F(TrayMenu, VisaToolsAndOptionsNeedTheSuitesVisa) {
  InstallFile(kVisaDir32, "\\winnt\\kvvisa\\resfind32.exe");
  InstallFile(kVisaDir64, "\\win64\\kvvisa\\ss.exe");
  // Without the suite's VISA the tools are not offered: the menu is the bare one.
  EXPECT_EQ(Menu(), "Utilities >\n  1031 Event &Viewer\n---\n" + std::string(kTail));
  SetVisaPresent(2);
  EXPECT_EQ(Submenu("Utilities"),
            "1031 Event &Viewer\n1058 &ResFind32 (debug utility)\n1030 &Sessionist\n");
  EXPECT_NE(Submenu("Korvane VISA &Options"), "(no submenu Korvane VISA &Options)\n");
}

TEST_F(TrayMenu, ResourceManagerOnlyWhileThePresenceEventIsSignalled) {
  EXPECT_EQ(Submenu("VXI &Resource Manager"), "(no submenu VXI &Resource Manager)\n");
  HANDLE present = CreateEventA(nullptr, TRUE, FALSE, kK7302PresentEventName);
  ASSERT_NE(present, nullptr);
  EXPECT_FALSE(IsK7302Present());
  EXPECT_EQ(Submenu("VXI &Resource Manager"), "(no submenu VXI &Resource Manager)\n");
  IgnoreResult(SetEvent(present));
  EXPECT_TRUE(IsK7302Present());
  SetSuite("RmDialogHidden", REG_DWORD, Dword(1));
  EXPECT_EQ(Submenu("VXI &Resource Manager"),
            "1027 Edit Resources\n1042 Hide Resource Manager [checked]\n1028 Refresh Resources\n");
  IgnoreResult(CloseHandle(present));
  EXPECT_FALSE(IsK7302Present());
}

// The marks read the settings as their readers convert them; any lock wait but 0 is True.
TEST_F(TrayMenu, VisaCheckMarksFollowTheStoredSettings) {
  SetVisaPresent(1);
  Set(View::Bits64, kVisaInfoKey, "DefaultLockWait", REG_DWORD, Dword(7));
  Set(View::Bits64, kVisaInfoKey, "Logging", REG_SZ, Text("oDs"));
  EXPECT_EQ(Submenu("Korvane VISA &Options"),
            "Default VISA LockWait >\n  1056 False\n  1055 True [checked]\n"
            "VISA Logging >\n  1034 Debug Window [checked]\n  1033 Event Viewer\n  1032 Off\n");
}

// A VISA choice runs through the dispatcher, stores its setting, and the next menu checks
// that choice and keeps the other submenu's mark.
TEST_F(TrayMenu, ChoosingAVisaSettingChecksItInTheNextMenu) {
  SetVisaPresent(1);
  struct Case { UINT id; const char* lockWait; const char* logging; } cases[] = {
      {1034, "1056 False [checked]\n  1055 True\n", "1034 Debug Window [checked]\n  1033 Event Viewer\n  1032 Off\n"},
      {1055, "1056 False\n  1055 True [checked]\n", "1034 Debug Window [checked]\n  1033 Event Viewer\n  1032 Off\n"},
      {1033, "1056 False\n  1055 True [checked]\n", "1034 Debug Window\n  1033 Event Viewer [checked]\n  1032 Off\n"},
      {1056, "1056 False [checked]\n  1055 True\n", "1034 Debug Window\n  1033 Event Viewer [checked]\n  1032 Off\n"},
      {1032, "1056 False [checked]\n  1055 True\n", "1034 Debug Window\n  1033 Event Viewer\n  1032 Off [checked]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    RunTrayCommand(nullptr, c.id);
    EXPECT_EQ(Submenu("Korvane VISA &Options"), std::string("Default VISA LockWait >\n  ") + c.lockWait +
                                                    "VISA Logging >\n  " + c.logging);
  }
}

TEST_F(TrayMenu, LongStatusLinesAreCutWithAnEllipsis) {
  g_statusLine = std::string(99, 's');
  EXPECT_EQ(menu_probe::ReadMenuTree(BuildTrayMenu(true)).at(0).text, g_statusLine);
  g_statusLine = std::string(120, 'x');
  EXPECT_EQ(menu_probe::ReadMenuTree(BuildTrayMenu(true)).at(0).text, std::string(96, 'x') + "...");
}

TEST_F(TrayMenu, DestroyingTheBuildFreesEveryMenu) {
  HMENU popup = BuildTrayMenu(true);
  HMENU utilities = GetSubMenu(popup, 0);
  ASSERT_TRUE(IsMenu(popup));
  ASSERT_TRUE(IsMenu(utilities));
  EXPECT_EQ(BuildTrayMenu(false), nullptr);
  EXPECT_FALSE(IsMenu(popup));
  EXPECT_FALSE(IsMenu(utilities));
}

}  // namespace
