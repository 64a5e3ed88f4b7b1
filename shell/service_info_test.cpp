// The service information block and the running-event probe, with the block and the
// events made by the test process itself.
#include "shell/service_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>

#include "shell/service_status.h"

namespace {

TEST(ReadServiceInfo, TakesTheTextsOnlyWhenTheBlockHasAMessage) {
  // message and statusLine as published; a text filling its field has no NUL.
  const struct {
    const char* title;
    int32_t hasMessage, refuseStart;
    std::string message, statusLine;
    bool refused;
    std::string messageRead, statusLineRead;
  } cases[] = {
      {"refusal counts only with a message", 0, 1, "ignored", "ignored", false, "", ""},
      {"message and status line", 1, 0, "Line one\nline two", "Ombrix Service 15.5", false, "Line one\nline two",
       "Ombrix Service 15.5"},
      {"unterminated texts", 1, 0, std::string(2048, 'm'), std::string(256, 's'), false, std::string(2047, 'm'),
       std::string(255, 's')},
      {"refusal without a box", 1, 1, "refused", "", true, "refused", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    // The block as the suite service publishes it (show-message off), new for each case.
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, kServiceInfoBlockName);
    char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 4096));
    ASSERT_NE(view, nullptr);
    std::memcpy(view + 4, &c.hasMessage, 4);
    std::memcpy(view + 8, &c.refuseStart, 4);
    std::memcpy(view + 16, c.message.c_str(), std::min<size_t>(c.message.size() + 1, 2048));
    std::memcpy(view + 2064, c.statusLine.c_str(), std::min<size_t>(c.statusLine.size() + 1, 256));

    EXPECT_EQ(ReadServiceInfo(), c.refused);
    EXPECT_FALSE(IsServiceInfoMissing());
    EXPECT_EQ(GetServiceMessage(), c.messageRead);
    EXPECT_EQ(GetServiceStatusLine(), c.statusLineRead);
    // Nothing may wait for a box that never comes.
    EXPECT_TRUE(!c.refused || IsServiceMessageClosed());
    UnmapViewOfFile(view);
    CloseHandle(mapping);
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
    WaitForSingleObject(probing, INFINITE);
    SetEvent(event);
  });
  SetEvent(probing);
  EXPECT_EQ(ProbeEvent(name, 10000), kProbeSignalled);
  setter.join();
  CloseHandle(probing);
  CloseHandle(event);
}

}  // namespace
