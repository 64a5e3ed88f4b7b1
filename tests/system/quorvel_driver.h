// Driving quorvel.exe from another process, as the suite's installers and tools do: start
// it, find its window, read and answer its message boxes, seed and read the suite key,
// and watch the named events it touches.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bed/child_process.h"
#include "bed/wine_log.h"

namespace quorvel_test {

inline constexpr char kCaption[] = "Korvane Quorvel";
inline constexpr char kRunningEvent[] = "Global\\__Korvane_QuorvelRunning";

// quorvel.exe started with one command-line tail (empty: no option).
std::unique_ptr<bed::ChildProcess> StartQuorvel(const std::string& option = "");
// Runs quorvel.exe with the option to its end; its exit code (throws on time-out).
DWORD RunQuorvel(const std::string& option, DWORD timeoutMs = 20000);

// The main window (class "BW_Halvoric_Class", title "BW_Halvoric_Wnd") of process pid,
// polled for until the time-out; null when it did not appear.
HWND WaitForMainWindow(DWORD pid, DWORD timeoutMs);

// A message box (#32770 with the program's caption) of process pid, once it is shown; null
// after the time-out.
HWND WaitForMessageBox(DWORD pid, DWORD timeoutMs);
std::string MessageBoxText(HWND box);
// Presses the button with this id (IDOK, IDYES, IDNO, ...).
void PressButton(HWND box, int id);

// Opens the named event (synchronize access) once it exists; null after the time-out.
HANDLE WaitForEvent(const char* name, DWORD timeoutMs);

// The texts the process pid wrote to the event log so far.
std::vector<std::string> LogLines(DWORD pid);
// Waits until process pid has written at least count lines; returns them all.
std::vector<std::string> WaitForLogLines(DWORD pid, size_t count, DWORD timeoutMs = 10000);

// The suite key (HKLM, 64-bit view, the default names).
void CreateSuiteKey();
void SetSuiteText(const char* name, const char* text);
void SetSuiteDword(const char* name, DWORD value);
void DeleteSuiteValue(const char* name);
// A REG_SZ value of the suite key; nothing when missing or of another type.
std::optional<std::string> ReadSuiteText(const char* name);

// A manual-reset event the test creates and owns, as the K7302 software would.
class TestEvent {
 public:
  explicit TestEvent(const char* name);
  TestEvent(const TestEvent&) = delete;
  TestEvent& operator=(const TestEvent&) = delete;
  ~TestEvent();
  bool WaitSignalled(DWORD timeoutMs) const;
  void Reset() const;

 private:
  HANDLE handle_;
};

}  // namespace quorvel_test
