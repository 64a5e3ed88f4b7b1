// The service information block and the running-event probe, with the block and the
// events made by the test process itself.
#include "shell/service_info.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shell/service_status.h"

namespace {

constexpr size_t kBlockSize = 4096;

// The block as the suite service publishes it, for the life of the object.
class PublishedBlock {
 public:
  PublishedBlock(int32_t hasMessage, int32_t refuseStart, int32_t showMessage) {
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBlockSize, kServiceInfoBlockName);
    view_ = static_cast<char*>(MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, kBlockSize));
    if (view_ == nullptr) throw std::runtime_error("cannot publish the block");
    std::memcpy(view_ + 4, &hasMessage, 4);
    std::memcpy(view_ + 8, &refuseStart, 4);
    std::memcpy(view_ + 12, &showMessage, 4);
  }
  ~PublishedBlock() {
    UnmapViewOfFile(view_);
    CloseHandle(mapping_);
  }
  void SetTexts(const std::string& message, const std::string& statusLine) {
    std::memcpy(view_ + 16, message.c_str(), message.size() + 1);
    std::memcpy(view_ + 2064, statusLine.c_str(), statusLine.size() + 1);
  }
  // Both text fields filled to their last byte, with no NUL.
  void FillTextsUnterminated() {
    std::memset(view_ + 16, 'm', 2048);
    std::memset(view_ + 2064, 's', 256);
  }

 private:
  HANDLE mapping_ = nullptr;
  char* view_ = nullptr;
};

TEST(ReadServiceInfo, TakesTheTextsOnlyWhenTheBlockHasAMessage) {
  PublishedBlock block(0, 1, 0);
  block.SetTexts("ignored", "ignored");
  EXPECT_FALSE(ReadServiceInfo()) << "refuseStart counts only with hasMessage";
  EXPECT_FALSE(IsServiceInfoMissing());
  EXPECT_STREQ(GetServiceStatusLine(), "");
  EXPECT_STREQ(GetServiceMessage(), "");
}

TEST(ReadServiceInfo, CopiesMessageAndStatusLine) {
  PublishedBlock block(1, 0, 0);
  block.SetTexts("Line one\nline two", "Ombrix Service 15.5");
  EXPECT_FALSE(ReadServiceInfo());
  EXPECT_STREQ(GetServiceMessage(), "Line one\nline two");
  EXPECT_STREQ(GetServiceStatusLine(), "Ombrix Service 15.5");
}

TEST(ReadServiceInfo, CutsUnterminatedTextsAtTheEndOfTheirFields) {
  PublishedBlock block(1, 0, 0);
  block.FillTextsUnterminated();
  EXPECT_FALSE(ReadServiceInfo());
  EXPECT_EQ(std::string(GetServiceMessage()), std::string(2047, 'm'));
  EXPECT_EQ(std::string(GetServiceStatusLine()), std::string(255, 's'));
}

TEST(ReadServiceInfo, RefusalWithoutABoxLeavesNothingToWaitFor) {
  PublishedBlock block(1, 1, 0);
  block.SetTexts("refused", "");
  EXPECT_TRUE(ReadServiceInfo());
  EXPECT_TRUE(IsServiceMessageClosed());
}

TEST(ProbeEvent, TellsAbsentWaitingAndSignalled) {
  const char* name = "Global\\QuorvelProbeEventTest";
  EXPECT_EQ(ProbeEvent(name, 0), kProbeAbsent);

  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, name);
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(ProbeEvent(name, 0), kProbeWaiting);
  EXPECT_EQ(ProbeEvent(name, 50), kProbeWaiting);

  // Set while the probe waits.
  HANDLE setter = CreateThread(
      nullptr, 0, [](void* e) -> DWORD { Sleep(100); return SetEvent(static_cast<HANDLE>(e)); }, event, 0, nullptr);
  EXPECT_EQ(ProbeEvent(name, 10000), kProbeSignalled);
  WaitForSingleObject(setter, INFINITE);
  CloseHandle(setter);
  CloseHandle(event);
}

}  // namespace
