// The end of the Windows session while quorvel.exe runs with its K7302 server and relays
// traces to the viewer. Wine's end of session, "wineboot -e", sends WM_QUERYENDSESSION
// and WM_ENDSESSION to the windows of every process, as a log-off does.
#include <gmock/gmock.h>

#include "base/unique.h"
#include "shell/companion_programs.h"
#include "tests/bed/record_file.h"
#include "tests/bed/service_standin.h"
#include "tests/bed/viewer_standin.h"
#include "tests/system/quorvel_driver.h"
#include "trace/trace_control.h"

namespace {

using namespace quorvel_test;
using ::testing::Contains;

constexpr char kSessionEnded[] = "Quorvel is quitting because the Windows session is ending.";

class SessionEnd : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    std::string baseDir;
    MakeBaseDir({kK7302ServerFile}, baseDir, m_record);
  }

  bool Recorded(const std::string& text) const {
    const auto has = [&](const std::vector<bed::RecordLine>& lines) {
      for (const bed::RecordLine& line : lines) {
        if (line.text == text) return true;
      }
      return false;
    };
    return has(bed::WaitForRecord(m_record, has, kWaitMs));
  }

  bed::ServiceStandIn m_service;
  std::string m_record;
};

// The program shuts down inside WM_ENDSESSION: after that message Windows may end the
// process at once, so nothing of it may be left for after the loop.
TEST_F(SessionEnd, ShutsDownBeforeTheSessionEnds) {
  // Wine keeps no restart registration that could be asked for; its stub names the call
  // and its arguments on the fixme channel, turned on here for quorvel.exe.
  const std::string restartCall = "fixme:process:RegisterApplicationRestart (L\"-q\",11)";
  auto quorvel = std::make_unique<bed::ChildProcess>(
      "quorvel.exe", std::vector<std::string>{},
      bed::ChildOptions{.environment = {{"WINEDEBUG", std::string(bed::kWineDebugWithEventLog) + ",fixme+process"}}});
  ASSERT_TRUE(WaitForLogLine(quorvel->Pid(), kLoopEntered));
  EXPECT_NE(bed::ReadSharedFile(bed::WineLogPath()).find(restartCall), std::string::npos)
      << "not registered for a restart with -q after an update";
  ASSERT_TRUE(Recorded("halvo7302 ready")) << "no K7302 server";
  bed::ViewerStandIn viewer(bed::ViewerOptions{.status = 1});
  // The trace control block, mapped here so that it outlives quorvel.exe.
  const TraceControlView control(FILE_MAP_READ);
  const TraceControlBlock* block = control.Block();
  ASSERT_NE(block, nullptr) << "no trace control block";
  // The flags the relay switches for the libraries.
  const auto tracingOn = [&] { return LoadTraceFlag(block->enabled) != 0 || LoadTraceFlag(block->viewerEnabled) != 0; };
  ASSERT_TRUE(support::WaitUntil(tracingOn, kWaitMs, 10)) << "tracing never switched on";

  bed::ChildProcess endSession("C:\\windows\\system32\\wineboot.exe", {"-e"});
  EXPECT_EQ(endSession.WaitExitCode(kWaitMs), 0u);
  EXPECT_TRUE(WaitForLogLine(quorvel->Pid(), kSessionEnded));
  EXPECT_TRUE(Recorded("halvo7302 WM_CLOSE"));
  EXPECT_FALSE(tracingOn()) << "the libraries keep tracing after the session";
  EXPECT_TRUE(quorvel->Wait(kWaitMs));
  EXPECT_THAT(LogLines(quorvel->Pid()), Contains(kSessionEnded).Times(1));
}

}  // namespace
