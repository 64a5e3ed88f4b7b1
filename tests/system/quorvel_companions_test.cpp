// quorvel.exe with its companion programs: the K7302 server stand-in from the base
// directory's bin folder and the programs of the Run subkey, started with the first
// instance and closed through their windows when it ends.
#include <gmock/gmock.h>

#include <fstream>
#include <sstream>

#include "bed/service_standin.h"
#include "quorvel_driver.h"
#include "shell/companion_programs.h"

namespace {

using namespace quorvel_test;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using ::testing::UnorderedElementsAre;

constexpr char kRunProgramClass[] = "Quorvel_Run_Program_StandIn";
constexpr char kSuiteKey[] = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion";
constexpr char kRunKey[] = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion\\Run";
// How long anything a program under test should do may take.
constexpr DWORD kTimeoutMs = 15000;

// A REG_SZ value in HKLM's 64-bit view, its key created as needed.
void SetText(const char* path, const char* name, const std::string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS)
      << path;
  EXPECT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                           static_cast<DWORD>(text.size() + 1)),
            ERROR_SUCCESS);
  RegCloseKey(key);
}

struct RecordLine {
  ULONGLONG tick = 0;
  std::string text;  // "<program or title> <what>"
};

HWND WaitForTopWindow(const char* className, const char* title) {
  const ULONGLONG deadline = GetTickCount64() + kTimeoutMs;
  for (;;) {
    HWND window = FindWindowA(className, title);
    if (window != nullptr || GetTickCount64() >= deadline) return window;
    Sleep(10);
  }
}

// The process behind a window, opened to be waited for.
HANDLE OpenWindowProcess(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE, pid);
}

BOOL CALLBACK KillStandIn(HWND window, LPARAM) {
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  if (strcmp(className, kRunProgramClass) == 0 || strcmp(className, kK7302ServerClass) == 0) {
    HANDLE process = OpenWindowProcess(window);
    TerminateProcess(process, 99);
    CloseHandle(process);
  }
  return TRUE;
}

// A base directory of the test's own whose bin folder holds the K7302 server and Run
// program stand-ins, which all append to one record file.
class Companions : public ::testing::Test {
 protected:
  void SetUp() override {
    // Each test starts with no Run entries.
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRunKey);
    char temp[MAX_PATH] = {};
    GetTempPathA(sizeof temp, temp);
    baseDir_ = std::string(temp) + bed::UniqueName("base");
    ASSERT_TRUE(CreateDirectoryA(baseDir_.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((baseDir_ + "\\bin").c_str(), nullptr));
    for (const char* file : {kK7302ServerFile, "run-program.exe"}) {
      ASSERT_TRUE(CopyFileA(bed::BinPath(file).c_str(), (baseDir_ + "\\bin\\" + file).c_str(), FALSE)) << file;
    }
    SetText(kSuiteKey, "BaseDir", baseDir_);
    record_ = baseDir_ + "\\record.txt";
    // Quorvel starts the K7302 server without a command line; it inherits this.
    SetEnvironmentVariableA("HALVO7302_RECORD", record_.c_str());
  }

  void TearDown() override {
    if (quorvel_ && quorvel_->Running()) quorvel_->Kill();
    // Nothing started by this test outlives it, whatever failed.
    EnumWindows(KillStandIn, 0);
  }

  void AddRun(const char* name, const std::string& data) {
    SetText(kRunKey, name, data);
  }
  // A Run entry's data: the stand-in titled |title|, relative to the base directory.
  std::string RunProgram(const std::string& title, const std::string& more = "") const {
    return "bin\\run-program.exe --title " + title + " --record " + record_ + more;
  }

  void StartFirstInstance() {
    quorvel_ = StartQuorvel();
    ASSERT_NE(WaitForMainWindow(quorvel_->Pid(), kTimeoutMs), nullptr) << "the main window did not appear";
  }
  // "-x" from a second instance; returns the milliseconds until the first one ended.
  ULONGLONG ExitFirstInstance() {
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(RunQuorvel("-x"), 1u);
    EXPECT_EQ(quorvel_->WaitExitCode(kTimeoutMs), 0u);
    return GetTickCount64() - start;
  }

