// quorvel.exe against a healthy suite service: the first instance's start and end, and
// every option a second instance forwards to it.
#include <gmock/gmock.h>

#include <functional>

#include "base/unique.h"
#include "base/results.h"
#include "tests/bed/service_standin.h"
#include "tests/system/quorvel_driver.h"
#include "base/window_identity.h"

namespace {

using namespace quorvel_test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

constexpr char kStarting[] = "Quorvel is starting";
constexpr char kEditRm[] = "Global\\KorvaneK7302EditRM";

// A first instance in its message loop, ended by "-x" after the test unless it ended.
class QuorvelRunning : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    m_first = StartQuorvel();
    m_window = WaitForMainWindow(m_first->Pid());
    ASSERT_NE(m_window, nullptr) << "the main window did not appear";
    ASSERT_THAT(LogLines(m_first->Pid(), 3), ElementsAre(kStarting, kReportWritten, kLoopEntered));
  }

  void TearDown() override {
    if (m_first && m_first->Running()) {
      EXPECT_TRUE(ExitFirstInstance(*m_first));
    }
  }

  // Posts a message whose effect |event| shows and waits for it: the first instance has
  // then handled every message posted before (messages are handled in order).
  bool HandledEarlierMessages(UINT message, const TestEvent& event) const {
    event.Reset();
    IgnoreResult(PostMessageA(m_window, message, 0, 0));
    return event.WaitSignalled(kWaitMs);
  }

  bed::ServiceStandIn m_service;
  std::unique_ptr<bed::ChildProcess> m_first;
  HWND m_window = nullptr;
};

