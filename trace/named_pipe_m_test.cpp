#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "trace/testing/nko_object_server.h"
#include "base/results.h"
#include "trace/named_pipe_m.h"
#include "trace/testing/viewer_status_memory.h"

namespace {

// A fresh pipe: its server end and one client end.
struct Pipe {
  explicit Pipe(uint32_t capacity)
      : name("pipe_test_" + std::to_string(++s_count)),
        server(CreateNamedPipeM(name.c_str(), capacity)),
        client(OpenNamedPipeM(name.c_str())) {}
  ~Pipe() {
    CloseNamedPipeM(client);
    CloseNamedPipeM(server);
  }
  std::string name;
  NamedPipeM* server;
  NamedPipeM* client;
  static inline int s_count = 0;
};

class PipeTest : public ::testing::Test {
 protected:
  NkoObjectServer m_nko;
  // A client waits for its reply only while the viewer has tracing active.
  ViewerStatusMemory m_viewer{1, 1024};
};

TEST_F(PipeTest, SecondCreatorAndClientsAdoptTheFirstCapacity) {
  EXPECT_EQ(OpenNamedPipeM("pipe_test_nobody"), nullptr);
  Pipe pipe(64);
  NamedPipeM* second = CreateNamedPipeM(pipe.name.c_str(), 4096);
  ASSERT_NE(second, nullptr);
  ASSERT_NE(pipe.client, nullptr);
  EXPECT_EQ(std::vector<uint32_t>({pipe.server->capacity, second->capacity, pipe.client->capacity}),
            std::vector<uint32_t>(3, 64u));
  // The second creator cannot write past the first one's block: its reply is cut, signalled
  // and reported with 1.
  std::vector<uint8_t> big(4096, 0xAB);
  uint32_t length = 0;
  EXPECT_EQ(WriteNamedPipeM(second, big.data(), 4096, &length), 1);
  EXPECT_EQ(length, 64u);
  EXPECT_EQ(*pipe.server->length, 64u);
  EXPECT_EQ(std::vector<uint8_t>(pipe.server->data, pipe.server->data + 64), std::vector<uint8_t>(64, 0xAB));
  EXPECT_EQ(WaitForSingleObject(NkoGetHandle(pipe.server->replyEvent), 0), WAIT_OBJECT_0);
  CloseNamedPipeM(second);
}

TEST_F(PipeTest, ExchangeCarriesMessageAndReplyCutToTheirLimits) {
  // The client takes 8 bytes of the reply.
  const struct { uint32_t capacity, messageSize; std::string reply; uint32_t sent; } cases[] = {
      {256, 12, std::string("ack\0\0\0\0\0", 8), 12},
      {32, 42, std::string(20, 'r'), 32},  // message above the capacity, reply above the client's buffer
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.capacity);
    Pipe pipe(c.capacity);
    ASSERT_NE(pipe.client, nullptr);
    std::vector<uint8_t> message(c.messageSize);
    for (size_t i = 0; i < message.size(); ++i) message[i] = static_cast<uint8_t>(i * 7 + 1);
    std::vector<uint8_t> received(1024);
    std::thread server([&] {
      uint32_t length = 0;
      if (WaitForSingleObject(NkoGetHandle(GetNamedPipeMEvent(pipe.server)), 10000) != WAIT_OBJECT_0) return;
      ReadNamedPipeM(pipe.server, received.data(), static_cast<uint32_t>(received.size()), &length);
      received.resize(length);
      WriteNamedPipeM(pipe.server, c.reply.data(), static_cast<uint32_t>(c.reply.size()), nullptr);
    });
    char reply[9] = {};
    uint32_t sent = 0, replyLength = 0;
    EXPECT_EQ(TransactNamedPipeM(pipe.client, message.data(), c.messageSize, &sent, reply, 8, &replyLength, 5000), 0);
    server.join();
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(received, std::vector<uint8_t>(message.begin(), message.begin() + c.sent));
    EXPECT_EQ(replyLength, 8u);
    EXPECT_EQ(std::string(reply, 8), c.reply.substr(0, 8));
    EXPECT_EQ(reply[8], '\0');  // nothing beyond the 8 bytes asked for
    // The exchange leaves the pipe free for the next client.
    std::thread([&] {
      EXPECT_EQ(WaitForSingleObject(NkoGetHandle(pipe.client->mutex), 0), WAIT_OBJECT_0);
      IgnoreResult(ReleaseMutex(NkoGetHandle(pipe.client->mutex)));
    }).join();
  }
}

TEST_F(PipeTest, ReadsBeyondTheBlockOrTheBufferAreCut) {
  Pipe pipe(32);
  ASSERT_NE(pipe.client, nullptr);
  const struct { uint32_t stored, buffer; int result; uint32_t length; } reads[] = {
      {20, 10, 2, 10},
      {20, 20, 0, 20},
      {0xFFFFFFF0u, 1024, 2, 32},  // a hostile length field: cut to the data area
  };
  for (const auto& r : reads) {
    SCOPED_TRACE(r.buffer);
    std::vector<uint8_t> buffer(1025, 0xEE);
    *pipe.server->length = r.stored;
    uint32_t length = 0;
    EXPECT_EQ(ReadNamedPipeM(pipe.server, buffer.data(), r.buffer, &length), r.result);
    EXPECT_EQ(length, r.length);
    EXPECT_EQ(buffer[r.length], 0xEE);  // nothing copied past what was reported
  }
}

TEST_F(PipeTest, UnansweredClientGetsResultOneAfterItsWait) {
  Pipe pipe(64);
  ASSERT_NE(pipe.client, nullptr);
  // A wait lasts at least its whole slices; with tracing off there is no wait at all, which
  // shows as a return long before a one-minute time-out.
  const struct { uint8_t viewerStatus; DWORD timeoutMs; ULONGLONG minMs, maxMs; } cases[] = {
      {1, 1200, 3 * kNamedPipeMReplySliceMs - 100, ~0ull},  // three slices
      {1, 0, 0, ~0ull},
      {0, 60000, 0, 30000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.timeoutMs);
    m_viewer.SetStatus(c.viewerStatus);
    char reply[8];
    std::memset(reply, 'x', sizeof reply);
    uint32_t replyLength = 99;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(TransactNamedPipeM(pipe.client, "m", 1, nullptr, reply, sizeof reply, &replyLength, c.timeoutMs), 1);
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, c.minMs);
    EXPECT_LT(elapsed, c.maxMs);
    EXPECT_EQ(replyLength, 0u);
    EXPECT_EQ(std::string(reply, 8), std::string(8, '\0'));
  }
}

}  // namespace