  std::vector<RecordLine> Record() const {
    std::vector<RecordLine> lines;
    std::ifstream file(record_);
    std::string line;
    while (std::getline(file, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      std::istringstream fields(line);
      RecordLine entry;
      fields >> entry.tick;
      std::getline(fields >> std::ws, entry.text);
      lines.push_back(entry);
    }
    return lines;
  }
  // The record's texts that contain |part|, in order.
  std::vector<std::string> RecordTexts(const std::string& part) const {
    std::vector<std::string> texts;
    for (const RecordLine& line : Record()) {
      if (line.text.find(part) != std::string::npos) texts.push_back(line.text);
    }
    return texts;
  }
  bool WaitForRecord(const std::string& text) const {
    const ULONGLONG deadline = GetTickCount64() + kTimeoutMs;
    while (GetTickCount64() < deadline) {
      for (const RecordLine& line : Record()) {
        if (line.text == text) return true;
      }
      Sleep(20);
    }
    return false;
  }

  bed::ServiceStandIn service_;
  std::string baseDir_;
  std::string record_;
  std::unique_ptr<bed::ChildProcess> quorvel_;
};

TEST_F(Companions, RunEntriesWithDataStartAndEveryTitleIsClosedAtShutDown) {
  AddRun("Alpha", RunProgram("Alpha"));
  // No program to start, but a window of this title is still closed at shut-down.
  AddRun("Beta", "");
  AddRun("Gamma", RunProgram("Gamma"));
  bed::ChildProcess beta("run-program.exe", {"--title", "Beta", "--record", record_});
  ASSERT_NE(WaitForTopWindow(kRunProgramClass, "Beta"), nullptr);

  StartFirstInstance();
  std::vector<HANDLE> started;
  for (const char* title : {"Alpha", "Gamma"}) {
    HWND window = WaitForTopWindow(kRunProgramClass, title);
    ASSERT_NE(window, nullptr) << title << " was not started";
    started.push_back(OpenWindowProcess(window));
  }
  EXPECT_THAT(RecordTexts("started"),
              UnorderedElementsAre(::testing::StartsWith("Beta "), ::testing::StartsWith("Alpha "),
                                   ::testing::StartsWith("Gamma ")));

  std::printf("shut-down with three Run windows: %llu ms\n", ExitFirstInstance());
  for (HANDLE process : started) {
    EXPECT_EQ(WaitForSingleObject(process, kTimeoutMs), WAIT_OBJECT_0) << "a started program did not end";
    CloseHandle(process);
  }
  EXPECT_EQ(beta.WaitExitCode(kTimeoutMs), 0u);
  EXPECT_THAT(RecordTexts("WM_CLOSE"),
              UnorderedElementsAre("Alpha WM_CLOSE 1 closing", "Beta WM_CLOSE 1 closing", "Gamma WM_CLOSE 1 closing",
                                   "halvo7302 WM_CLOSE"));
}

// A program that ignores its first WM_CLOSE costs one wait; the programs after it are
// not waited for, and every Run window is asked once more.
TEST_F(Companions, ProgramIgnoringCloseCostsOneWaitAndGetsASecondClose) {
  AddRun("A-Busy", RunProgram("A-Busy", " --ignore-close 1"));
  AddRun("B-Quick", RunProgram("B-Quick"));
  AddRun("C-Busy", RunProgram("C-Busy", " --ignore-close 1"));
  StartFirstInstance();
  for (const char* title : {"A-Busy", "B-Quick", "C-Busy"}) {
    ASSERT_NE(WaitForTopWindow(kRunProgramClass, title), nullptr) << title << " was not started";
  }

  std::printf("shut-down with two busy Run programs: %llu ms\n", ExitFirstInstance());
  for (const char* title : {"A-Busy", "C-Busy"}) {
    EXPECT_TRUE(WaitForRecord(std::string(title) + " stopped")) << title;
  }
  std::vector<RecordLine> closes;
  for (const RecordLine& line : Record()) {
    if (line.text.rfind("A-Busy WM_CLOSE", 0) == 0 || line.text.rfind("B-Quick WM_CLOSE", 0) == 0 ||
        line.text.rfind("C-Busy WM_CLOSE", 0) == 0) {
      closes.push_back(line);
    }
  }
  std::vector<std::string> texts;
  for (const RecordLine& line : closes) texts.push_back(line.text);
  ASSERT_THAT(texts, IsSupersetOf({"A-Busy WM_CLOSE 1 ignored", "A-Busy WM_CLOSE 2 closing",
                                   "B-Quick WM_CLOSE 1 closing", "C-Busy WM_CLOSE 1 ignored",
                                   "C-Busy WM_CLOSE 2 closing"}));
  EXPECT_EQ(texts.size(), 5u);
  ULONGLONG first = 0;
  ULONGLONG second = 0;
  for (const RecordLine& line : closes) {
    if (line.text == "A-Busy WM_CLOSE 1 ignored") first = line.tick;
    if (line.text == "A-Busy WM_CLOSE 2 closing") second = line.tick;
  }
  // One full wait lies between the rounds, and not a second one for C-Busy (which would
  // make it twice as long).
  std::printf("between the two rounds of WM_CLOSE: %llu ms\n", second - first);
  EXPECT_GE(second - first, kRunProgramWaitMs - 50);
  EXPECT_LT(second - first, kRunProgramWaitMs * 3 / 2);
}

TEST_F(Companions, K7302ServerStartsFromTheBaseDirectoryAndClosesThroughItsWindow) {
  StartFirstInstance();
  HWND window = WaitForTopWindow(kK7302ServerClass, kK7302ServerTitle);
  ASSERT_NE(window, nullptr) << "the K7302 server was not started";
  HANDLE server = OpenWindowProcess(window);
  char image[MAX_PATH] = {};
  DWORD size = sizeof image;
  ASSERT_TRUE(QueryFullProcessImageNameA(server, 0, image, &size));
  EXPECT_STRCASEEQ(image, (baseDir_ + "\\bin\\" + kK7302ServerFile).c_str());

  HANDLE present = OpenEventA(SYNCHRONIZE, FALSE, "Global\\KorvaneK7302Present");
  ASSERT_NE(present, nullptr) << "no presence event";
  EXPECT_EQ(WaitForSingleObject(present, 0), WAIT_OBJECT_0);
  CloseHandle(present);
  // The events it serves are the ones Quorvel signals.
  EXPECT_EQ(RunQuorvel("-e"), 1u);
  EXPECT_TRUE(WaitForRecord("halvo7302 signalled EditRM"));

  ExitFirstInstance();
  EXPECT_EQ(WaitForSingleObject(server, kTimeoutMs), WAIT_OBJECT_0) << "the K7302 server did not end";
  DWORD exitCode = STILL_ACTIVE;
  GetExitCodeProcess(server, &exitCode);
  EXPECT_EQ(exitCode, 0u);
  CloseHandle(server);
  EXPECT_THAT(RecordTexts("halvo7302"), ElementsAre("halvo7302 ready", "halvo7302 signalled EditRM",
                                                     "halvo7302 WM_CLOSE", "halvo7302 stopped"));
}

}  // namespace
