// The installer's decisions about running Quorvels. Under Wine every process runs elevated,
// as one user, in session 1: session 0, SYSTEM, a standard user and the processes of other
// sessions exist only on Windows. The decisions are therefore checked as tables of facts
// here, and the parts Wine can show (processes found by their file, the close request,
// the bounded wait) with real processes below.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/results.h"
#include "shell/close_request.h"
#include "tests/bed/child_process.h"
#include "tools/install-helper/quorvel_closing.h"
#include "tools/install-helper/start_decision.h"

namespace {

struct StartCase {
  const char* name;
  StartFacts facts;
  StartWay want;
};

// runsAsSystem, sessionId, elevated, serviceRuns, shellFound, shellIsSystem, shellSameUser
const StartCase kStartCases[] = {
    {"deployment tool: SYSTEM in session 0", {true, 0, true, true, false, false, false}, StartWay::kNone},
    {"SYSTEM in a user's session", {true, 1, true, true, true, false, false}, StartWay::kNone},
    {"service account in session 0", {false, 0, true, true, false, false, false}, StartWay::kNone},
    {"no suite service", {false, 1, false, false, true, false, true}, StartWay::kNone},
    {"elevated prompt of the logged-on user", {false, 1, true, true, true, false, true}, StartWay::kAsShellUser},
    {"elevated with an administrator's other account",
     {false, 2, true, true, true, false, false},
     StartWay::kAsShellUser},
    {"another user's unelevated account", {false, 1, false, true, true, false, false}, StartWay::kAsShellUser},
    {"the logged-on user, unelevated", {false, 3, false, true, true, false, true}, StartWay::kDirect},
    {"unelevated without a desktop shell", {false, 1, false, true, false, false, false}, StartWay::kDirect},
    {"elevated without a desktop shell", {false, 1, true, true, false, false, false}, StartWay::kNone},
    {"a desktop shell that runs as SYSTEM", {false, 1, true, true, true, true, false}, StartWay::kNone},
};

TEST(StartDecision, StartsOnlyAsTheUnelevatedUserOfTheInstallingSession) {
  for (const StartCase& c : kStartCases) {
    const StartPlan plan = DecideStart(c.facts);
    EXPECT_EQ(plan.way, c.want) << c.name;
    EXPECT_NE(std::string(plan.reason), "") << c.name;
  }
}

struct VerdictCase {
  const char* name;
  QuorvelFacts facts;
  QuorvelVerdict want;
};

// processId, sessionId, opened, sameFile
const VerdictCase kVerdictCases[] = {
    {"the installing session's Quorvel", {10, 1, true, true}, QuorvelVerdict::kWaitFor},
    {"another session's Quorvel", {11, 2, true, true}, QuorvelVerdict::kWaitFor},
    {"a Quorvel started as SYSTEM in session 0", {12, 0, true, true}, QuorvelVerdict::kWaitFor},
    {"a copy of the program in another folder", {13, 1, true, false}, QuorvelVerdict::kOtherFile},
    {"a process that cannot be opened", {14, 2, false, false}, QuorvelVerdict::kCannotWatch},
};

TEST(CloseDecision, WaitsForEveryQuorvelOfTheInstalledFileInAnySession) {
  for (const VerdictCase& c : kVerdictCases) EXPECT_EQ(JudgeQuorvel(c.facts), c.want) << c.name;
}

// A folder of its own holding a copy of nko-probe.exe named quorvel.exe. The probe plays a
// Quorvel: "open event NAME --retry-for MS --wait MS" ends as soon as the event exists and
// is set, as Quorvel closes on its close request.
class ProgramCopy {
 public:
  explicit ProgramCopy(const char* stem) : m_folder(bed::TempPath(stem)), m_path(m_folder + "\\quorvel.exe") {
    IgnoreResult(CreateDirectoryA(m_folder.c_str(), nullptr));
    IgnoreResult(CopyFileA(bed::BinPath("nko-probe.exe").c_str(), m_path.c_str(), FALSE));
  }
  ~ProgramCopy() {
    IgnoreResult(DeleteFileA(m_path.c_str()));
    RemoveDirectoryA(m_folder.c_str());
  }
  const std::string& Path() const { return m_path; }
  std::string RequestName() const {
    char name[kCloseRequestNameSize];
    return BuildCloseRequestName(m_path.c_str(), name, sizeof name) ? name : "";
  }

 private:
  std::string m_folder;
  std::string m_path;
};

const ClosedQuorvel* Find(const CloseReport& report, DWORD processId) {
  for (const ClosedQuorvel& closed : report.quorvels) {
    if (closed.facts.processId == processId) return &closed;
  }
  return nullptr;
}

TEST(CloseRequest, NamesTheFileNotThePath) {
  const ProgramCopy a("close_a"), b("close_b");
  ASSERT_NE(a.RequestName(), "");
  EXPECT_NE(a.RequestName(), b.RequestName());
  std::string shouted = a.Path();
  CharUpperBuffA(shouted.data(), static_cast<DWORD>(shouted.size()));
  char name[kCloseRequestNameSize];
  ASSERT_TRUE(BuildCloseRequestName(shouted.c_str(), name, sizeof name));
  EXPECT_EQ(name, a.RequestName());
  EXPECT_EQ(a.RequestName().rfind("Global\\", 0), 0u);
  EXPECT_FALSE(BuildCloseRequestName((a.Path() + ".missing").c_str(), name, sizeof name));
}

TEST(CloseQuorvels, ClosesTheInstalledFilesProgramsAndLeavesOthers) {
  const ProgramCopy installed("installed"), other("other");
  const std::vector<std::string> args = {"open", "event", "", "--retry-for", "30000", "--wait", "30000"};
  std::vector<std::string> first = args, second = args, elsewhere = args;
  first[2] = second[2] = installed.RequestName();
  elsewhere[2] = other.RequestName();
  bed::ChildProcess one(installed.Path(), first), two(installed.Path(), second), three(other.Path(), elsewhere);

  const CloseReport report = CloseQuorvelsOf(installed.Path(), 30000);
  EXPECT_TRUE(report.fileFound);
  EXPECT_TRUE(report.requestMade);
  for (const bed::ChildProcess* child : {&one, &two}) {
    const ClosedQuorvel* closed = Find(report, child->Pid());
    ASSERT_NE(closed, nullptr) << child->CommandLine();
    EXPECT_EQ(closed->verdict, QuorvelVerdict::kWaitFor);
    EXPECT_TRUE(closed->ended);
    EXPECT_EQ(closed->exitCode, 0u);
  }
  const ClosedQuorvel* left = Find(report, three.Pid());
  ASSERT_NE(left, nullptr);
  EXPECT_EQ(left->verdict, QuorvelVerdict::kOtherFile);
  EXPECT_TRUE(three.Running());
  // The request goes with the installer's wait: a Quorvel started afterwards stays.
  EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, installed.RequestName().c_str()), nullptr);
}

TEST(CloseQuorvels, OneThatDoesNotCloseIsReportedAfterTheBound) {
  const ProgramCopy installed("stubborn");
  bed::ChildProcess stubborn(installed.Path(), {"create", "event", "Local\\NotAQuorvel", "--hold", "60000"});
  const CloseReport report = CloseQuorvelsOf(installed.Path(), 300);
  const ClosedQuorvel* closed = Find(report, stubborn.Pid());
  ASSERT_NE(closed, nullptr);
  EXPECT_EQ(closed->verdict, QuorvelVerdict::kWaitFor);
  EXPECT_FALSE(closed->ended);
  EXPECT_TRUE(stubborn.Running());
}

}  // namespace
