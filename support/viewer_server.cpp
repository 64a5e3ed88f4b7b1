#include "support/viewer_server.h"

#include <cstdio>
#include <cstring>

#include "base/results.h"
#include "support/report.h"
#include "support/stop_signal.h"
#include "trace/viewer_link.h"

namespace viewer_side {
namespace {

constexpr DWORD kPipeBufferSize = 1024 * 1024;
constexpr DWORD kReadChunk = 64 * 1024;

std::string ToUtf8(const char16_t* text, size_t length) {
  if (length == 0) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text);
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), out.data(), n, nullptr, nullptr);
  return out;
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
  m_memory.Reset(CreateFileMappingA(INVALID_HANDLE_VALUE, sa, PAGE_READWRITE, 0, kViewerStatusMemorySize,
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
  m_mutex.Reset(CreateMutexA(sa, FALSE, kViewerMutexName));
  if (!m_mutex) return fail("connection mutex");
  m_request.Reset(CreateEventA(sa, FALSE, FALSE, kViewerRequestEventName));
  if (!m_request) return fail("request event");
  m_ready.Reset(CreateEventA(sa, TRUE, FALSE, kViewerReadyEventName));
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
  SetEvent(m_ready.Get());
}

void ViewerServer::Read(Connection* c) {
  const UniqueHandle ioDone(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED ov{};
  ov.hEvent = ioDone.Get();
  HANDLE waits[3] = {ov.hEvent, c->drop.Get(), m_stop};
  const HANDLE pipe = c->pipe.Get();
  auto complete = [&](BOOL started, DWORD& done) {
    if (!started && GetLastError() != ERROR_IO_PENDING) return GetLastError() == ERROR_PIPE_CONNECTED;
    if (WaitForMultipleObjects(3, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
      // The operation must end before ov leaves scope.
      CancelIo(pipe);
      GetOverlappedResult(pipe, &ov, &done, TRUE);
      return false;
    }
    return GetOverlappedResult(pipe, &ov, &done, FALSE) != FALSE;
  };
  DWORD done = 0;
  if (ioDone && complete(ConnectNamedPipe(pipe, &ov), done)) {
    support::Info("connected");
    // Texts end with a 16-bit NUL; a text may arrive in several reads.
    std::vector<char16_t> pending;
    std::vector<uint8_t> chunk(kReadChunk);
    uint8_t odd = 0;
    bool haveOdd = false;
    for (;;) {
      if (!ReadWhenAllowed(c)) break;
      ResetEvent(ov.hEvent);
      if (!complete(ReadFile(pipe, chunk.data(), kReadChunk, nullptr, &ov), done) || done == 0) break;
      size_t i = 0;
      if (haveOdd) {
        pending.push_back(static_cast<char16_t>(odd | chunk[0] << 8));
        haveOdd = false;
        i = 1;
      }
      for (; i + 1 < done; i += 2) pending.push_back(static_cast<char16_t>(chunk[i] | chunk[i + 1] << 8));
      if (i < done) {
        odd = chunk[i];
        haveOdd = true;
      }
      size_t start = 0;
      for (size_t k = 0; k < pending.size(); ++k) {
        if (pending[k] == 0) {
          Deliver(pending.data() + start, k - start);
          start = k + 1;
        }
      }
      pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(start));
    }
    support::Info("disconnected");
  }
  c->open = false;
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
  const std::string line = ToUtf8(text, length) + '\n';
  {
    std::lock_guard lock(m_captureLock);
    // A capture file that takes no more loses lines; the tests that read it then fail on
    // the missing messages.
    DWORD written = 0;
    if (m_capture) {
      IgnoreResult(WriteFile(m_capture.Get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr));
    }
    if (m_options.echo) {
      std::fwrite(line.data(), 1, line.size(), stdout);
      std::fflush(stdout);
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
    SetEvent(c->drop.Get());
    c->reader.join();
    DisconnectNamedPipe(c->pipe.Get());
  }
}

int ViewerServer::Connections() const {
  std::lock_guard lock(m_connectionsLock);
  int open = 0;
  for (const auto& c : m_connections) open += c->open ? 1 : 0;
  return open;
}

}  // namespace viewer_side
