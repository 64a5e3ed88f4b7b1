// quorvel.exe beside a second trace relay, as when Quorvel runs in two sessions: closing
// one Quorvel stops its own relay only, quickly, and leaves the machine-wide stop event
// alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/bed/service_standin.h"
#include "tests/bed/trace_clients.h"
#include "tests/bed/viewer_standin.h"
#include "tests/system/quorvel_driver.h"

namespace {

using namespace quorvel_test;

// How long Quorvel may take from the second instance's "-x" to its own end.
constexpr DWORD kExitBoundMs = 5000;
constexpr int kCalls = 10;

using PrivateStop = test_registry::RegistryTest;

TEST_F(PrivateStop, QuorvelExitLeavesTheOtherRelayServing) {
  bed::ServiceStandIn service;
  bed::ViewerStandIn viewer({.status = 1, .arrayLimit = 4096, .capture = true});
  bed::ChildOptions hostOptions;
  hostOptions.captureOutput = true;
  hostOptions.pipeInput = true;
  bed::ChildProcess other("trace_relay_host.exe", {}, hostOptions);
  ASSERT_TRUE(other.WaitForOutput("relay-host: ready", kWaitMs)) << other.Output();
  const auto quorvel = StartQuorvel();
  ASSERT_NE(WaitForMainWindow(quorvel->Pid()), nullptr) << "quorvel.exe did not start";
  // Both relays have connected to the viewer.
  ASSERT_TRUE(viewer.WaitForOutput("sightline: connected", kWaitMs, 2)) << viewer.Output();

  // A program that waits on the machine-wide stop event for the whole exit: it waits
  // longer than any relay thread, so a set of the event would wake it first.
  const std::string stopEvent = std::string("Global\\") + kTraceShutdownEventName;
  const auto watcher = bed::StartWithOutput("nko-probe.exe", {"open", "event", stopEvent, "--wait", "120000"});
  ASSERT_TRUE(watcher->WaitForOutput("opened event", kWaitMs)) << watcher->Output();

  EXPECT_EQ(RunQuorvel("-x"), 1u);
  const ULONGLONG forwarded = GetTickCount64();
  EXPECT_TRUE(quorvel->Wait(kExitBoundMs)) << "Quorvel still runs " << kExitBoundMs << " ms after -x";
  std::printf("Quorvel ended %llu ms after the second instance forwarded -x\n", GetTickCount64() - forwarded);
  EXPECT_EQ(quorvel->WaitExitCode(kWaitMs), 0u);
  EXPECT_TRUE(viewer.WaitForOutput("sightline: disconnected", kWaitMs)) << viewer.Output();

  // The other relay still answers and delivers every message, and nobody set the event.
  // The client posts whatever the shared control block says: an exit may switch the
  // libraries off there for every relay of the machine.
  bed::ExpectClientCounts(
      *bed::StartInstrumentSim({"--calls", std::to_string(kCalls), "--always", "--timeout", "5000"}), 2 * kCalls, 0,
      60000);
  EXPECT_EQ(viewer.WaitForCapture(2 * kCalls, kWaitMs).size(), size_t{2 * kCalls});
  EXPECT_TRUE(watcher->Running()) << watcher->Output();
  ASSERT_TRUE(other.WriteInput("quit\n"));
  EXPECT_EQ(other.WaitExitCode(kWaitMs), 0u) << other.Output();
}

}  // namespace
