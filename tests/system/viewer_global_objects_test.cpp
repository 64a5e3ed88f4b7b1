// The viewer's side of the trace link (here in quorvel-trace) makes its Global\ objects
// through the suite service's NKO server, as Quorvel does, and not by itself: the service
// stand-in's request log shows each creation, and a second viewer learns from the server's
// answer that the objects exist.
#include <gmock/gmock.h>

#include <regex>

#include "base/results.h"
#include "base/unique.h"
#include "tests/bed/child_process.h"
#include "tests/bed/service_standin.h"
#include "tests/bed/trace_clients.h"
#include "trace/viewer_link.h"

namespace {

constexpr DWORD kWaitMs = 20000;

std::unique_ptr<bed::ChildProcess> StartCapture(const std::string& path, const std::string& stopEvent) {
  return bed::StartWithOutput("quorvel-trace.exe", {"capture", "-o", path, "--stop-event", stopEvent});
}

// The requests of process pid, in order.
std::vector<bed::ServiceStandIn::Request> RequestsOf(const bed::ServiceStandIn& service, DWORD pid) {
  const std::string procId = "ProcId=\"" + std::to_string(pid) + "\"";
  std::vector<bed::ServiceStandIn::Request> mine;
  for (const auto& r : service.Requests()) {
    if (r.text.find(procId) != std::string::npos) mine.push_back(r);
  }
  return mine;
}

TEST(ViewerGlobalObjects, AreMadeByTheNkoServer) {
  bed::ServiceStandIn service;
  const std::string stopName = "Local\\" + bed::UniqueName("capture_stop");
  const UniqueHandle stop(CreateEventA(nullptr, TRUE, FALSE, stopName.c_str()));
  const std::string path = bed::TempPath("viewer_objects", ".qtrace");
  auto capture = StartCapture(path, stopName);
  ASSERT_TRUE(capture->WaitForOutput("quorvel-trace: capturing to", kWaitMs)) << capture->Output();

  const std::string pid = std::to_string(capture->Pid());
  const std::string head = "ProcId=\"" + pid + "\" ";
  const std::string expected[] = {
      "<CreateFileMapping " + head + "hFile=\"-1\" SecurityAttributes=\"1\" flProtect=\"4\" dwMaximumSizeHigh=\"0\" "
          "dwMaximumSizeLow=\"" + std::to_string(kViewerStatusMemorySize) + "\" lpName=\"" + kViewerStatusMemoryName + "\"/>",
      "<CreateMutex " + head + "SecurityAttributes=\"1\" bInitialOwner=\"0\" lpName=\"" + kViewerMutexName + "\"/>",
      "<CreateEvent " + head + "SecurityAttributes=\"1\" bManualReset=\"0\" bInitialState=\"0\" lpName=\"" +
          kViewerRequestEventName + "\"/>",
      "<CreateEvent " + head + "SecurityAttributes=\"1\" bManualReset=\"1\" bInitialState=\"0\" lpName=\"" +
          kViewerReadyEventName + "\"/>",
  };
  // Each creation, then the server's handle given back once the object is open here.
  const auto requests = RequestsOf(service, capture->Pid());
  ASSERT_EQ(requests.size(), 2 * std::size(expected));
  const std::regex closeRequest("<CloseHandle " + head + "Handle=\"(-?[0-9]+)\"/>");
  for (size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_EQ(requests[2 * i].text, expected[i]);
    std::smatch handle;
    ASSERT_TRUE(std::regex_match(requests[2 * i + 1].text, handle, closeRequest)) << requests[2 * i + 1].text;
    EXPECT_EQ(requests[2 * i].reply, handle[1].str()) << "a fresh object, created by the server";
  }

  // A second viewer is told by the server that the status memory exists, and is refused.
  const std::string secondPath = bed::TempPath("viewer_objects", ".qtrace");
  auto second = StartCapture(secondPath, "Local\\" + bed::UniqueName("unused"));
  EXPECT_EQ(second->WaitExitCode(kWaitMs), 1u);
  IgnoreResult(DeleteFileA(secondPath.c_str()));
  const auto secondRequests = RequestsOf(service, second->Pid());
  ASSERT_FALSE(secondRequests.empty());
  EXPECT_THAT(secondRequests.front().reply, ::testing::EndsWith(",183"));

  ASSERT_TRUE(SetEvent(stop.Get()));
  EXPECT_EQ(capture->WaitExitCode(kWaitMs), 0u) << capture->Output();
  IgnoreResult(DeleteFileA(path.c_str()));
}

}  // namespace
