// The service information block and the running-event probe, with the block and the
// events made by the test process itself.
#include "shell/service_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "base/results.h"
#include "base/window_identity.h"
#include "base/unique.h"
#include "support/wait_until.h"
#include "shell/service_status.h"

namespace {

constexpr DWORD kDeadlineMs = 10000;

// The service's box shown by this process, once it is there; null when none came in time.
HWND WaitForServiceBox() {
  HWND box = nullptr;
  support::WaitUntil(
      [&] {
        for (box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", kMessageBoxCaption)) != nullptr;) {
          DWORD owner = 0;
          GetWindowThreadProcessId(box, &owner);
          if (owner == GetCurrentProcessId() && IsWindowVisible(box)) return true;
        }
        return false;
      },
      kDeadlineMs);
  return box;
}

std::string BoxText(HWND box) {
  std::string text(4096, '\0');
  text.resize(GetDlgItemTextA(box, 0xFFFF, text.data(), static_cast<int>(text.size())));
  return text;
}

// Whether WaitForServiceMessageClosed returns in time. It runs on a thread of its own, so
// that a wait that never ends fails the test instead of hanging it.
bool ServiceMessageWaitEnds() {
  const UniqueHandle waiter(CreateThread(
      nullptr, 0,
      [](LPVOID) -> DWORD {
        WaitForServiceMessageClosed();
        return 0;
      },
      nullptr, 0, nullptr));
  return waiter && WaitForSingleObject(waiter.Get(), kDeadlineMs) == WAIT_OBJECT_0;
}

TEST(ReadServiceInfo, TakesTheTextsOnlyWhenTheBlockHasAMessage) {
  // message and statusLine as published; a text filling its field has no NUL. The box
  // shows the message as taken; without a box the message is seen nowhere.
  const struct {
    const char* title;
    int32_t hasMessage, refuseStart, showMessage;
    std::string message, statusLine;
    bool refused;
    bool box;
    std::string messageRead, statusLineRead;
  } cases[] = {
      {"refusal counts only with a message", 0, 1, 1, "ignored", "ignored", false, false, "", ""},
      {"message and status line", 1, 0, 1, "Line one\nline two", "Ombrix Service 15.5", false, true,
       "Line one\nline two", "Ombrix Service 15.5"},
      {"unterminated texts", 1, 0, 1, std::string(2048, 'm'), std::string(256, 's'), false, true,
       std::string(2047, 'm'), std::string(255, 's')},
      {"refusal with a box", 1, 1, 1, "refused", "", true, true, "refused", ""},
      // Nothing may wait for a box that never comes.
      {"refusal without a box", 1, 1, 0, "refused", "", true, false, "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    // The block as the suite service publishes it, new for each case.
    const UniqueHandle mapping(
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, kServiceInfoBlockName));
    const UniqueView mapped(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, 4096));
    char* view = ViewAs<char>(mapped);
    ASSERT_NE(view, nullptr);
    std::memcpy(view + 4, &c.hasMessage, 4);
    std::memcpy(view + 8, &c.refuseStart, 4);
    std::memcpy(view + 12, &c.showMessage, 4);
    std::memcpy(view + 16, c.message.c_str(), std::min<size_t>(c.message.size() + 1, 2048));
    std::memcpy(view + 2064, c.statusLine.c_str(), std::min<size_t>(c.statusLine.size() + 1, 256));

    EXPECT_EQ(ReadServiceInfo(), c.refused);
    EXPECT_FALSE(IsServiceInfoMissing());
    EXPECT_EQ(GetServiceStatusLine(), c.statusLineRead);
    if (c.box) {
      HWND box = WaitForServiceBox();
      ASSERT_NE(box, nullptr);
      EXPECT_EQ(BoxText(box), c.messageRead);
      IgnoreResult(PostMessageA(box, WM_COMMAND, IDOK, 0));
    }
    if (c.box || c.refused) {
      EXPECT_TRUE(ServiceMessageWaitEnds());
    }
  }
}

TEST(ProbeEvent, TellsAbsentWaitingAndSignalled) {
  const char* name = "Global\\QuorvelProbeEventTest";
  EXPECT_EQ(ProbeEvent(name, 0), kProbeAbsent);

  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(ProbeEvent(name, 50), kProbeWaiting);

  // Set from another thread once the probe has begun, so that the probe must wait for it.
  HANDLE probing = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread setter([&] {
    IgnoreResult(WaitForSingleObject(probing, INFINITE));
    IgnoreResult(SetEvent(event));
  });
  IgnoreResult(SetEvent(probing));
  EXPECT_EQ(ProbeEvent(name, 10000), kProbeSignalled);
  setter.join();
  IgnoreResult(CloseHandle(probing));
  IgnoreResult(CloseHandle(event));
}

}  // namespace
