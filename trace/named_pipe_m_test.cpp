#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "nko_object_server.h"
#include "trace/named_pipe_m.h"
#include "viewer_status_memory.h"

namespace {

class PipeTest : public ::testing::Test {
 protected:
  NkoObjectServer m_server;
  // A client waits for its reply only while the viewer has tracing active.
  ViewerStatusMemory m_viewer{1, 1024};
};

// Serves one message on the server end: records it and answers with reply.
std::thread ServeOne(NamedPipeM* server, std::vector<uint8_t>& received, std::string reply, uint32_t bufferSize) {
  return std::thread([=, &received] {
    if (WaitForSingleObject(NkoGetHandle(GetNamedPipeMEvent(server)), 10000) != WAIT_OBJECT_0) return;
    received.assign(bufferSize, 0);
    uint32_t length = 0;
    ReadNamedPipeM(server, received.data(), bufferSize, &length);
    received.resize(length);
    WriteNamedPipeM(server, reply.data(), static_cast<uint32_t>(reply.size()), nullptr);
  });
}

TEST_F(PipeTest, SecondCreatorAndClientsAdoptTheFirstCapacity) {
  NamedPipeM* first = CreateNamedPipeM("pipe_test_capacity", 64);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->capacity, 64u);
  NamedPipeM* second = CreateNamedPipeM("pipe_test_capacity", 4096);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->capacity, 64u);
  NamedPipeM* client = OpenNamedPipeM("pipe_test_capacity");
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(client->capacity, 64u);
  // A second creator must not be able to write past the first one's block.
  std::vector<uint8_t> big(4096, 0xAB);
  EXPECT_EQ(WriteNamedPipeM(second, big.data(), 4096, nullptr), 1);
  EXPECT_EQ(*second->length, 64u);
  CloseNamedPipeM(client);
  CloseNamedPipeM(second);
  CloseNamedPipeM(first);
}

TEST_F(PipeTest, OpenWithoutCreatorFailsAndNullPipeIsHarmless) {
  EXPECT_EQ(OpenNamedPipeM("pipe_test_nobody"), nullptr);
  EXPECT_EQ(GetNamedPipeMEvent(nullptr), nullptr);
  CloseNamedPipeM(nullptr);
}

TEST_F(PipeTest, RoundTripCarriesMessageAndReply) {
  NamedPipeM* server = CreateNamedPipeM("pipe_test_roundtrip", 256);
  NamedPipeM* client = OpenNamedPipeM("pipe_test_roundtrip");
  ASSERT_NE(server, nullptr);
  ASSERT_NE(client, nullptr);
  std::vector<uint8_t> received;
  std::thread t = ServeOne(server, received, std::string("ack\0\0\0\0\0", 8), 256);
  const char message[] = "hello relay";
  char reply[8];
  uint32_t sent = 0, replyLength = 0;
  EXPECT_EQ(TransactNamedPipeM(client, message, sizeof message, &sent, reply, sizeof reply, &replyLength, 5000), 0);
  t.join();
  EXPECT_EQ(sent, sizeof message);
  EXPECT_EQ(std::string(received.begin(), received.end()), std::string(message, sizeof message));
  EXPECT_EQ(replyLength, 8u);
  EXPECT_STREQ(reply, "ack");
  // The exchange leaves the pipe free for the next client.
  EXPECT_EQ(WaitForSingleObject(NkoGetHandle(client->mutex), 0), WAIT_OBJECT_0);
  ReleaseMutex(NkoGetHandle(client->mutex));
  CloseNamedPipeM(client);
  CloseNamedPipeM(server);
}

