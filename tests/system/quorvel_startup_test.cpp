// quorvel.exe against a healthy suite service: the first instance's start and end, and
// every option a second instance forwards to it.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "bed/service_standin.h"
#include "quorvel_driver.h"

namespace {

using namespace quorvel_test;
using ::testing::ElementsAre;

constexpr DWORD kWindowTimeoutMs = 10000;
constexpr DWORD kSignalTimeoutMs = 5000;
constexpr DWORD kExitTimeoutMs = 10000;

class QuorvelRunning : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateSuiteKey();
    const auto start = std::chrono::steady_clock::now();
    first_ = StartQuorvel();
    window_ = WaitForMainWindow(first_->Pid(), kWindowTimeoutMs);
    ASSERT_NE(window_, nullptr) << "the main window did not appear";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    std::printf("quorvel.exe start to main window: %lld ms\n", static_cast<long long>(ms.count()));
  }

  void TearDown() override {
    if (first_ && first_->Running()) {
      EXPECT_EQ(RunQuorvel("-x"), 1u);
      EXPECT_EQ(first_->WaitExitCode(kExitTimeoutMs), 0u);
    }
  }

  bed::ServiceStandIn service_;
  std::unique_ptr<bed::ChildProcess> first_;
  HWND window_ = nullptr;
};

TEST_F(QuorvelRunning, SignalsItsRunningEventUntilASecondInstanceClosesIt) {
  HANDLE running = WaitForEvent(kRunningEvent, kSignalTimeoutMs);
  ASSERT_NE(running, nullptr) << "no running event";
  EXPECT_EQ(WaitForSingleObject(running, 0), WAIT_OBJECT_0);

  auto second = StartQuorvel("-x");
  EXPECT_EQ(second->WaitExitCode(kExitTimeoutMs), 1u);
  EXPECT_EQ(first_->WaitExitCode(kExitTimeoutMs), 0u);
  EXPECT_EQ(WaitForSingleObject(running, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "running event not reset";
  CloseHandle(running);

  EXPECT_THAT(LogLines(first_->Pid()),
              ElementsAre("Quorvel is starting", "Entering the Quorvel Windows message loop.",
                          "Quorvel is quitting because the Windows message loop has terminated."));
  EXPECT_THAT(LogLines(second->Pid()), ElementsAre("Quorvel is starting", "(-x) Posting the WM_CLOSE message."));
}

TEST_F(QuorvelRunning, IconOptionsSetTheHiddenFlagWhichSurvivesTheExit) {
  auto hide = StartQuorvel("-s0");
  EXPECT_EQ(hide->WaitExitCode(kExitTimeoutMs), 1u);
  EXPECT_EQ(ReadSuiteText("QuorvelHidden"), "1");
  EXPECT_THAT(LogLines(hide->Pid()), ElementsAre("Quorvel is starting", "(-s0) Posting WM_USER_SHOW_ICON message."));

  auto show = StartQuorvel("-s1");
  EXPECT_EQ(show->WaitExitCode(kExitTimeoutMs), 1u);
  EXPECT_EQ(ReadSuiteText("QuorvelHidden"), "0");

  // Hidden once more, then closed: the exit removes the icon but keeps the user's choice.
  EXPECT_EQ(RunQuorvel("-s0"), 1u);
  EXPECT_EQ(RunQuorvel("-x"), 1u);
  EXPECT_EQ(first_->WaitExitCode(kExitTimeoutMs), 0u);
  EXPECT_EQ(ReadSuiteText("QuorvelHidden"), "1");
}

TEST_F(QuorvelRunning, NoOptionOrAnUnknownOneBringsTheIconBack) {
  // Compared as a whole: a trailing blank or a slash makes no option of "-x".
  for (const char* option : {"", "/x", "-x -e"}) {
    SCOPED_TRACE(option);
    SetSuiteText("QuorvelHidden", "1");
    auto second = StartQuorvel(option);
    EXPECT_EQ(second->WaitExitCode(kExitTimeoutMs), 1u);
    EXPECT_EQ(ReadSuiteText("QuorvelHidden"), "0");
    EXPECT_THAT(LogLines(second->Pid()),
                ElementsAre("Quorvel is starting",
                            "Quorvel is already running.  Re-display the IO icon and show a balloon tip."));
    EXPECT_TRUE(first_->Running());
  }
}

TEST_F(QuorvelRunning, RebootOptionWritesBothFlags) {
  SetSuiteText("RebootRequiredVxi", "1");
  auto second = StartQuorvel("-o");
  EXPECT_EQ(second->WaitExitCode(kExitTimeoutMs), 1u);
  EXPECT_EQ(ReadSuiteText("RebootOccurred"), "1");
  EXPECT_EQ(ReadSuiteText("RebootRequiredVxi"), "0");
  EXPECT_THAT(LogLines(second->Pid()),
              ElementsAre("Quorvel is starting", "(-o) Setting the 'RebootOccurred' registry flag.",
                          "(-o) Resetting the 'RebootRequiredVxi' registry flag."));
}

TEST_F(QuorvelRunning, EditAndHideOptionsSignalTheResourceManager) {
  TestEvent edit("Global\\KorvaneK7302EditRM");
  TestEvent hide("Global\\KorvaneK7302HideRM");
  TestEvent unhide("Global\\KorvaneK7302UnhideRM");

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunQuorvel("-e"), 1u);
  EXPECT_TRUE(edit.WaitSignalled(kSignalTimeoutMs));
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::printf("second instance start to \"-e\" signalled: %lld ms\n", static_cast<long long>(ms.count()));

  EXPECT_EQ(RunQuorvel("-h"), 1u);
  EXPECT_TRUE(hide.WaitSignalled(kSignalTimeoutMs));
  EXPECT_FALSE(unhide.WaitSignalled(0));

  hide.Reset();
  SetSuiteDword("RmDialogHidden", 1);
  EXPECT_EQ(RunQuorvel("-h"), 1u);
  EXPECT_TRUE(unhide.WaitSignalled(kSignalTimeoutMs));
  EXPECT_FALSE(hide.WaitSignalled(0));
}

TEST_F(QuorvelRunning, RefreshAsksFirstUnlessSentTheImmediateMessage) {
  TestEvent refresh("Global\\KorvaneK7302RefreshRM");
  for (int answer : {IDNO, IDYES}) {
    auto second = StartQuorvel("-r");
    EXPECT_EQ(second->WaitExitCode(kExitTimeoutMs), 1u);
    HWND box = WaitForMessageBox(first_->Pid(), kWindowTimeoutMs);
    ASSERT_NE(box, nullptr) << "no reset question";
    EXPECT_THAT(MessageBoxText(box), ::testing::StartsWith("Warning!  This will reset and run the resource manager"));
    EXPECT_FALSE(refresh.WaitSignalled(200)) << "signalled before the answer";
    PressButton(box, answer);
    EXPECT_EQ(refresh.WaitSignalled(answer == IDYES ? kSignalTimeoutMs : 500), answer == IDYES);
  }

  refresh.Reset();
  PostMessageA(window_, 1025, 0, 0);
  EXPECT_TRUE(refresh.WaitSignalled(kSignalTimeoutMs));
  EXPECT_EQ(WaitForMessageBox(first_->Pid(), 300), nullptr);
}

TEST_F(QuorvelRunning, GrantsEveryPowerRequest) {
  DWORD_PTR result = 0;
  ASSERT_NE(SendMessageTimeoutA(window_, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0, SMTO_BLOCK, 5000, &result), 0);
  EXPECT_EQ(result, 1u);
}

TEST(QuorvelAlone, ExitOptionWithNoInstanceStartsNothing) {
  bed::ServiceStandIn service;
  auto quorvel = StartQuorvel("-x");
  EXPECT_EQ(quorvel->WaitExitCode(kExitTimeoutMs), 1u);
  EXPECT_EQ(FindWindowA("BW_Halvoric_Class", "BW_Halvoric_Wnd"), nullptr);
  EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, kRunningEvent), nullptr);
  EXPECT_THAT(LogLines(quorvel->Pid()),
              ElementsAre("Quorvel is starting", "Quorvel is already running.  This instance is quitting silently."));
}

