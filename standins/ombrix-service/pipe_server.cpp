#include "standins/ombrix-service/pipe_server.h"

#include <cstring>

#include "base/overlapped_io.h"
#include "base/results.h"
#include "support/nko_request.h"
#include "support/report.h"
#include "support/stop_signal.h"

namespace ombrix {
namespace {

// Requests are at most a few kilobytes; a larger count is a broken client.
constexpr uint32_t kMaxRequestBytes = 65536;
constexpr DWORD kPipeBufferBytes = 65536;
// After the reply the server waits this long for the client to close its end, because
// disconnecting earlier would throw away a reply the client has not read yet.
constexpr DWORD kCloseWaitMs = 5000;

// One overlapped read or write that gives up when the stop event is set or the time-out
// passes. A message longer than |size| gives kMoreData with the part that fitted.
IoOutcome Transfer(bool write, HANDLE pipe, HANDLE ioEvent, HANDLE stop, void* buffer, DWORD size, DWORD timeoutMs,
                   DWORD& transferred) {
  OVERLAPPED ov{};
  ov.hEvent = ioEvent;
  IgnoreResult(ResetEvent(ioEvent));  // cannot fail for an event handle this thread owns
  const BOOL started = write ? WriteFile(pipe, buffer, size, nullptr, &ov) : ReadFile(pipe, buffer, size, nullptr, &ov);
  return FinishOverlapped(pipe, ov, started, {stop}, timeoutMs, transferred);
}

// Fills |buffer| completely, across message boundaries: the count and the text may come
// as two messages (as clients send them) or as one.
bool ReadExact(HANDLE pipe, HANDLE ioEvent, HANDLE stop, char* buffer, DWORD size, DWORD timeoutMs) {
  DWORD have = 0;
  while (have < size) {
    DWORD n = 0;
    const IoOutcome io = Transfer(false, pipe, ioEvent, stop, buffer + have, size - have, timeoutMs, n);
    if (io != IoOutcome::kDone && io != IoOutcome::kMoreData) return false;
    have += n;
  }
  return true;
}

bool WriteMessage(HANDLE pipe, HANDLE ioEvent, HANDLE stop, const void* data, DWORD size, DWORD timeoutMs) {
  DWORD n = 0;
  return Transfer(true, pipe, ioEvent, stop, const_cast<void*>(data), size, timeoutMs, n) == IoOutcome::kDone &&
         n == size;
}

std::string_view RequestText(const std::vector<char>& body) {
  return {body.data(), strnlen(body.data(), body.size())};
}

}  // namespace

PipeServer::PipeServer(ServerOptions options, ObjectTable& objects, RequestLog& log, HANDLE stopEvent)
    : m_options(std::move(options)), m_objects(objects), m_log(log), m_stop(stopEvent) {}

bool PipeServer::Start(std::string& error) {
  for (int i = 0; i < m_options.instances; ++i) {
    // The first instance claims the name, so a second server fails here instead of
    // silently sharing the pipe with the first one.
    DWORD openMode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (i == 0 ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0);
    UniqueFile pipe(CreateNamedPipeA(m_options.pipeName.c_str(), openMode,
                                     PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                     static_cast<DWORD>(m_options.instances), kPipeBufferBytes, kPipeBufferBytes, 0,
                                     support::NullDaclAttributes()));
    if (!pipe) {
      error = "cannot create the pipe " + m_options.pipeName + ": " + support::DescribeError(GetLastError());
      m_pipes.clear();
      return false;
    }
    m_pipes.push_back(std::move(pipe));
  }
  for (const UniqueFile& pipe : m_pipes) m_threads.emplace_back([this, p = pipe.Get()] { Serve(p); });
  return true;
}

void PipeServer::Join() {
  for (std::thread& t : m_threads) {
    if (t.joinable()) t.join();
  }
  m_pipes.clear();
}

void PipeServer::Serve(HANDLE pipe) {
  const UniqueHandle ioEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!ioEvent) {
    support::Error("cannot create an event: %s", support::DescribeError(GetLastError()).c_str());
    return;
  }
  while (WaitForSingleObject(m_stop, 0) != WAIT_OBJECT_0) {
    OVERLAPPED ov{};
    ov.hEvent = ioEvent.Get();
    IgnoreResult(ResetEvent(ioEvent.Get()));
    DWORD ignored = 0;
    const IoOutcome connect = FinishOverlapped(pipe, ov, ConnectNamedPipe(pipe, &ov), {m_stop}, INFINITE, ignored);
    if (connect == IoOutcome::kStopped) break;
    if (connect == IoOutcome::kDone) {
      ServeConnection(pipe, ioEvent.Get());
    } else if (const DWORD error = GetLastError(); error != ERROR_NO_DATA) {
      // ERROR_NO_DATA: the client came and went before we looked; start over with this instance.
      support::Error("ConnectNamedPipe failed: %s", support::DescribeError(error).c_str());
      if (WaitForSingleObject(m_stop, 100) == WAIT_OBJECT_0) break;
    }
    IgnoreResult(DisconnectNamedPipe(pipe));  // fails only for an instance no client is on
  }
}

