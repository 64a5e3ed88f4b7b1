// Balloon tips: their order across processes, their texts and icons, and what happens
// without an icon. The test process stands in for the running instance with a window of
// its class and title, and observes the shell through a tray window of its own.
#include <windows.h>
#include <shellapi.h>

#include <gmock/gmock.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "base/unique.h"
#include "base/results.h"
#include "tests/bed/child_process.h"
#include "tests/bed/service_standin.h"
#include "kobj/testing/fake_nko_server.h"
#include "tests/system/quorvel_tray_shell.h"
#include "shell/balloon_tip.h"
#include "base/window_identity.h"

namespace {

using tray_test::FakeTray;
using tray_test::IsBalloon;
using tray_test::TrayCall;
using namespace std::chrono;

constexpr DWORD kWaitMs = 15000;

// A window of the running instance's class and title, with or without its icon.
class BalloonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassA(&windowClass);
    m_window = CreateWindowExA(0, kMainWindowClass, kMainWindowTitle, WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, nullptr,
                              nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(m_window, nullptr);
  }
  void TearDown() override { DestroyWindow(m_window); }

  void AddIcon() {
    NOTIFYICONDATAA data{};
    data.cbSize = sizeof data;
    data.hWnd = m_window;
    data.uID = 1;
    ASSERT_TRUE(Shell_NotifyIconA(NIM_ADD, &data));
  }

  FakeTray m_tray;
  HWND m_window = nullptr;
};

// With the NKO server refusing, there is no semaphore and every balloon shows at once, so
// the cases need not wait for each other's hold. (The process's first request, which
// would be retried for seconds, is spent before.)
TEST_F(BalloonTest, TextsAreCutAndTheTypeChoosesTheIcon) {
  SpendFirstNkoRequest();
  bed::ServiceStandIn service({"--refuse-create"});
  AddIcon();
  const std::string longText(300, 't');
  const std::string longTitle(100, 'T');
  const struct {
    std::string text, title;
    int type;
    std::string wantText, wantTitle;
    DWORD wantFlags;
  } cases[] = {
      {"info", "one", kBalloonInfo, "info", "one", NIIF_INFO},
      {"warning", "two", kBalloonWarning, "warning", "two", NIIF_WARNING},
      {"error", "three", kBalloonError, "error", "three", NIIF_ERROR},
      {"no icon", "seven", 7, "no icon", "seven", NIIF_NONE},
      {"low byte counts", "257", 0x101, "low byte counts", "257", NIIF_INFO},
      {longText, "long text", kBalloonInfo, longText.substr(0, 255), "long text", NIIF_INFO},
      {"long title", longTitle, kBalloonInfo, "long title", longTitle.substr(0, 63), NIIF_INFO},
  };
  const auto start = steady_clock::now();
  for (const auto& c : cases) {
    // Closed at once: the balloon's thread runs on, and what it shows is checked below.
    const UniqueHandle thread(StartBalloonTip(c.text.c_str(), c.title.c_str(), c.type));
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.wantTitle);
    const TrayCall call = m_tray.WaitForCall(
        [&](const TrayCall& t) { return IsBalloon(t) && t.infoTitle == c.wantTitle; }, kWaitMs);
    ASSERT_TRUE(IsBalloon(call)) << "no balloon";
    EXPECT_EQ(call.info, c.wantText);
    EXPECT_EQ(call.infoFlags, c.wantFlags);
    EXPECT_TRUE(call.result);
    EXPECT_LT(call.when - start, milliseconds(kBalloonHoldMs)) << "waited without a semaphore";
  }
}

TEST_F(BalloonTest, BalloonWithoutAnIconIsNotShownAndDoesNotFail) {
  BalloonRequest request{};
  std::snprintf(request.text, sizeof request.text, "hidden");
  request.type = kBalloonInfo;
  EXPECT_EQ(ShowBalloonTip(&request), FALSE);
  const TrayCall call = m_tray.WaitForCall(IsBalloon, kWaitMs);
  EXPECT_EQ(call.window, m_window);
  EXPECT_FALSE(call.result);
  EXPECT_FALSE(m_tray.HoldsIcon(m_window, 1)) << "a balloon must not add the icon";

  // Without the running instance's window nothing reaches the shell.
  IgnoreResult(DestroyWindow(m_window));
  m_window = nullptr;
  const size_t before = m_tray.Calls().size();
  EXPECT_EQ(ShowBalloonTip(&request), FALSE);
  EXPECT_EQ(m_tray.Calls().size(), before);
}

// Two processes' balloons: the second is shown when the first one's hold ends. This is
// the one test that pays the hold.
TEST_F(BalloonTest, BalloonsOfTwoProcessesFollowEachOther) {
  bed::ServiceStandIn service;
  AddIcon();
  bed::ChildProcess other("quorvel_tray_balloon.exe", {"from the other process", "first", "1"});
  const TrayCall first =
      m_tray.WaitForCall([](const TrayCall& c) { return IsBalloon(c) && c.infoTitle == "first"; }, kWaitMs);
  ASSERT_TRUE(IsBalloon(first)) << "the other process showed no balloon";

  const UniqueHandle thread(StartBalloonTip("from this process", "second", kBalloonInfo));
  const TrayCall second = m_tray.WaitForCall(
      [](const TrayCall& c) { return IsBalloon(c) && c.infoTitle == "second"; }, kBalloonHoldMs + kWaitMs);
  ASSERT_TRUE(IsBalloon(second)) << "the second balloon never came";
  const auto gap = duration_cast<milliseconds>(second.when - first.when).count();
  EXPECT_GE(gap, kBalloonHoldMs - 200) << "shown while the first was held";
  EXPECT_LT(gap, kBalloonHoldMs + 3000) << "not shown when the first hold ended";
  EXPECT_EQ(other.WaitExitCode(kWaitMs), 0u);
}

}  // namespace
