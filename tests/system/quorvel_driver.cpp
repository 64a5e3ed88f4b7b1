#include "quorvel_driver.h"

#include <stdexcept>

namespace quorvel_test {
namespace {

constexpr DWORD kPollMs = 10;
constexpr char kSuiteKey[] = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion";

struct WindowSearch {
  DWORD pid;
  const char* className;
  const char* title;
  bool visible;  // only a window already shown (a box is shown once its controls exist)
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
  auto* search = reinterpret_cast<WindowSearch*>(context);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char className[64] = {};
  char title[256] = {};
  GetClassNameA(window, className, sizeof className);
  GetWindowTextA(window, title, sizeof title);
  if (pid == search->pid && strcmp(className, search->className) == 0 && strcmp(title, search->title) == 0 &&
      (!search->visible || IsWindowVisible(window))) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND WaitForWindow(DWORD pid, const char* className, const char* title, bool visible, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    WindowSearch search{pid, className, title, visible, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr || GetTickCount64() >= deadline) return search.found;
    Sleep(kPollMs);
  }
}

HKEY OpenSuiteKey() {
  HKEY key = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSuiteKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    throw std::runtime_error("cannot create the suite key");
  }
  return key;
}

std::vector<std::string> Texts(const std::vector<bed::WineLogEntry>& entries) {
  std::vector<std::string> texts;
  for (const bed::WineLogEntry& entry : entries) texts.push_back(entry.text);
  return texts;
}

}  // namespace

std::unique_ptr<bed::ChildProcess> StartQuorvel(const std::string& option) {
  std::vector<std::string> args;
  if (!option.empty()) args.push_back(option);
  return std::make_unique<bed::ChildProcess>("quorvel.exe", args);
}

DWORD RunQuorvel(const std::string& option, DWORD timeoutMs) { return StartQuorvel(option)->WaitExitCode(timeoutMs); }

HWND WaitForMainWindow(DWORD pid, DWORD timeoutMs) {
  return WaitForWindow(pid, "BW_Halvoric_Class", "BW_Halvoric_Wnd", false, timeoutMs);
}

HWND WaitForMessageBox(DWORD pid, DWORD timeoutMs) {
  return WaitForWindow(pid, "#32770", kCaption, true, timeoutMs);
}

HANDLE WaitForEvent(const char* name, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  for (;;) {
    HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, name);
    if (event != nullptr || GetTickCount64() >= deadline) return event;
    Sleep(kPollMs);
  }
}

std::string MessageBoxText(HWND box) {
  char text[4096] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
  return text;
}

void PressButton(HWND box, int id) { PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(id), 0); }

std::vector<std::string> LogLines(DWORD pid) { return Texts(bed::WineLogEntries(pid)); }

std::vector<std::string> WaitForLogLines(DWORD pid, size_t count, DWORD timeoutMs) {
  return Texts(bed::WaitForWineLogEntries(pid, count, timeoutMs));
}

void CreateSuiteKey() { RegCloseKey(OpenSuiteKey()); }

void SetSuiteText(const char* name, const char* text) {
  HKEY key = OpenSuiteKey();
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text) + 1));
  RegCloseKey(key);
}

void SetSuiteDword(const char* name, DWORD value) {
  HKEY key = OpenSuiteKey();
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  RegCloseKey(key);
}

void DeleteSuiteValue(const char* name) {
  HKEY key = OpenSuiteKey();
  RegDeleteValueA(key, name);
  RegCloseKey(key);
}

std::optional<std::string> ReadSuiteText(const char* name) {
  char data[1024] = {};
  DWORD size = sizeof data - 1;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kSuiteKey, name, RRF_RT_REG_SZ | RRF_SUBKEY_WOW6464KEY, nullptr, data,
                   &size) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(data);
}

TestEvent::TestEvent(const char* name) : handle_(CreateEventA(nullptr, TRUE, FALSE, name)) {
  if (handle_ == nullptr) throw std::runtime_error(std::string("cannot create the event ") + name);
}

TestEvent::~TestEvent() { CloseHandle(handle_); }

bool TestEvent::WaitSignalled(DWORD timeoutMs) const { return WaitForSingleObject(handle_, timeoutMs) == WAIT_OBJECT_0; }

void TestEvent::Reset() const { ResetEvent(handle_); }

}  // namespace quorvel_test