void PipeServer::ServeConnection(HANDLE pipe, HANDLE ioEvent) {
  const ServerFaults& faults = m_options.faults;
  uint32_t count = 0;
  if (!ReadExact(pipe, ioEvent, m_stop, reinterpret_cast<char*>(&count), 4, m_options.ioTimeoutMs)) return;
  uint64_t sequence = m_served++;
  bool faulted = faults.faultLimit < 0 || sequence < static_cast<uint64_t>(faults.faultLimit);

  std::vector<char> body;
  std::string reply;
  if (count == 0 || count > kMaxRequestBytes) {
    // Too big to be a request: answer without reading it.
    reply = "0,87";
  } else {
    body.resize(count);
    if (!ReadExact(pipe, ioEvent, m_stop, body.data(), count, m_options.ioTimeoutMs)) {
      m_log.Write(RequestText(body), "(incomplete request)");
      return;
    }
    if (Silent(sequence)) {
      m_log.Write(RequestText(body), "(silent)");
      HoldUntilClosed(pipe, ioEvent);
      return;
    }
    reply = Answer(body, faulted);
  }

  if (faulted && faults.replyDelayMs > 0 && WaitForSingleObject(m_stop, faults.replyDelayMs) == WAIT_OBJECT_0) return;
  if (faulted && faults.dropReply) {
    m_log.Write(RequestText(body), "(dropped)");
    return;
  }

  std::string payload = reply;
  payload.push_back('\0');
  if (faulted && faults.oversizedCount > 0) {
    // The real reply first, then filler up to the announced count: a client that reads
    // only what fits its buffer still gets a usable answer.
    payload.resize(faults.oversizedCount, 'x');
    reply += " (padded to " + std::to_string(faults.oversizedCount) + " bytes)";
  }
  m_log.Write(RequestText(body), reply);

  auto replyCount = static_cast<uint32_t>(payload.size());
  if (!WriteMessage(pipe, ioEvent, m_stop, &replyCount, 4, m_options.ioTimeoutMs)) return;
  if (!WriteMessage(pipe, ioEvent, m_stop, payload.data(), replyCount, m_options.ioTimeoutMs)) return;

  // Wait for the client to close its end (the read then fails) before the caller
  // disconnects; anything more it sends is ignored.
  char scratch[64];
  DWORD n = 0;
  while (Transfer(false, pipe, ioEvent, m_stop, scratch, sizeof scratch, kCloseWaitMs, n) != IoOutcome::kFailed) {
    if (WaitForSingleObject(m_stop, 0) == WAIT_OBJECT_0) break;
    if (n == 0) break;
  }
}

bool PipeServer::Silent(uint64_t sequence) const {
  const ServerFaults& faults = m_options.faults;
  if (faults.silentAfter >= 0 && sequence >= static_cast<uint64_t>(faults.silentAfter)) return true;
  return faults.silentEvent != nullptr && WaitForSingleObject(faults.silentEvent, 0) == WAIT_OBJECT_0;
}

void PipeServer::HoldUntilClosed(HANDLE pipe, HANDLE ioEvent) {
  char scratch[64];
  DWORD n = 0;
  for (;;) {
    const IoOutcome io = Transfer(false, pipe, ioEvent, m_stop, scratch, sizeof scratch, INFINITE, n);
    if (io != IoOutcome::kDone && io != IoOutcome::kMoreData) return;
  }
}

std::string PipeServer::Answer(const std::vector<char>& body, bool faulted) {
  const ServerFaults& faults = m_options.faults;
  if (faulted && faults.replyText) return *faults.replyText;
  if (faulted && faults.garbageReply) return "\x01garbage\xff reply, not a number";
  // The text must fill the frame exactly: one NUL, at the end.
  std::string_view text = RequestText(body);
  if (text.size() + 1 != body.size()) return "0,87";
  std::optional<NkoRequest> request = ParseNkoRequest(text);
  if (!request) return "0,87";
  return m_objects.Execute(*request, faulted && faults.refuseCreate);
}

}  // namespace ombrix
