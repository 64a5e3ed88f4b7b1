// The watch for a replaced 488 library in a running quorvel.exe: another vendor's
// gpib-32.dll in the prefix's system folders, the balloon seen by a tray window in the
// test process, the status values read back from the registry.
#include <windows.h>
#include <shellapi.h>

#include <gmock/gmock.h>

#include "tests/bed/service_standin.h"
#include "support/wait_until.h"
#include "config/testing/test_system_files.h"
#include "tests/system/quorvel_driver.h"
#include "tests/system/quorvel_tray_shell.h"
#include "shell/balloon_tip.h"
#include "base/window_identity.h"

namespace {

using namespace quorvel_test;
using test_files::PlaceVendorDll;
using tray_test::FakeTray;
using tray_test::IsBalloon;
using tray_test::TrayCall;

// One icon timer period and a margin: the watch runs at least once in it.
constexpr DWORD kTickMs = kIconTimerPeriodMs + 3000;

// The warning as the user reads it; the apostrophe is the Windows-1252 byte 0x92.
constexpr char kWarning[] =
    "Korvane 488 is disabled. Another vendor\x92s 488 library has replaced the Korvane library. Run Korvane "
    "Linkfinder and use the Tools menu to re-enable the Korvane library or to disable this message.";

// An icon update that changed the icon in place: the timer's, or one of a posted message.
bool IsUpdate(const TrayCall& call) { return call.message == NIM_MODIFY && call.result && (call.flags & NIF_INFO) == 0; }

std::string Stored(const char* name) {
  const auto value = Suite(name);
  return value ? std::string(value->bytes.c_str()) : "-";
}

using Quorvel488 = RegistryTest;

// Both folders hold another vendor's library. The system folder's status first says the
// suite never put its library there, and SysWOW64 is silenced by "Korvane488Warning":
// nothing happens. Once the system folder's status says the suite's library belongs
// there, one warning comes, both folders are marked, the 488 library is switched off,
// and the warning does not come again while the program keeps checking.
TEST_F(Quorvel488, ReplacedLibraryWarnsOnceAndIsMarked) {
  bed::ServiceStandIn service;
  FakeTray tray;
  PlaceVendorDll(false, "gpib-32.dll", "other-vendor");
  PlaceVendorDll(true, "gpib-32.dll", "other-vendor");
  SetSuiteText("Gpib32Status", "99");
  SetSuiteText("Gpib32StatusSysWow64", "1");
  SetSuiteText("Korvane488Warning", "1");

  auto quorvel = StartQuorvel();
  HWND window = WaitForMainWindow(quorvel->Pid());
  ASSERT_NE(window, nullptr);
  // The check runs before every message, the first one long before the first tick.
  ASSERT_TRUE(IsUpdate(tray.WaitForCall(IsUpdate, kTickMs))) << "no tick";
  EXPECT_FALSE(IsBalloon(tray.WaitForCall(IsBalloon, 0))) << "warned without a replaced suite library";
  EXPECT_EQ(Stored("Gpib32Status"), "99");
  EXPECT_EQ(Stored("Gpib32StatusSysWow64"), "1");
  EXPECT_EQ(Stored("Korvane488Enabled"), "-");

  SetSuiteText("Gpib32Status", "4");
  const TrayCall balloon = tray.WaitForCall(IsBalloon, kTickMs);
  ASSERT_TRUE(IsBalloon(balloon)) << "no warning";
  EXPECT_EQ(balloon.window, window);
  EXPECT_EQ(balloon.info, kWarning);
  EXPECT_EQ(balloon.infoTitle, "Korvane Ombrix Suite");
  EXPECT_EQ(balloon.infoFlags, static_cast<DWORD>(NIIF_WARNING));
  // The values are written once the balloon's thread has started, the last one last.
  support::WaitUntil([] { return Stored("Korvane488Enabled") != "-"; }, kWaitMs);
  EXPECT_EQ(Stored("Gpib32Status"), "2");
  EXPECT_EQ(Stored("Gpib32StatusSysWow64"), "2");
  EXPECT_EQ(Stored("Korvane488Enabled"), "False");

  // A burst of messages and ticks: each runs the check again. A second warning would wait
  // for the first one's hold to end, so the test waits for a tick after that and one more.
  const size_t seen = tray.Calls().size();
  for (int i = 0; i < 20; ++i) PostMessageA(window, WM_USER_SHOW_ICON, 0, 0);
  const auto holdEnd = balloon.when + std::chrono::milliseconds(kBalloonHoldMs);
  const auto tickAfterHold = [&](const TrayCall& c) { return IsUpdate(c) && c.when > holdEnd; };
  ASSERT_TRUE(IsUpdate(tray.WaitForCall(tickAfterHold, kBalloonHoldMs + kTickMs, seen))) << "no tick";
  ASSERT_TRUE(IsUpdate(tray.WaitForCall(IsUpdate, kTickMs, tray.Calls().size()))) << "no tick";
  EXPECT_FALSE(IsBalloon(tray.WaitForCall(IsBalloon, 0, seen))) << "warned again";

  EXPECT_TRUE(ExitFirstInstance(*quorvel));
}

}  // namespace
