#include "object_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using ombrix::NkoRequest;
using ombrix::ObjectTable;
using ombrix::RequestKind;

NkoRequest Create(RequestKind kind, std::string name, int32_t a = 0, int32_t b = 0, int32_t c = 0, int32_t d = 0) {
  NkoRequest r;
  r.kind = kind;
  r.procId = 77;
  r.securityAttributes = 1;
  r.args[0] = a;
  r.args[1] = b;
  r.args[2] = c;
  r.args[3] = d;
  r.name = std::move(name);
  return r;
}

NkoRequest Close(int32_t procId, const std::string& handleReply) {
  NkoRequest r;
  r.kind = RequestKind::CloseHandle;
  r.procId = procId;
  r.args[0] = std::atoi(handleReply.c_str());
  return r;
}

// Objects live in the table's process here, so the table's handle keeps them alive and
// an Open call tells whether they still exist.
TEST(ObjectTable, HoldsEachObjectUntilItsCloseRequest) {
  ObjectTable table;
  std::string reply = table.Execute(Create(RequestKind::CreateEvent, "Local\\ot_event", 1, 1), false);
  ASSERT_GT(std::atoi(reply.c_str()), 0) << reply;
  EXPECT_EQ(reply.find(','), std::string::npos) << reply;

  HANDLE opened = OpenEventA(EVENT_ALL_ACCESS, FALSE, "Local\\ot_event");
  ASSERT_TRUE(opened);
  EXPECT_EQ(WaitForSingleObject(opened, 0), WAIT_OBJECT_0) << "initial state must be signalled";
  CloseHandle(opened);

  EXPECT_EQ(table.Execute(Close(78, reply), false), "0,6") << "another ProcId must not close it";
  EXPECT_EQ(table.Held(), 1u);
  EXPECT_EQ(table.Execute(Close(77, reply), false), "1");
  EXPECT_EQ(table.Held(), 0u);
  EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, "Local\\ot_event"), nullptr);
  EXPECT_EQ(table.Execute(Close(77, reply), false), "0,6") << "a second close finds nothing";
}

TEST(ObjectTable, ReportsAnExistingObjectWith183) {
  ObjectTable table;
  std::string first = table.Execute(Create(RequestKind::CreateMutex, "Local\\ot_mutex", 0), false);
  std::string second = table.Execute(Create(RequestKind::CreateMutex, "Local\\ot_mutex", 0), false);
  ASSERT_GT(std::atoi(first.c_str()), 0) << first;
  EXPECT_EQ(first.find(','), std::string::npos);
  EXPECT_NE(std::atoi(second.c_str()), std::atoi(first.c_str()));
  EXPECT_EQ(second.substr(second.find(',')), ",183") << second;
  EXPECT_EQ(table.Held(), 2u);
}

TEST(ObjectTable, CreatesWithTheRequestedParameters) {
  ObjectTable table;
  std::string sem = table.Execute(Create(RequestKind::CreateSemaphore, "Local\\ot_sem", 2, 3), false);
  ASSERT_GT(std::atoi(sem.c_str()), 0) << sem;
  HANDLE s = OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, "Local\\ot_sem");
  ASSERT_TRUE(s);
  LONG previous = -1;
  EXPECT_TRUE(ReleaseSemaphore(s, 1, &previous));
  EXPECT_EQ(previous, 2);
  EXPECT_FALSE(ReleaseSemaphore(s, 1, nullptr)) << "maximum count 3 reached";
  CloseHandle(s);

  std::string map = table.Execute(Create(RequestKind::CreateFileMapping, "Local\\ot_map", -1, PAGE_READWRITE, 0, 8192),
                                  false);
  ASSERT_GT(std::atoi(map.c_str()), 0) << map;
  HANDLE m = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, "Local\\ot_map");
  ASSERT_TRUE(m);
  void* view = MapViewOfFile(m, FILE_MAP_WRITE, 0, 0, 8192);
  EXPECT_NE(view, nullptr) << "8192 bytes must be mappable";
  if (view) UnmapViewOfFile(view);
  CloseHandle(m);
}

TEST(ObjectTable, FailuresReplyZeroWithTheError) {
  ObjectTable table;
  EXPECT_EQ(table.Execute(Create(RequestKind::CreateEvent, "Local\\ot_refused"), true), "0,5");
  EXPECT_EQ(OpenEventA(SYNCHRONIZE, FALSE, "Local\\ot_refused"), nullptr) << "a refused create makes nothing";
  EXPECT_EQ(table.Execute(Create(RequestKind::CreateFileMapping, "Local\\ot_file", 40, PAGE_READWRITE, 0, 16), false),
            "0,6")
      << "only the page file can back a mapping";
  EXPECT_EQ(table.Execute(Create(RequestKind::CreateSemaphore, "Local\\ot_badsem", 5, 1), false), "0,87");
  ASSERT_GT(std::atoi(table.Execute(Create(RequestKind::CreateEvent, "Local\\ot_kind"), false).c_str()), 0);
  EXPECT_EQ(table.Execute(Create(RequestKind::CreateMutex, "Local\\ot_kind"), false), "0,6")
      << "a name taken by another kind of object";
  EXPECT_EQ(table.Held(), 1u);
}

}  // namespace
