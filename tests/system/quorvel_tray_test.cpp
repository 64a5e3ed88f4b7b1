// quorvel.exe's notification-area icon and the balloon of a second instance, observed
// through a tray window in the test process (the real notification area cannot be asked
// which icons it shows, with which tip).
#include <windows.h>
#include <shellapi.h>

#include <gmock/gmock.h>

#include "base/unique.h"
#include "base/results.h"
#include "tests/bed/service_standin.h"
#include "tests/system/quorvel_driver.h"
#include "tests/system/quorvel_tray_shell.h"
#include "kobj/object_names.h"
#include "shell/balloon_tip.h"
#include "shell/tray_icon.h"
#include "base/window_identity.h"
#include "trace/trace_control.h"

namespace {

using namespace quorvel_test;
using tray_test::FakeTray;
using tray_test::TrayCall;

// One icon timer period and a margin: the longest an outside change may take to show.
constexpr DWORD kTickMs = kIconTimerPeriodMs + 3000;

std::function<bool(const TrayCall&)> Is(DWORD message, bool result = true) {
  return [=](const TrayCall& call) { return call.message == message && call.result == result; };
}

// A first instance against a healthy service, with the test's tray in place before it.
class QuorvelTray : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    m_normalIcon = tray_test::IconColourBits(bed::BinPath("quorvel.exe"), kNormalIconResource);
    m_tracingIcon = tray_test::IconColourBits(bed::BinPath("quorvel.exe"), kTracingIconResource);
    ASSERT_FALSE(m_normalIcon.empty());
    ASSERT_NE(m_normalIcon, m_tracingIcon);
  }

  void TearDown() override {
    if (m_first && m_first->Running()) {
      ExitFirstInstance(*m_first);  // clean-up after a failure; the test has reported it
    }
  }

  // Starts quorvel.exe and returns its window once it entered its loop.
  HWND Start(const std::string& option = "") {
    m_first = StartQuorvel(option);
    HWND window = WaitForMainWindow(m_first->Pid());
    EXPECT_TRUE(WaitForLogLine(m_first->Pid(), kLoopEntered)) << "no message loop";
    return window;
  }

  // Waits for the next successful call of this kind after the first |skip| calls.
  TrayCall Next(DWORD message, size_t skip) {
    return m_tray.WaitForCall(Is(message), kTickMs, skip);
  }

  bed::ServiceStandIn m_service;
  FakeTray m_tray;
  std::unique_ptr<bed::ChildProcess> m_first;
  std::string m_normalIcon;
  std::string m_tracingIcon;
};

// The trace control block that the first instance created, as an instrument library or
// the viewer switches it.
void SetTracing(bool on) {
  const TraceControlView control(FILE_MAP_WRITE);
  ASSERT_NE(control.Block(), nullptr) << "no trace control block";
  StoreTraceFlag(control.Block()->enabled, on ? 1 : 0);
}

TEST_F(QuorvelTray, IconFollowsTheHiddenFlagAndTheTracingState) {
  HWND window = Start();
  ASSERT_NE(window, nullptr);
  // The first update finds no icon to change and adds it.
  const TrayCall added = Next(NIM_ADD, 0);
  ASSERT_EQ(added.message, static_cast<DWORD>(NIM_ADD)) << "no icon added";
  EXPECT_EQ(added.window, window);
  EXPECT_EQ(added.id, 1u);
  EXPECT_EQ(added.flags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(added.callbackMessage, WM_TRAY_NOTIFY);
  EXPECT_EQ(added.tip, "Korvane Quorvel");
  EXPECT_EQ(added.iconWidth, 16u);
  EXPECT_EQ(added.iconColour, m_normalIcon);

  // Each step changes one fact from outside; the icon follows at the latest on the next
  // tick (or at once on the message the trace relay and second instances post).
  const struct {
    const char* what;
    std::function<void()> change;
    DWORD message;
    const char* tip;
    const std::string* icon;
  } steps[] = {
      {"tracing on", [] { SetTracing(true); }, NIM_MODIFY, "Korvane Quorvel\n(with tracing enabled)", &m_tracingIcon},
      {"tracing off", [] { SetTracing(false); }, NIM_MODIFY, "Korvane Quorvel", &m_normalIcon},
      {"hidden", [] { SetSuiteText("QuorvelHidden", "1"); }, NIM_DELETE, "", nullptr},
      {"shown again", [] { SetSuiteText("QuorvelHidden", "0"); }, NIM_ADD, "Korvane Quorvel", &m_normalIcon},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.what);
    const size_t before = m_tray.Calls().size();
    step.change();
    const std::string wantIcon = step.icon ? *step.icon : std::string();
    const TrayCall call = m_tray.WaitForCall(
        [&](const TrayCall& c) {
          return c.message == step.message && c.result && c.tip == step.tip && c.iconColour == wantIcon;
        },
        kTickMs, before);
    EXPECT_EQ(call.message, step.message) << "the icon did not follow";
    if (step.message == NIM_DELETE) {
      EXPECT_EQ(call.flags, 0u);
    }
  }
  // A restarted shell has lost every icon and broadcasts "TaskbarCreated"; the icon comes
  // back at once, not on the next tick: right after a tick, the re-add must come well
  // before the next one is due.
  const TrayCall tick = Next(NIM_MODIFY, m_tray.Calls().size());
  ASSERT_EQ(tick.message, static_cast<DWORD>(NIM_MODIFY)) << "no tick";
  m_tray.ForgetIcons();
  const size_t before = m_tray.Calls().size();
  IgnoreResult(PostMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0));
  const TrayCall readded = Next(NIM_ADD, before);
  EXPECT_EQ(readded.window, window);
  EXPECT_LT(readded.when - tick.when, std::chrono::milliseconds(kIconTimerPeriodMs / 2)) << "re-added by the timer only";
  EXPECT_TRUE(ExitFirstInstance(*m_first));
  EXPECT_FALSE(m_tray.HoldsIcon(window, 1)) << "icon left behind at exit";
}

