#include "support/viewer_server.h"

#include <cstdio>
#include <cstring>

#include "base/overlapped_io.h"
#include "base/results.h"
#include "kobj/nko_handle.h"
#include "support/capture_line.h"
#include "support/report.h"
#include "support/stop_signal.h"
#include "trace/viewer_link.h"

namespace viewer_side {
namespace {

constexpr DWORD kPipeBufferSize = 1024 * 1024;
constexpr DWORD kReadChunk = 64 * 1024;

// Cuts a connection's byte stream into its texts: UTF-16 units, each text ending with a
// NUL unit; a unit or a text may be split across reads.
class TextSplitter {
 public:
  // Takes |count| more bytes and hands every text they complete to |take|.
  template <typename Take>
  void Add(const uint8_t* bytes, size_t count, Take take) {
    size_t i = 0;
    if (m_haveOdd && count > 0) {
      m_pending.push_back(static_cast<char16_t>(m_odd | bytes[0] << 8));
      m_haveOdd = false;
      i = 1;
    }
    for (; i + 1 < count; i += 2) m_pending.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    if (i < count) {
      m_odd = bytes[i];
      m_haveOdd = true;
    }
    size_t start = 0;
    for (size_t k = 0; k < m_pending.size(); ++k) {
      if (m_pending[k] == 0) {
        take(m_pending.data() + start, k - start);
        start = k + 1;
      }
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(start));
  }

 private:
  std::vector<char16_t> m_pending;
  uint8_t m_odd = 0;
  bool m_haveOdd = false;
};

// The viewer's objects live in the Global\ namespace, where a process of an ordinary user
// may not create objects; so they are made through the kernel object layer, whose NKO
// server creates them for us, as Quorvel's own are. This takes the local handle of such a
// creation into an owner, keeping the last error (183 when the object existed, else the
// reason of a failure).
UniqueHandle CreateGlobal(NkoHandle* created) {
  const DWORD error = GetLastError();
  UniqueHandle handle(NkoDetach(created));
  SetLastError(error);
  return handle;
}

}  // namespace

ViewerServer::~ViewerServer() {
  DropConnections();
  // A relay keeps the memory while it maps it: leave it saying that tracing is off.
  if (m_view) SetStatus(0);
}

bool ViewerServer::Publish(std::string& error) {
  SECURITY_ATTRIBUTES* sa = support::NullDaclAttributes();
  auto fail = [&](const char* what) {
    error = std::string("cannot create the ") + what + ": " + support::DescribeError(GetLastError());
    return false;
  };
  m_memory = CreateGlobal(NkoCreateFileMapping(INVALID_HANDLE_VALUE, sa, PAGE_READWRITE, 0, kViewerStatusMemorySize,
                                               kViewerStatusMemoryName));
  if (!m_memory) return fail("status memory");
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    // A running viewer owns the request event; without it the memory is a leftover.
    if (UniqueHandle(OpenEventA(SYNCHRONIZE, FALSE, kViewerRequestEventName))) {
      error = "another viewer runs already (its status memory and request event exist)";
      return false;
    }
    m_tookOver = true;
  }
  m_view.Reset(MapViewOfFile(m_memory.Get(), FILE_MAP_WRITE, 0, 0, 0));
  if (!m_view) return fail("status memory view");
  SetArrayLimit(m_options.arrayLimit);
  SetStatus(m_options.status);
  m_stall = m_options.stallReady;
  m_pauseReading = m_options.pauseReading;
  m_readDelayMs = m_options.readDelayMs;
  m_mutex = CreateGlobal(NkoCreateMutex(sa, FALSE, kViewerMutexName));
  if (!m_mutex) return fail("connection mutex");
  m_request = CreateGlobal(NkoCreateEvent(sa, FALSE, FALSE, kViewerRequestEventName));
  if (!m_request) return fail("request event");
  m_ready = CreateGlobal(NkoCreateEvent(sa, TRUE, FALSE, kViewerReadyEventName));
  if (!m_ready) return fail("ready event");
  if (!m_options.capturePath.empty()) {
    // Others read the capture while it grows.
    m_capture.Reset(CreateFileA(m_options.capturePath.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_capture) {
      error = "cannot write the capture file " + m_options.capturePath;
      return false;
    }
  }
  return true;
}

void ViewerServer::SetStatus(uint8_t status) {
  ViewAs<volatile uint8_t>(m_view)[kViewerTraceStatusOffset] = status;
}

void ViewerServer::SetArrayLimit(uint32_t limit) {
  *reinterpret_cast<volatile uint32_t*>(ViewAs<uint8_t>(m_view) + kViewerArraySizeLimitOffset) = limit;
}

void ViewerServer::Serve() {
  HANDLE waits[2] = {m_stop, m_request.Get()};
  while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    if (m_stall) {
      support::Info("connection request ignored (ready event stalled)");
      continue;
    }
    AcceptRequest();
  }
}

