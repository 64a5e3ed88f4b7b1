// The resource manager signals, with the K7302 events made by the test as the K7302
// software would, and the diagnostic log they share the process with.
#include "shell/rm_signals.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "bed/wine_log.h"
#include "shell/event_log.h"

namespace {

constexpr char kSuiteKey[] = "SOFTWARE\\Korvane\\Ombrix\\CurrentVersion";

void SetRmDialogHidden(const DWORD* value) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSuiteKey, 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  if (value != nullptr) {
    RegSetValueExA(key, "RmDialogHidden", 0, REG_DWORD, reinterpret_cast<const BYTE*>(value), sizeof *value);
  } else {
    RegDeleteValueA(key, "RmDialogHidden");
  }
  RegCloseKey(key);
}

struct Event {
  explicit Event(const char* name) : handle(CreateEventA(nullptr, TRUE, FALSE, name)) {}
  ~Event() { CloseHandle(handle); }
  bool Signalled() const { return WaitForSingleObject(handle, 0) == WAIT_OBJECT_0; }
  HANDLE handle;
};

TEST(RmSignals, EachSetsItsOwnEvent) {
  struct Case {
    const char* name;
    DWORD (*signal)();
  };
  const Case cases[] = {{kEditRmEventName, SignalEditRM},
                        {kRefreshRmEventName, SignalRefreshRM},
                        {kHideRmEventName, SignalHideRM},
                        {kUnhideRmEventName, SignalUnhideRM}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // No event yet: nothing happens, and the caller learns why.
    EXPECT_EQ(c.signal(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    Event target(c.name);
    Event other(&c == &cases[0] ? kRefreshRmEventName : kEditRmEventName);
    EXPECT_EQ(c.signal(), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_TRUE(target.Signalled());
    EXPECT_FALSE(other.Signalled());
  }
}

TEST(RmSignals, ToggleFollowsTheHiddenValue) {
  Event hide(kHideRmEventName);
  Event unhide(kUnhideRmEventName);
  SetRmDialogHidden(nullptr);
  ToggleHideRM();
  EXPECT_TRUE(hide.Signalled());
  EXPECT_FALSE(unhide.Signalled());

  ResetEvent(hide.handle);
  const DWORD hidden = 1;
  SetRmDialogHidden(&hidden);
  ToggleHideRM();
  EXPECT_TRUE(unhide.Signalled());
  EXPECT_FALSE(hide.Signalled());
}

TEST(WriteEventLog, WritesOneLineAndKeepsTheLastError) {
  SetLastError(1234);
  WriteEventLog("shell unit test line\twith a tab");
  EXPECT_EQ(GetLastError(), 1234u);
  const auto entries = bed::WineLogEntries(GetCurrentProcessId());
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.back().text, "shell unit test line\twith a tab");
  EXPECT_EQ(entries.back().level, "trace");  // an informational entry
}

}  // namespace