TEST_F(QuorvelRunning, SignalsItsRunningEventUntilASecondInstanceClosesIt) {
  const UniqueHandle running(OpenEventA(SYNCHRONIZE, FALSE, kRunningEvent));
  ASSERT_TRUE(running) << "no running event";
  EXPECT_EQ(WaitForSingleObject(running.Get(), 0), WAIT_OBJECT_0);

  auto second = StartQuorvel("-x");
  EXPECT_EQ(second->WaitExitCode(kWaitMs), 1u);
  EXPECT_EQ(m_first->WaitExitCode(kWaitMs), 0u);
  EXPECT_EQ(WaitForSingleObject(running.Get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "running event not reset";
  // The icon is removed at the exit without the hidden flag, which stays as it was.
  EXPECT_FALSE(Suite("QuorvelHidden").has_value());

  EXPECT_THAT(LogLines(m_first->Pid()), ElementsAre(kStarting, kReportWritten, kLoopEntered, kLoopEnded));
  EXPECT_THAT(LogLines(second->Pid()), ElementsAre(kStarting, "(-x) Posting the WM_CLOSE message."));
}

// Each option from a second instance: what it changes, what the second logs (after its
// start line), and its exit code 1. The cases run in order against one first instance.
TEST_F(QuorvelRunning, SecondInstanceForwardsItsOption) {
  TestEvent edit(kEditRm);
  TestEvent hide("Global\\KorvaneK7302HideRM");
  TestEvent unhide("Global\\KorvaneK7302UnhideRM");
  TestEvent refresh("Global\\KorvaneK7302RefreshRM");
  const auto handled = [&] { return HandledEarlierMessages(WM_VXI_RM_REFRESH_NOW, refresh); };
  const auto hidden = [](const char* flag) { return [flag] { return Suite("QuorvelHidden") == Sz(flag); }; };
  const auto hiddenBefore = [](const char* flag) { return [flag] { SetSuiteText("QuorvelHidden", flag); }; };
  const char* reshow = "Quorvel is already running.  Re-display the IO icon and show a balloon tip.";
  const struct {
    const char* option;
    std::function<void()> before;
    std::function<bool()> done;
    std::vector<std::string> log;
  } cases[] = {
      {"-s0", hiddenBefore("0"), hidden("1"), {"(-s0) Posting WM_USER_SHOW_ICON message."}},
      {"-s1", hiddenBefore("1"), hidden("0"), {"(-s1) Posting WM_USER_SHOW_ICON message."}},
      // No option, or none that is one as a whole, brings the icon back.
      {"", hiddenBefore("1"), hidden("0"), {reshow}},
      {"-x -e", hiddenBefore("1"), hidden("0"), {reshow}},
      {"-o", [] { SetSuiteText("RebootRequiredVxi", "1"); },
       [] { return Suite("RebootOccurred") == Sz("1") && Suite("RebootRequiredVxi") == Sz("0"); },
       {"(-o) Setting the 'RebootOccurred' registry flag.", "(-o) Resetting the 'RebootRequiredVxi' registry flag."}},
      {"-e", [] {}, [&] { return edit.WaitSignalled(kWaitMs); }, {"(-e) Posting WM_VXI_RM_EDIT message."}},
      // "-h" hides the resource manager's window, or shows it when "RmDialogHidden" says hidden.
      {"-h", [] {}, [&] { return hide.WaitSignalled(kWaitMs) && handled() && !unhide.WaitSignalled(0); },
       {"(-h) Posting WM_VXI_RM_HIDE message."}},
      {"-h", [&] { hide.Reset(); SetSuite("RmDialogHidden", REG_DWORD, Dword(1)); },
       [&] { return unhide.WaitSignalled(kWaitMs) && handled() && !hide.WaitSignalled(0); },
       {"(-h) Posting WM_VXI_RM_HIDE message."}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    c.before();
    auto second = StartQuorvel(c.option);
    EXPECT_EQ(second->WaitExitCode(kWaitMs), 1u);
    EXPECT_TRUE(c.done());
    std::vector<std::string> log{kStarting};
    log.insert(log.end(), c.log.begin(), c.log.end());
    EXPECT_THAT(LogLines(second->Pid()), ElementsAreArray(log));
    EXPECT_TRUE(m_first->Running());
  }
}

TEST_F(QuorvelRunning, RefreshAsksFirstUnlessSentTheImmediateMessage) {
  TestEvent refresh("Global\\KorvaneK7302RefreshRM");
  TestEvent edit(kEditRm);
  for (int answer : {IDNO, IDYES}) {
    EXPECT_EQ(RunQuorvel("-r"), 1u);
    HWND box = WaitForMessageBox(m_first->Pid());
    ASSERT_NE(box, nullptr) << "no reset question";
    EXPECT_THAT(MessageBoxText(box), ::testing::StartsWith("Warning!  This will reset and run the resource manager"));
    EXPECT_FALSE(refresh.WaitSignalled(0)) << "signalled before the answer";
    PressButton(box, answer);
    ASSERT_TRUE(HandledEarlierMessages(WM_VXI_RM_EDIT, edit));
    EXPECT_EQ(refresh.WaitSignalled(0), answer == IDYES);
  }

  // The immediate message signals without a question.
  ASSERT_TRUE(HandledEarlierMessages(WM_VXI_RM_REFRESH_NOW, refresh));
  EXPECT_EQ(WaitForMessageBox(m_first->Pid(), 0), nullptr);
}

TEST_F(QuorvelRunning, GrantsEveryPowerRequest) {
  DWORD_PTR result = 0;
  ASSERT_NE(SendMessageTimeoutA(m_window, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0, SMTO_BLOCK, 5000, &result), 0);
  EXPECT_EQ(result, 1u);
}

TEST(QuorvelAlone, ExitOptionWithNoInstanceStartsNothing) {
  bed::ServiceStandIn service;
  auto quorvel = StartQuorvel("-x");
  EXPECT_EQ(quorvel->WaitExitCode(kWaitMs), 1u);
  EXPECT_EQ(FindWindowA("BW_Halvoric_Class", "BW_Halvoric_Wnd"), nullptr);
  EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, kRunningEvent), nullptr);
  EXPECT_THAT(LogLines(quorvel->Pid()),
              ElementsAre(kStarting, "Quorvel is already running.  This instance is quitting silently."));
}

TEST(QuorvelAlone, FirstInstanceCarriesOutItsOwnOption) {
  bed::ServiceStandIn service;
  Set(View::Bits64, kSuiteKey);
  TestEvent edit(kEditRm);
  std::vector<std::string> log;
  for (const char* option : {"-e", "-s0", "-o"}) {
    SCOPED_TRACE(option);
    auto quorvel = StartQuorvel(option);
    EXPECT_NE(WaitForMainWindow(quorvel->Pid()), nullptr);
    EXPECT_TRUE(ExitFirstInstance(*quorvel));
    log = LogLines(quorvel->Pid());
  }
  EXPECT_TRUE(edit.WaitSignalled(0));
  EXPECT_EQ(Suite("QuorvelHidden"), Sz("1"));
  EXPECT_EQ(Suite("RebootOccurred"), Sz("1"));
  EXPECT_EQ(Suite("RebootRequiredVxi"), Sz("0"));
  EXPECT_THAT(log, ElementsAre(kStarting, "(-o) Starting Quorvl and setting the 'RebootOccurred' registry flag.",
                               "(-o) Starting Quorvl and resetting the 'RebootRequiredVxi' registry flag.",
                               kReportWritten, kLoopEntered, kLoopEnded));
}

TEST(QuorvelExe, CarriesItsVersionAndManifest) {
  const std::string path = bed::BinPath("quorvel.exe");
  std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), nullptr));
  ASSERT_TRUE(!info.empty() && GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  char* text = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\FileVersion", reinterpret_cast<void**>(&text),
                             &size));
  const DWORD high = MAKELONG(5, 15), low = MAKELONG(1, 13009);
  EXPECT_THAT((std::vector<DWORD>{fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS,
                                  fixed->dwProductVersionLS}),
              ElementsAre(high, low, high, low));
  EXPECT_STREQ(text, "15.5.13009.1");

  const UniqueModule module(
      LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  ASSERT_TRUE(module);
  EXPECT_NE(FindResourceA(module.Get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)), nullptr) << "no manifest";
}

}  // namespace
