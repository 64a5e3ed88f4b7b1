// quorvel.exe when the suite service is missing, broken or has something to say: the
// boxes it shows, when it gives up, and what it logs.
#include <gmock/gmock.h>

#include <optional>

#include "tests/bed/service_standin.h"
#include "tests/system/quorvel_driver.h"

namespace {

using namespace quorvel_test;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Every test starts from the default start-up time-out.
using QuorvelServiceCheck = RegistryTest;

TEST_F(QuorvelServiceCheck, ShowsWhichPartOfTheServiceFailedThenGivesUp) {
  const struct {
    const char* name;
    std::vector<std::string> options;  // none: no service at all
    int service, nko, working;
  } cases[] = {
      {"NKO server not running", {"--nko-event", "absent"}, 2, 0, 0},
      {"NKO server not yet signalled", {"--nko-event", "unsignalled"}, 2, 1, 0},
      {"NKO server refuses to create", {"--refuse-create"}, 2, 2, 0},
      // One attempt at the block and no 5-second tries at the service.
      {"no service block, start-up time-out 1000", {}, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<bed::ServiceStandIn> service;
    if (c.options.empty()) SetSuiteText("QuorvelStartupTimeoutMilliseconds", "1000");
    if (!c.options.empty()) service.emplace(c.options);
    auto quorvel = StartQuorvel();
    HWND box = WaitForMessageBox(quorvel->Pid());
    ASSERT_NE(box, nullptr) << "no status summary";
    const std::string text = MessageBoxText(box);
    EXPECT_THAT(text, StartsWith("The Korvane Quorvel could not start because there was a problem \n"));
    EXPECT_THAT(text, HasSubstr("Status Summary:\n    " + std::to_string(c.service) +
                                " = KorvaneOmbrixService status\n    " + std::to_string(c.nko) +
                                " = NkoServer status\n    " + std::to_string(c.working) + " = NkoServer working\n"));
    EXPECT_TRUE(quorvel->Running()) << "ended before the box was closed";
    PressButton(box, IDOK);
    EXPECT_EQ(quorvel->WaitExitCode(kWaitMs), 1u);

    // The NKO client may log its own failure in between (the log shows no source names).
    const std::vector<std::string> lines = LogLines(quorvel->Pid());
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "Quorvel is starting");
    // Wine cuts logged strings at 300 characters; the summary is longer.
    EXPECT_THAT(lines[lines.size() - 2], StartsWith("The Korvane Quorvel could not start because"));
    EXPECT_EQ(lines.back(), "NkoServer is not running.  Quorvel cannot continue.");
    EXPECT_EQ(FindWindowA("BW_Halvoric_Class", "BW_Halvoric_Wnd"), nullptr);
  }
}

TEST_F(QuorvelServiceCheck, RefusedStartEndsOnlyWhenTheServiceMessageIsClosed) {
  bed::ServiceStandIn service({"--has-message", "1", "--refuse-start", "1", "--show-message", "1", "--message",
                               "Ombrix refuses:\\nlicence expired", "--status-line", "refused"});
  auto quorvel = StartQuorvel();
  HWND box = WaitForMessageBox(quorvel->Pid());
  ASSERT_NE(box, nullptr) << "no service message";
  EXPECT_EQ(MessageBoxText(box), "Ombrix refuses:\nlicence expired");
  EXPECT_TRUE(quorvel->Running()) << "ended while the box was open";
  EXPECT_EQ(WaitForMainWindow(quorvel->Pid(), 0), nullptr);
  PressButton(box, IDOK);
  EXPECT_EQ(quorvel->WaitExitCode(kWaitMs), 1u);
  EXPECT_THAT(LogLines(quorvel->Pid()), ElementsAre("Quorvel is starting"));
}

TEST_F(QuorvelServiceCheck, WarningIsShownWhileStartUpGoesOn) {
  bed::ServiceStandIn service(
      {"--has-message", "1", "--refuse-start", "0", "--show-message", "1", "--message", "Service warning"});
  auto quorvel = StartQuorvel();
  HWND box = WaitForMessageBox(quorvel->Pid());
  ASSERT_NE(box, nullptr) << "no service message";
  EXPECT_EQ(MessageBoxText(box), "Service warning");
  // The window appears while the box is still open.
  EXPECT_NE(WaitForMainWindow(quorvel->Pid()), nullptr);
  EXPECT_TRUE(IsWindow(box));
  PressButton(box, IDOK);

  EXPECT_TRUE(ExitFirstInstance(*quorvel));
  EXPECT_THAT(LogLines(quorvel->Pid()), ElementsAre("Quorvel is starting", kReportWritten, kLoopEntered, kLoopEnded));
}

}  // namespace
