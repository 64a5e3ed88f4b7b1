// quorvel.exe with its companion programs: the K7302 server stand-in from the base
// directory's bin folder and the programs of the Run subkey, started with the first
// instance and closed through their windows when it ends.
#include <gmock/gmock.h>

#include "base/results.h"
#include "base/unique.h"
#include "tests/bed/record_file.h"
#include "tests/bed/service_standin.h"
#include "config/testing/test_system_files.h"
#include "tests/system/quorvel_driver.h"
#include "shell/companion_programs.h"

namespace {

using namespace quorvel_test;
using ::testing::ElementsAre;
using ::testing::StartsWith;
using ::testing::UnorderedElementsAre;

constexpr char kRunProgramClass[] = "Quorvel_Run_Program_StandIn";
constexpr char kRunKey[] = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion\\Run";

// The process behind a window, opened to be waited for.
UniqueHandle OpenWindowProcess(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return UniqueHandle(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid));
}

BOOL CALLBACK KillStandIn(HWND window, LPARAM) {
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (strcmp(className, kRunProgramClass) == 0 || strcmp(className, kK7302ServerClass) == 0) {
    // A stand-in that is gone already needs no killing.
    IgnoreResult(TerminateProcess(OpenWindowProcess(window).Get(), 99));
  }
  return TRUE;
}

// A base directory of the test's own whose bin folder holds the K7302 server and Run
// program stand-ins, which all append "<tick> <program or title> <what>" lines to one
// record file.
class Companions : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    MakeBaseDir({kK7302ServerFile, "run-program.exe"}, m_baseDir, m_record);
  }

  void TearDown() override {
    if (m_quorvel && m_quorvel->Running()) m_quorvel->Kill();
    // Nothing started by this test outlives it, whatever failed.
    EnumWindows(KillStandIn, 0);
  }

  // A Run entry starting the stand-in titled |title|, relative to the base directory.
  void AddRun(const std::string& title, const std::string& more = "") {
    const std::string data = "bin\\run-program.exe --title " + title + " --record " + m_record + more;
    Set(View::Bits64, kRunKey, title.c_str(), REG_SZ, Text(data));
  }
  void StartFirstInstance() {
    m_quorvel = StartQuorvel();
    ASSERT_NE(WaitForMainWindow(m_quorvel->Pid()), nullptr) << "the main window did not appear";
  }

  // The record's lines whose text contains |part|, in order, once there are at least
  // |count| of them (fewer when the time-out passed first).
  std::vector<bed::RecordLine> Record(const std::string& part, size_t count = 1) const {
    const auto matching = [&](const std::vector<bed::RecordLine>& lines) {
      std::vector<bed::RecordLine> found;
      for (const bed::RecordLine& line : lines) {
        if (line.text.find(part) != std::string::npos) found.push_back(line);
      }
      return found;
    };
    return matching(bed::WaitForRecord(
        m_record, [&](const std::vector<bed::RecordLine>& lines) { return matching(lines).size() >= count; }, kWaitMs));
  }
  std::vector<std::string> RecordTexts(const std::string& part, size_t count = 1) const {
    return bed::RecordTexts(Record(part, count));
  }

  bed::ServiceStandIn m_service;
  std::string m_baseDir;
  std::string m_record;
  std::unique_ptr<bed::ChildProcess> m_quorvel;
};

TEST_F(Companions, RunEntriesWithDataStartAndEveryTitleIsClosedAtShutDown) {
  AddRun("Alpha");
  // No program to start, but a window of this title is still closed at shut-down.
  Set(View::Bits64, kRunKey, "Beta", REG_SZ, Text(""));
  AddRun("Gamma");
  bed::ChildProcess beta("run-program.exe", {"--title", "Beta", "--record", m_record});
  ASSERT_NE(WaitForWindow(0, kRunProgramClass, "Beta"), nullptr);

  StartFirstInstance();
  std::vector<UniqueHandle> started;
  for (const char* title : {"Alpha", "Gamma"}) {
    HWND window = WaitForWindow(0, kRunProgramClass, title);
    ASSERT_NE(window, nullptr) << title << " was not started";
    started.push_back(OpenWindowProcess(window));
  }
  EXPECT_THAT(RecordTexts("started", 3),
              UnorderedElementsAre(StartsWith("Beta "), StartsWith("Alpha "), StartsWith("Gamma ")));

  EXPECT_TRUE(ExitFirstInstance(*m_quorvel));
  for (const UniqueHandle& process : started) {
    EXPECT_EQ(WaitForSingleObject(process.Get(), kWaitMs), WAIT_OBJECT_0) << "a started program did not end";
  }
  EXPECT_EQ(beta.WaitExitCode(kWaitMs), 0u);
  EXPECT_THAT(RecordTexts("WM_CLOSE", 4), UnorderedElementsAre("Alpha WM_CLOSE 1 closing", "Beta WM_CLOSE 1 closing",
                                                            "Gamma WM_CLOSE 1 closing", "halvo7302 WM_CLOSE"));
}