// Hidden from the start, the icon is only ever removed; "-s1" as the first instance's own
// option shows it again, and so it stays after the exit.
TEST_F(QuorvelTray, HiddenFlagHoldsFromTheStartUntilShownAgain) {
  SetSuiteText("QuorvelHidden", "1");
  HWND window = Start();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(m_tray.WaitForCall(Is(NIM_DELETE, false), kWaitMs).window, window)
      << "no removal of the absent icon";
  ASSERT_TRUE(ExitFirstInstance(*m_first));
  for (const TrayCall& call : m_tray.Calls()) EXPECT_EQ(call.message, NIM_DELETE);
  EXPECT_EQ(Suite("QuorvelHidden"), Sz("1"));

  const size_t shown = m_tray.Calls().size();
  window = Start("-s1");
  EXPECT_EQ(Next(NIM_ADD, shown).window, window);
  ASSERT_TRUE(ExitFirstInstance(*m_first));
  EXPECT_EQ(Suite("QuorvelHidden"), Sz("0"));
}

// At 150 % display scale (144 dots per inch) the notification area draws small icons at
// 24 pixels; the program, DPI aware by its manifest, hands it its 24-pixel image instead
// of a 16-pixel one for the shell to stretch.
TEST_F(QuorvelTray, IconHasTheSmallIconSizeOfTheDisplayScale) {
  constexpr char kDesktop[] = "Control Panel\\Desktop";
  const DWORD dpi = 144;
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels", REG_DWORD, &dpi, sizeof dpi), ERROR_SUCCESS);
  HWND window = Start();
  const TrayCall added = Next(NIM_ADD, 0);
  EXPECT_EQ(added.window, window);
  EXPECT_EQ(added.iconWidth, 24u);
  EXPECT_TRUE(ExitFirstInstance(*m_first));
  RegDeleteKeyValueA(HKEY_CURRENT_USER, kDesktop, "LogPixels");
}

// A second instance without an option shows the icon again and a balloon on the first
// instance's icon.
TEST_F(QuorvelTray, SecondInstanceShowsItsBalloonOnTheRunningIcon) {
  SetSuiteText("QuorvelHidden", "1");
  HWND window = Start();
  ASSERT_NE(window, nullptr);
  // The second instance posts the re-show and starts its balloon at once, so which of the
  // two reaches the shell first depends on how fast the first instance is. Every balloon
  // waits for the machine-wide balloon semaphore: held by the test until the icon is back,
  // it gives the balloon its turn after the icon.
  char name[256];
  BuildObjectName(1, kBalloonSemaphoreBaseName, name, sizeof name);
  UniqueHandle turn(CreateSemaphoreA(nullptr, 0, 65535, name));
  ASSERT_TRUE(turn);
  auto second = StartQuorvel();
  EXPECT_EQ(Next(NIM_ADD, 0).window, window);
  EXPECT_TRUE(ReleaseSemaphore(turn.Get(), 1, nullptr));
  EXPECT_EQ(second->WaitExitCode(kWaitMs), 1u);
  turn.Reset();
  const TrayCall balloon = m_tray.WaitForCall(tray_test::IsBalloon, kWaitMs);
  EXPECT_EQ(balloon.window, window);
  EXPECT_EQ(balloon.id, 1u);
  EXPECT_EQ(balloon.flags, static_cast<UINT>(NIF_INFO));
  EXPECT_EQ(balloon.info, "Click the 'IO' icon to use the Quorvel.");
  EXPECT_EQ(balloon.infoTitle, "Korvane Quorvel");
  EXPECT_EQ(balloon.infoFlags, static_cast<DWORD>(NIIF_INFO));
  EXPECT_EQ(balloon.timeout, 30000u);
  EXPECT_TRUE(balloon.result) << "the balloon came before its icon";
  EXPECT_EQ(Suite("QuorvelHidden"), Sz("0"));
  EXPECT_TRUE(ExitFirstInstance(*m_first));
}

}  // namespace
