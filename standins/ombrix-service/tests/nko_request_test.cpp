#include "nko_request.h"

#include <gtest/gtest.h>

namespace {

using ombrix::NkoRequest;
using ombrix::ParseNkoRequest;
using ombrix::RequestKind;

TEST(ParseNkoRequest, ReadsEachOfTheFiveRequests) {
  auto event = ParseNkoRequest(
      "<CreateEvent ProcId=\"12\" SecurityAttributes=\"1\" bManualReset=\"1\" bInitialState=\"0\" "
      "lpName=\"Global\\ev\"/>");
  ASSERT_TRUE(event);
  EXPECT_EQ(event->kind, RequestKind::CreateEvent);
  EXPECT_EQ(event->procId, 12);
  EXPECT_EQ(event->securityAttributes, 1);
  EXPECT_EQ(event->args[0], 1);
  EXPECT_EQ(event->args[1], 0);
  EXPECT_EQ(event->name, "Global\\ev");

  auto mutex = ParseNkoRequest("<CreateMutex ProcId=\"-7\" SecurityAttributes=\"0\" bInitialOwner=\"1\" lpName=\"m\"/>");
  ASSERT_TRUE(mutex);
  EXPECT_EQ(mutex->kind, RequestKind::CreateMutex);
  EXPECT_EQ(mutex->procId, -7);
  EXPECT_EQ(mutex->args[0], 1);

  auto semaphore = ParseNkoRequest(
      "<CreateSemaphore ProcId=\"3\" SecurityAttributes=\"1\" lInitialCount=\"1\" lMaximumCount=\"65535\" "
      "lpName=\"s\"/>");
  ASSERT_TRUE(semaphore);
  EXPECT_EQ(semaphore->args[0], 1);
  EXPECT_EQ(semaphore->args[1], 65535);

  auto mapping = ParseNkoRequest(
      "<CreateFileMapping ProcId=\"3\" hFile=\"-1\" SecurityAttributes=\"1\" flProtect=\"4\" "
      "dwMaximumSizeHigh=\"0\" dwMaximumSizeLow=\"-2147483648\" lpName=\"Global\\map\"/>");
  ASSERT_TRUE(mapping);
  EXPECT_EQ(mapping->kind, RequestKind::CreateFileMapping);
  EXPECT_EQ(mapping->args[0], -1);
  EXPECT_EQ(mapping->args[1], 4);
  EXPECT_EQ(mapping->args[2], 0);
  EXPECT_EQ(mapping->args[3], INT32_MIN);
  EXPECT_EQ(mapping->securityAttributes, 1);

  auto close = ParseNkoRequest("<CloseHandle ProcId=\"3\" Handle=\"132\"/>");
  ASSERT_TRUE(close);
  EXPECT_EQ(close->kind, RequestKind::CloseHandle);
  EXPECT_EQ(close->args[0], 132);
}

TEST(ParseNkoRequest, ResolvesTheFiveEntitiesInNames) {
  auto r = ParseNkoRequest(
      "<CreateMutex ProcId=\"1\" SecurityAttributes=\"0\" bInitialOwner=\"0\" "
      "lpName=\"Global\\a&quot;b&amp;c&apos;d&lt;e&gt;f&amp;amp;\"/>");
  ASSERT_TRUE(r);
  EXPECT_EQ(r->name, "Global\\a\"b&c'd<e>f&amp;");
}

TEST(ParseNkoRequest, RejectsAnythingButTheExactFormats) {
  const char* malformed[] = {
      "",
      "<CloseHandle ProcId=\"1\" Handle=\"2\"/> ",                     // trailing text
      "<CloseHandle ProcId=\"1\" Handle=\"2\">",                       // not self-closing
      "<CloseHandle Handle=\"2\" ProcId=\"1\"/>",                      // attribute order
      "<CloseHandle  ProcId=\"1\" Handle=\"2\"/>",                     // two blanks
      "<CloseHandle ProcId='1' Handle='2'/>",                         // apostrophes
      "<closehandle ProcId=\"1\" Handle=\"2\"/>",                      // element case
      "<CloseHandleX ProcId=\"1\" Handle=\"2\"/>",                     // longer element
      "<CloseHandle ProcId=\"1\"/>",                                   // missing attribute
      "<CloseHandle ProcId=\"1\" Handle=\"2\" Extra=\"3\"/>",          // extra attribute
      "<CloseHandle ProcId=\"0x10\" Handle=\"2\"/>",                   // hexadecimal
      "<CloseHandle ProcId=\"+1\" Handle=\"2\"/>",                     // plus sign
      "<CloseHandle ProcId=\"\" Handle=\"2\"/>",                       // empty number
      "<CloseHandle ProcId=\"2147483648\" Handle=\"2\"/>",             // beyond 32 bits
      "<CloseHandle ProcId=\"1\" Handle=\"2\"",                        // cut short
      "<CreateMutex ProcId=\"1\" SecurityAttributes=\"2\" bInitialOwner=\"0\" lpName=\"m\"/>",
      "<CreateMutex ProcId=\"1\" SecurityAttributes=\"0\" bInitialOwner=\"0\" lpName=\"a&b\"/>",
      "<CreateMutex ProcId=\"1\" SecurityAttributes=\"0\" bInitialOwner=\"0\" lpName=\"a&quot\"/>",
      "<CreateMutex ProcId=\"1\" SecurityAttributes=\"0\" bInitialOwner=\"0\" lpName=\"a<b\"/>",
      "<CreateMutex ProcId=\"1\" SecurityAttributes=\"0\" bInitialOwner=\"0\" lpName=\"a\"b\"/>",
      "<CreateEvent ProcId=\"1\" SecurityAttributes=\"0\" bManualReset=\"1\" lpName=\"e\"/>",
  };
  for (const char* text : malformed) EXPECT_FALSE(ParseNkoRequest(text)) << text;
}

}  // namespace