TEST_F(PipeTest, OversizedMessagesAndRepliesAreCutNeverOverrun) {
  NamedPipeM* server = CreateNamedPipeM("pipe_test_cut", 32);
  NamedPipeM* client = OpenNamedPipeM("pipe_test_cut");
  ASSERT_NE(server, nullptr);
  ASSERT_NE(client, nullptr);
  std::vector<uint8_t> received;
  // The server answers with more than the client's buffer holds.
  std::thread t = ServeOne(server, received, std::string(20, 'r'), 32);
  std::vector<uint8_t> message(32 + 10, 'm');
  char reply[9] = {};
  uint32_t sent = 0, replyLength = 0;
  EXPECT_EQ(TransactNamedPipeM(client, message.data(), 42, &sent, reply, 8, &replyLength, 5000), 0);
  t.join();
  EXPECT_EQ(sent, 32u);
  EXPECT_EQ(received.size(), 32u);
  EXPECT_EQ(replyLength, 8u);
  EXPECT_EQ(reply[8], '\0');  // nothing beyond the 8 bytes asked for

  // A reader with a smaller buffer gets the buffer's worth and 2; an equal one gets 0.
  *server->length = 20;
  std::vector<uint8_t> small(32, 0);
  uint32_t length = 0;
  EXPECT_EQ(ReadNamedPipeM(server, small.data(), 10, &length), 2);
  EXPECT_EQ(length, 10u);
  EXPECT_EQ(ReadNamedPipeM(server, small.data(), 20, &length), 0);
  EXPECT_EQ(length, 20u);
  // A length field claiming more than the data area (a hostile writer) is cut to it.
  *server->length = 0xFFFFFFF0u;
  std::vector<uint8_t> big(1024, 0);
  EXPECT_EQ(ReadNamedPipeM(server, big.data(), 1024, &length), 2);
  EXPECT_EQ(length, 32u);
  CloseNamedPipeM(client);
  CloseNamedPipeM(server);
}

TEST_F(PipeTest, ReplyLongerThanCapacityIsCutAndSignalled) {
  NamedPipeM* tiny = CreateNamedPipeM("pipe_test_tiny", 4);
  ASSERT_NE(tiny, nullptr);
  uint32_t length = 0;
  EXPECT_EQ(WriteNamedPipeM(tiny, "nack\0\0\0", 8, &length), 1);
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(*tiny->length, 4u);
  EXPECT_EQ(std::memcmp(tiny->data, "nack", 4), 0);
  EXPECT_EQ(WaitForSingleObject(NkoGetHandle(tiny->replyEvent), 0), WAIT_OBJECT_0);
  CloseNamedPipeM(tiny);
}

TEST_F(PipeTest, UnansweredClientWaitsWholeSlicesThenGetsNoReply) {
  NamedPipeM* server = CreateNamedPipeM("pipe_test_silent", 64);
  NamedPipeM* client = OpenNamedPipeM("pipe_test_silent");
  ASSERT_NE(server, nullptr);
  ASSERT_NE(client, nullptr);
  char reply[8];
  std::memset(reply, 'x', sizeof reply);
  uint32_t replyLength = 99;
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(TransactNamedPipeM(client, "m", 1, nullptr, reply, sizeof reply, &replyLength, 1200), 1);
  const ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, 1400u);  // three slices of 500 ms
  EXPECT_LT(elapsed, 2400u);
  EXPECT_EQ(replyLength, 0u);
  EXPECT_EQ(std::string(reply, 8), std::string(8, '\0'));

  const ULONGLONG zeroStart = GetTickCount64();
  EXPECT_EQ(TransactNamedPipeM(client, "m", 1, nullptr, reply, sizeof reply, &replyLength, 0), 1);
  EXPECT_LT(GetTickCount64() - zeroStart, 300u);

  // A viewer without tracing active means nobody relays: no wait at all.
  m_viewer.SetStatus(0);
  const ULONGLONG offStart = GetTickCount64();
  EXPECT_EQ(TransactNamedPipeM(client, "m", 1, nullptr, reply, sizeof reply, &replyLength, 5000), 1);
  EXPECT_LT(GetTickCount64() - offStart, 300u);
  CloseNamedPipeM(client);
  CloseNamedPipeM(server);
}

}  // namespace