void ViewerServer::AcceptRequest() {
  auto connection = std::make_unique<Connection>();
  connection->pipe.Reset(CreateNamedPipeA(kViewerPipeName, PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED,
                                          PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                          0, kPipeBufferSize, 0, support::NullDaclAttributes()));
  if (!connection->pipe) {
    support::Error("cannot create a pipe instance: %s", support::DescribeError(GetLastError()).c_str());
    return;
  }
  connection->drop.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!connection->drop) {
    support::Error("cannot create an event: %s", support::DescribeError(GetLastError()).c_str());
    return;
  }
  Connection* c = connection.get();
  {
    std::lock_guard lock(m_connectionsLock);
    m_connections.push_back(std::move(connection));
  }
  c->reader = std::thread([this, c] { Read(c); });
  IgnoreResult(SetEvent(m_ready.Get()));  // cannot fail for the event this server created
}

void ViewerServer::Read(Connection* c) {
  const UniqueHandle ioDone(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (ioDone && WaitForClient(c, ioDone.Get())) {
    support::Info("connected");
    ReadTexts(c, ioDone.Get());
    support::Info("disconnected");
  }
  c->open = false;
}

bool ViewerServer::WaitForClient(const Connection* c, HANDLE ioDone) const {
  const HANDLE pipe = c->pipe.Get();
  OVERLAPPED ov{};
  ov.hEvent = ioDone;
  DWORD unused = 0;
  return FinishOverlapped(pipe, ov, ConnectNamedPipe(pipe, &ov), {c->drop.Get(), m_stop}, INFINITE, unused) ==
         IoOutcome::kDone;
}

void ViewerServer::ReadTexts(const Connection* c, HANDLE ioDone) {
  TextSplitter splitter;
  std::vector<uint8_t> chunk(kReadChunk);
  DWORD got = 0;
  while (ReadWhenAllowed(c) && ReadChunk(c, ioDone, chunk, got) && got > 0) {
    splitter.Add(chunk.data(), got, [this](const char16_t* text, size_t length) { Deliver(text, length); });
  }
}

bool ViewerServer::ReadChunk(const Connection* c, HANDLE ioDone, std::vector<uint8_t>& chunk, DWORD& got) const {
  const HANDLE pipe = c->pipe.Get();
  OVERLAPPED ov{};
  ov.hEvent = ioDone;
  IgnoreResult(ResetEvent(ioDone));  // cannot fail for the reader's own event
  const BOOL started = ReadFile(pipe, chunk.data(), static_cast<DWORD>(chunk.size()), nullptr, &ov);
  return FinishOverlapped(pipe, ov, started, {c->drop.Get(), m_stop}, INFINITE, got) == IoOutcome::kDone;
}

bool ViewerServer::ReadWhenAllowed(const Connection* c) const {
  constexpr DWORD kPausePollMs = 20;
  HANDLE waits[2] = {c->drop.Get(), m_stop};
  if (m_readDelayMs > 0 && WaitForMultipleObjects(2, waits, FALSE, m_readDelayMs) != WAIT_TIMEOUT) return false;
  while (m_pauseReading) {
    if (WaitForMultipleObjects(2, waits, FALSE, kPausePollMs) != WAIT_TIMEOUT) return false;
  }
  return true;
}

void ViewerServer::Deliver(const char16_t* text, size_t length) {
  if (m_options.sink) {
    std::lock_guard lock(m_captureLock);
    if (m_sinkFailed) return;
    m_sinkFailed = !m_options.sink(text, length);
    if (!m_sinkFailed) ++m_messages;
    return;
  }
  std::string line;
  support::AppendCaptureLine(line, text, length);
  {
    std::lock_guard lock(m_captureLock);
    // A capture file that takes no more loses lines; the tests that read it then fail on
    // the missing messages.
    DWORD written = 0;
    if (m_capture) {
      IgnoreResult(WriteFile(m_capture.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr));
    }
    if (m_options.echo) {
      // Like the capture, the echo is for reading along; a lost line is seen by its reader.
      IgnoreResult(std::fwrite(line.data(), 1, line.size(), stdout));
      IgnoreResult(std::fflush(stdout));
    }
  }
  ++m_messages;
}

void ViewerServer::DropConnections() {
  std::vector<std::unique_ptr<Connection>> connections;
  {
    std::lock_guard lock(m_connectionsLock);
    connections.swap(m_connections);
  }
  // Each reader is joined before its connection's handles close with it.
  for (const auto& c : connections) {
    IgnoreResult(SetEvent(c->drop.Get()));  // cannot fail for the connection's own event
    c->reader.join();
    IgnoreResult(DisconnectNamedPipe(c->pipe.Get()));  // fails only when no relay is connected
  }
}

int ViewerServer::Connections() const {
  std::lock_guard lock(m_connectionsLock);
  int open = 0;
  for (const auto& c : m_connections) open += c->open ? 1 : 0;
  return open;
}

}  // namespace viewer_side