TEST(QuorvelAlone, FirstInstanceCarriesOutItsOwnOption) {
  bed::ServiceStandIn service;
  CreateSuiteKey();
  TestEvent edit("Global\\KorvaneK7302EditRM");
  auto runUntilExit = [](const std::string& option) {
    auto quorvel = StartQuorvel(option);
    EXPECT_NE(WaitForMainWindow(quorvel->Pid(), kWindowTimeoutMs), nullptr) << option;
    EXPECT_EQ(RunQuorvel("-x"), 1u);
    EXPECT_EQ(quorvel->WaitExitCode(kExitTimeoutMs), 0u);
    return LogLines(quorvel->Pid());
  };

  runUntilExit("-e");
  EXPECT_TRUE(edit.WaitSignalled(0));

  runUntilExit("-s0");
  EXPECT_EQ(ReadSuiteText("QuorvelHidden"), "1");

  EXPECT_THAT(runUntilExit("-o"),
              ElementsAre("Quorvel is starting", "(-o) Starting Quorvl and setting the 'RebootOccurred' registry flag.",
                          "(-o) Starting Quorvl and resetting the 'RebootRequiredVxi' registry flag.",
                          "Entering the Quorvel Windows message loop.",
                          "Quorvel is quitting because the Windows message loop has terminated."));
  EXPECT_EQ(ReadSuiteText("RebootOccurred"), "1");
  EXPECT_EQ(ReadSuiteText("RebootRequiredVxi"), "0");
}

TEST(QuorvelExe, CarriesItsVersionAndManifest) {
  const std::string path = bed::BinPath("quorvel.exe");
  DWORD ignored = 0;
  std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &ignored));
  ASSERT_FALSE(info.empty());
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(5, 15));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(1, 13009));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwProductVersionLS, fixed->dwFileVersionLS);
  char* text = nullptr;
  ASSERT_TRUE(VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\FileVersion", reinterpret_cast<void**>(&text),
                             &size));
  EXPECT_STREQ(text, "15.5.13009.1");

  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24)), nullptr) << "no manifest";
  FreeLibrary(module);
}

}  // namespace
