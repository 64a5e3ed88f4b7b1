#include "kobj/testing/fake_nko_server.h"

#include "base/overlapped_io.h"
#include "base/results.h"
#include "kobj/nko_client.h"
#include "kobj/nko_protocol.h"

namespace {

// One read or write on an overlapped pipe, waited for.
bool SyncIo(HANDLE pipe, bool write, void* data, DWORD size, DWORD* done) {
  UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED ov{};
  ov.hEvent = event.Get();
  const BOOL started = write ? WriteFile(pipe, data, size, nullptr, &ov) : ReadFile(pipe, data, size, nullptr, &ov);
  return FinishOverlapped(pipe, ov, started, {}, INFINITE, *done) == IoOutcome::kDone;
}

}  // namespace

FakeNkoServer::FakeNkoServer(std::string reply, int instances)
    : FakeNkoServer([reply](const std::string&) { return FakeNkoReply{reply}; }, instances) {}

FakeNkoServer::FakeNkoServer(Handler handler, int instances)
    : m_handler(std::move(handler)), m_instances(instances), m_stopEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  // Every instance exists before the constructor returns, so a client never finds the
  // pipe missing while the server is up.
  std::vector<UniqueFile> pipes;
  for (int i = 0; i < m_instances; ++i) {
    pipes.emplace_back(CreateNamedPipeA(kNkoPipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                        static_cast<DWORD>(m_instances), 4096, 4096, 0, nullptr));
  }
  for (UniqueFile& pipe : pipes) {
    m_threads.emplace_back([this, served = std::move(pipe)] { Serve(served); });
  }
}

FakeNkoServer::~FakeNkoServer() {
  m_stopping = true;
  IgnoreResult(SetEvent(m_stopEvent.Get()));
  for (auto& t : m_threads) t.join();
}

void FakeNkoServer::Serve(const UniqueFile& pipe) {
  // The instance is reconnected after every request rather than closed: closing the
  // last instance would make the pipe vanish for a client waiting in WaitNamedPipe.
  while (!m_stopping && pipe) {
    UniqueHandle connectedEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED ov{};
    ov.hEvent = connectedEvent.Get();
    DWORD ignored = 0;
    const bool connected = FinishOverlapped(pipe.Get(), ov, ConnectNamedPipe(pipe.Get(), &ov), {m_stopEvent.Get()},
                                            INFINITE, ignored) == IoOutcome::kDone;
    if (connected) Answer(pipe.Get());
    IgnoreResult(DisconnectNamedPipe(pipe.Get()));
  }
}

std::vector<std::string> FakeNkoServer::Requests() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_requests;
}

int FakeNkoServer::UnterminatedRequests() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_unterminated;
}

void FakeNkoServer::Hold(HANDLE pipe) {
  constexpr DWORD kPollMs = 20;
  char scratch[4096];
  // Peeking fails once the client has closed its end and nothing is left to read; what is
  // left is drained (unless reading is stopped), so that the close shows.
  DWORD available = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
    DWORD done = 0;
    if (available > 0 && !m_readNothing) {
      SyncIo(pipe, false, scratch, available < sizeof scratch ? available : sizeof scratch, &done);
    } else if (WaitForSingleObject(m_stopEvent.Get(), kPollMs) == WAIT_OBJECT_0) {
      return;
    }
  }
  ++m_closedByClient;
}

void FakeNkoServer::Answer(HANDLE pipe) {
  if (m_readNothing) return Hold(pipe);
  uint32_t count = 0;
  DWORD done = 0;
  if (!SyncIo(pipe, false, &count, sizeof count, &done) || done != sizeof count) return;
  std::string request(count, '\0');
  if (count > 0 && !SyncIo(pipe, false, request.data(), count, &done)) return;
  request.resize(done);
  const bool terminated = !request.empty() && request.back() == '\0';
  if (terminated) request.pop_back();
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_requests.push_back(request);
    if (!terminated) ++m_unterminated;
  }
  FakeNkoReply reply = m_handler(request);
  if (reply.drop) return;
  if (reply.silent) return Hold(pipe);
  uint32_t replyCount = reply.count != 0 ? reply.count : static_cast<uint32_t>(reply.text.size());
  SyncIo(pipe, true, &replyCount, sizeof replyCount, &done);
  if (reply.silentAfterCount) return Hold(pipe);
  if (!reply.text.empty()) SyncIo(pipe, true, reply.text.data(), static_cast<DWORD>(reply.text.size()), &done);
  // Let the client read everything before the instance is disconnected.
  IgnoreResult(FlushFileBuffers(pipe));
}

void SpendFirstNkoRequest() {
  static bool spent = false;
  if (spent) return;
  FakeNkoServer server("1");
  NkoRequest("<warm-up/>");
  spent = true;
}