// A program that ignores its first WM_CLOSE costs one wait; the programs after it are
// not waited for, and every Run window is asked once more.
TEST_F(Companions, ProgramIgnoringCloseCostsOneWaitAndGetsASecondClose) {
  AddRun("A-Busy", " --ignore-close 1");
  AddRun("B-Quick");
  AddRun("C-Busy", " --ignore-close 1");
  StartFirstInstance();
  for (const char* title : {"A-Busy", "B-Quick", "C-Busy"}) {
    ASSERT_NE(WaitForWindow(0, kRunProgramClass, title), nullptr) << title << " was not started";
  }

  EXPECT_TRUE(ExitFirstInstance(*m_quorvel));
  std::vector<std::string> texts;
  ULONGLONG first = 0;
  ULONGLONG second = 0;
  for (const auto& [tick, text] : Record(" WM_CLOSE ", 5)) {
    texts.push_back(text);
    if (text == "A-Busy WM_CLOSE 1 ignored") first = tick;
    if (text == "A-Busy WM_CLOSE 2 closing") second = tick;
  }
  ASSERT_THAT(texts, UnorderedElementsAre("A-Busy WM_CLOSE 1 ignored", "A-Busy WM_CLOSE 2 closing",
                                          "B-Quick WM_CLOSE 1 closing", "C-Busy WM_CLOSE 1 ignored",
                                          "C-Busy WM_CLOSE 2 closing"));
  // One full wait lies between the rounds, and not a second one for C-Busy (which would
  // make it twice as long).
  EXPECT_GE(second - first, kRunProgramWaitMs - 50);
  EXPECT_LT(second - first, kRunProgramWaitMs * 3 / 2);
}

TEST_F(Companions, K7302ServerStartsFromTheBaseDirectoryAndClosesThroughItsWindow) {
  StartFirstInstance();
  HWND window = WaitForWindow(0, kK7302ServerClass, kK7302ServerTitle);
  ASSERT_NE(window, nullptr) << "the K7302 server was not started";
  const UniqueHandle server = OpenWindowProcess(window);
  char image[MAX_PATH] = {};
  DWORD size = sizeof image;
  ASSERT_TRUE(QueryFullProcessImageNameA(server.Get(), 0, image, &size));
  EXPECT_STRCASEEQ(image, (m_baseDir + "\\bin\\" + kK7302ServerFile).c_str());

  const UniqueHandle present(OpenEventA(SYNCHRONIZE, FALSE, "Global\\KorvaneK7302Present"));
  ASSERT_TRUE(present) << "no presence event";
  EXPECT_EQ(WaitForSingleObject(present.Get(), 0), WAIT_OBJECT_0);
  // The events it serves are the ones Quorvel signals.
  EXPECT_EQ(RunQuorvel("-e"), 1u);
  EXPECT_THAT(RecordTexts("EditRM"), ElementsAre("halvo7302 signalled EditRM"));

  EXPECT_TRUE(ExitFirstInstance(*m_quorvel));
  EXPECT_EQ(WaitForSingleObject(server.Get(), kWaitMs), WAIT_OBJECT_0) << "the K7302 server did not end";
  DWORD exitCode = STILL_ACTIVE;
  EXPECT_TRUE(GetExitCodeProcess(server.Get(), &exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_THAT(RecordTexts("halvo7302", 4), ElementsAre("halvo7302 ready", "halvo7302 signalled EditRM",
                                                     "halvo7302 WM_CLOSE", "halvo7302 stopped"));
}

}  // namespace
