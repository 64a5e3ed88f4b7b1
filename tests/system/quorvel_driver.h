// Driving quorvel.exe from another process, as the suite's installers and tools do: start
// it, find its window, read and answer its message boxes, and watch the named events and
// the trace control block it touches. The suite key is seeded and read with the config tests' registry helpers.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "base/unique.h"
#include "tests/bed/child_process.h"
#include "support/wait_until.h"
#include "tests/bed/wine_log.h"
#include "config/testing/test_registry.h"
#include "trace/trace_control.h"

namespace quorvel_test {

using namespace test_registry;

inline constexpr char kCaption[] = "Korvane Quorvel";
inline constexpr char kRunningEvent[] = "Global\\__Korvane_QuorvelRunning";
inline constexpr char kReportWritten[] =
    "Writing OMBX 'About' box information to "
    "'C:\\ProgramData\\Korvane\\Korvane Ombrix\\Korvane Ombrix Information.txt'";
inline constexpr char kLoopEntered[] = "Entering the Quorvel Windows message loop.";
inline constexpr char kLoopEnded[] = "Quorvel is quitting because the Windows message loop has terminated.";
// How long anything quorvel.exe should do may take.
inline constexpr DWORD kWaitMs = 15000;

// quorvel.exe started with one command-line tail (empty: no option).
inline std::unique_ptr<bed::ChildProcess> StartQuorvel(const std::string& option = "") {
  return std::make_unique<bed::ChildProcess>("quorvel.exe", std::vector<std::string>(!option.empty(), option));
}
// Runs quorvel.exe with the option to its end; its exit code (throws on time-out).
inline DWORD RunQuorvel(const std::string& option) { return StartQuorvel(option)->WaitExitCode(kWaitMs); }
// Ends the running first instance with "-x" from a second one; true when the second
// exited with 1 and the first with 0.
inline bool ExitFirstInstance(const bed::ChildProcess& first) {
  return RunQuorvel("-x") == 1 && first.WaitExitCode(kWaitMs) == 0;
}

// A top-level window of process pid (0: of any process) with this class and title (only
// once shown, when visible is set), polled for until the time-out; null when it did not appear.
inline HWND WaitForWindow(DWORD pid, const char* className, const char* title, bool visible = false,
                          DWORD timeoutMs = kWaitMs) {
  HWND window = nullptr;
  support::WaitUntil(
      [&] {
        while ((window = FindWindowExA(nullptr, window, className, title)) != nullptr) {
          DWORD owner = 0;
          GetWindowThreadProcessId(window, &owner);
          if ((pid == 0 || owner == pid) && (!visible || IsWindowVisible(window))) return true;
        }
        return false;
      },
      timeoutMs, 10);
  return window;
}
// The main window of process pid.
inline HWND WaitForMainWindow(DWORD pid, DWORD timeoutMs = kWaitMs) {
  return WaitForWindow(pid, "BW_Halvoric_Class", "BW_Halvoric_Wnd", false, timeoutMs);
}
// A message box of process pid, once it is shown (a box is shown once its controls exist).
inline HWND WaitForMessageBox(DWORD pid, DWORD timeoutMs = kWaitMs) {
  return WaitForWindow(pid, "#32770", kCaption, true, timeoutMs);
}
inline std::string MessageBoxText(HWND box) {
  char text[4096] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  return text;
}
// Presses the button with this id (IDOK, IDYES, IDNO, ...).
inline void PressButton(HWND box, int id) { PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(id), 0); }

// The texts the process pid wrote to the event log so far; with a count, once there are
// at least that many (or the time-out passed).
inline std::vector<std::string> LogLines(DWORD pid, size_t count = 0) {
  std::vector<std::string> texts;
  for (const bed::WineLogEntry& entry : bed::WaitForWineLogEntries(pid, count, kWaitMs)) texts.push_back(entry.text);
  return texts;
}

// Waits until the process pid has written this line to the event log.
inline bool WaitForLogLine(DWORD pid, const std::string& text, DWORD timeoutMs = kWaitMs) {
  return bed::WaitForWineLogEntry(pid, [&](const bed::WineLogEntry& e) { return e.text == text; }, timeoutMs)
      .has_value();
}

// Makes a base directory of the test's own and stores it as the suite's BaseDir; its bin
// folder gets copies of these programs of the build. Quorvel starts the K7302 server from
// there without a command line, so the server's record file (record.txt in the directory)
// is named in HALVO7302_RECORD, which quorvel.exe and the server inherit.
inline void MakeBaseDir(std::initializer_list<const char*> programs, std::string& baseDir, std::string& record) {
  baseDir = bed::TempPath("base");
  ASSERT_TRUE(CreateDirectoryA(baseDir.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((baseDir + "\\bin").c_str(), nullptr));
  for (const char* file : programs) {
    ASSERT_TRUE(CopyFileA(bed::BinPath(file).c_str(), (baseDir + "\\bin\\" + file).c_str(), FALSE)) << file;
  }
  SetSuiteText("BaseDir", baseDir);
  record = baseDir + "\\record.txt";
  ASSERT_TRUE(SetEnvironmentVariableA("HALVO7302_RECORD", record.c_str()));
}

// A manual-reset event the test creates and owns, as the K7302 software would.
class TestEvent {
 public:
  explicit TestEvent(const char* name) : m_handle(CreateEventA(nullptr, TRUE, FALSE, name)) {}
  bool WaitSignalled(DWORD timeoutMs) const { return WaitForSingleObject(m_handle.Get(), timeoutMs) == WAIT_OBJECT_0; }
  void Reset() const { EXPECT_TRUE(ResetEvent(m_handle.Get())); }

 private:
  UniqueHandle m_handle;
};

// quorvel.exe's trace control block, opened by name as an instrument library or the viewer
// opens it, with access FILE_MAP_READ or FILE_MAP_WRITE. The relay's thread makes the block,
// maybe after the message loop began, so it is polled for. The mapping is held with the
// view, so the block outlives quorvel.exe.
class TraceControlView {
 public:
  explicit TraceControlView(DWORD access) {
    const std::string name = std::string("Global\\") + kTraceControlName;
    support::WaitUntil(
        [&] {
          m_mapping.Reset(OpenFileMappingA(access, FALSE, name.c_str()));
          return static_cast<bool>(m_mapping);
        },
        kWaitMs, 10);
    if (m_mapping) m_view.Reset(MapViewOfFile(m_mapping.Get(), access, 0, 0, sizeof(TraceControlBlock)));
  }
  // Null when the block did not appear in time or could not be mapped.
  TraceControlBlock* Block() const { return ViewAs<TraceControlBlock>(m_view); }

 private:
  UniqueHandle m_mapping;
  UniqueView m_view;
};

}  // namespace quorvel_test
