#include "base/unique.h"

#include "base/results.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

bool IsOpenHandle(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != FALSE;
}

HANDLE NewEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

TEST(UniqueHandle, ClosesOnScopeEndAndAfterMoveOnlyOnce) {
  HANDLE raw = NewEvent();
  ASSERT_NE(raw, nullptr);
  {
    UniqueHandle first(raw);
    UniqueHandle second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.Get(), raw);
    EXPECT_TRUE(IsOpenHandle(raw));
  }
  EXPECT_FALSE(IsOpenHandle(raw));
}

TEST(UniqueHandle, ReleaseHandsOwnershipOverAndResetTakesANewOne) {
  HANDLE kept = NewEvent();
  HANDLE replaced = NewEvent();
  {
    UniqueHandle owner(kept);
    EXPECT_EQ(owner.Release(), kept);
    owner.Reset(replaced);
  }
  EXPECT_TRUE(IsOpenHandle(kept));
  EXPECT_FALSE(IsOpenHandle(replaced));
  IgnoreResult(CloseHandle(kept));
}

TEST(UniqueFile, TreatsInvalidHandleValueAsEmpty) {
  UniqueFile none;
  EXPECT_EQ(none.Get(), INVALID_HANDLE_VALUE);
  EXPECT_FALSE(none);
  UniqueFile failed(CreateFileA("C:\\no\\such\\folder\\file", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(failed);
}

TEST(UniqueMenu, DestroysUnlessReleasedToAParent) {
  HMENU parent = CreatePopupMenu();
  HMENU attached = CreateMenu();
  HMENU dropped = CreateMenu();
  {
    UniqueMenu child(attached);
    UniqueMenu other(dropped);
    ASSERT_TRUE(AppendMenuA(parent, MF_POPUP, reinterpret_cast<UINT_PTR>(child.Release()), "child"));
  }
  EXPECT_TRUE(IsMenu(attached));
  EXPECT_FALSE(IsMenu(dropped));
  { UniqueMenu owner(parent); }
  EXPECT_FALSE(IsMenu(parent));
  EXPECT_FALSE(IsMenu(attached));
}

TEST(UniqueView, UnmapsTheView) {
  UniqueHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, nullptr));
  ASSERT_TRUE(mapping);
  void* address = MapViewOfFile(mapping.Get(), FILE_MAP_ALL_ACCESS, 0, 0, 0);
  ASSERT_NE(address, nullptr);
  MEMORY_BASIC_INFORMATION info{};
  {
    UniqueView view(address);
    ViewAs<int>(view)[0] = 7;
    ASSERT_NE(VirtualQuery(address, &info, sizeof info), 0u);
    EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
  }
  ASSERT_NE(VirtualQuery(address, &info, sizeof info), 0u);
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
}

TEST(UniqueProcess, ClosesBothHandles) {
  PROCESS_INFORMATION info{};
  info.hProcess = NewEvent();
  info.hThread = NewEvent();
  info.dwProcessId = 42;
  {
    UniqueProcess process(info);
    EXPECT_EQ(process.ProcessId(), 42u);
    EXPECT_TRUE(process);
  }
  EXPECT_FALSE(IsOpenHandle(info.hProcess));
  EXPECT_FALSE(IsOpenHandle(info.hThread));
}

// An open C stream keeps its file from being deleted, so a stream left open shows.
TEST(UniqueCFile, ClosesTheStreamOnScopeEndAndOnReset) {
  char folder[MAX_PATH] = {};
  ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
  const std::string path = std::string(folder) + "unique_cfile_" + std::to_string(GetCurrentProcessId()) + ".txt";
  {
    const UniqueCFile file(std::fopen(path.c_str(), "w"));
    ASSERT_TRUE(file);
    EXPECT_FALSE(DeleteFileA(path.c_str()));
  }
  EXPECT_TRUE(DeleteFileA(path.c_str()));
  UniqueCFile file(std::fopen(path.c_str(), "w"));
  ASSERT_TRUE(file);
  file.Reset();
  EXPECT_FALSE(file);
  EXPECT_TRUE(DeleteFileA(path.c_str()));
}

}  // namespace
