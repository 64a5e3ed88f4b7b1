#include "kobj/nko_client.h"

#include <atomic>
#include <climits>
#include <cstring>

#include "base/bounded_text.h"
#include "base/overlapped_io.h"
#include "base/event_log.h"
#include "base/unique.h"
#include "kobj/nko_protocol.h"

namespace {

// Set until the first request of the process has returned, whatever its outcome.
std::atomic<bool> g_firstRequest{true};

const char kNkoLogSource[] = "Korvane NKO client";

// atoi's rules: leading blanks, an optional sign, digits up to the first other
// character; values beyond the 32-bit range saturate.
int ParseDecimal(const char* p) {
  while (*p == ' ' || (*p >= '\t' && *p <= '\r')) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  long long value = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    value = value * 10 + (*p - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) return static_cast<int>(-value);
  return value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

void LogFormatted(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
void LogFormatted(const char* format, ...) {
  // Texts that append a request are cut to the log buffer: the request's start names
  // the request kind and the process, which is what a reader needs.
  char line[kNkoLogBufferSize];
  va_list args;
  va_start(args, format);
  FormatBoundedV(line, sizeof line, format, args);
  va_end(args);
  NkoLogEvent(line);
}

int AsDecimal(BOOL value) { return static_cast<int>(value); }
int AsDecimal(DWORD value) { return static_cast<int>(value); }

int ProcessIdDecimal() { return static_cast<int>(GetCurrentProcessId()); }

intptr_t SendFormatted(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));
intptr_t SendFormatted(const char* format, ...) {
  char request[kNkoRequestBufferSize];
  va_list args;
  va_start(args, format);
  FormatBoundedV(request, sizeof request, format, args);
  va_end(args);
  return static_cast<intptr_t>(NkoRequest(request));
}

struct EscapedName {
  char text[kNkoNameBufferSize];
  explicit EscapedName(const char* name) { XmlEscape(text, sizeof text, name != nullptr ? name : ""); }
};

// A point in time for the limits of one exchange step.
class Deadline {
 public:
  explicit Deadline(unsigned long limitMs) : m_end(GetTickCount64() + limitMs) {}
  // What is left, at least 1 ms while the time has not passed (a wait of 0 would mean
  // "the default" to WaitNamedPipeA), 0 once it has.
  DWORD LeftMs() const {
    const ULONGLONG now = GetTickCount64();
    return now < m_end ? static_cast<DWORD>(m_end - now) : 0;
  }

 private:
  ULONGLONG m_end;
};

// One read or write on the overlapped pipe, waited for until the deadline (an operation
// still pending then is cancelled and its end waited for); the caller closes the pipe
// after a failed step. A step that ran out of time leaves ERROR_TIMEOUT as the last error.
IoOutcome Transfer(HANDLE pipe, HANDLE done, bool write, void* buffer, DWORD size, const Deadline& deadline,
                   DWORD& transferred) {
  OVERLAPPED overlapped{};
  overlapped.hEvent = done;
  const BOOL started = write ? WriteFile(pipe, buffer, size, nullptr, &overlapped)
                             : ReadFile(pipe, buffer, size, nullptr, &overlapped);
  const IoOutcome io = FinishOverlapped(pipe, overlapped, started, {}, deadline.LeftMs(), transferred);
  if (io == IoOutcome::kTimedOut) SetLastError(ERROR_TIMEOUT);
  return io;
}

bool WriteAll(HANDLE pipe, HANDLE done, const void* data, DWORD size, const Deadline& deadline) {
  DWORD written = 0;
  const IoOutcome io = Transfer(pipe, done, true, const_cast<void*>(data), size, deadline, written);
  if (io == IoOutcome::kDone && written != size) SetLastError(ERROR_WRITE_FAULT);
  return io == IoOutcome::kDone && written == size;
}

bool ReadCount(HANDLE pipe, HANDLE done, uint32_t& count, const Deadline& deadline) {
  DWORD got = 0;
  // A server that sends the count and the text as one message still gives us the count.
  const IoOutcome io = Transfer(pipe, done, false, &count, sizeof count, deadline, got);
  return (io == IoOutcome::kDone || io == IoOutcome::kMoreData) && got == sizeof count;
}

// Opens the server's pipe for overlapped I/O, waiting for a free instance while every one
// is busy; null (with the reason logged as the protocol says) when it cannot.
UniqueFile OpenServerPipe(const char* text) {
  const Deadline connect(kNkoConnectLimitMs);
  for (;;) {
    UniqueFile pipe(CreateFileA(kNkoPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OVERLAPPED, nullptr));
    if (pipe) return pipe;
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_BUSY) {
      // However often a wait succeeds and the instance is taken again before our open,
      // all waits together stay within the connect limit.
      const DWORD left = connect.LeftMs();
      if (left > 0 && WaitNamedPipeA(kNkoPipeName, left)) continue;
      if (left == 0) SetLastError(ERROR_TIMEOUT);
      LogFormatted("NkoServerCommunicate: all pipes busy.  lastError=%d\n%s", static_cast<int>(GetLastError()), text);
      return {};
    }
    if (!g_firstRequest.load()) {
      LogFormatted("NkoServerCommunicate: could not open pipe.  lastError=%d\n%s", static_cast<int>(error), text);
    }
    SetLastError(error);
    return {};
  }
}

}  // namespace

char* XmlEscape(char* out, int size, const char* in) {
  if (out == nullptr || size <= 0) return out;
  const int limit = size - 1;
  int length = 0;
  for (const char* p = in; p != nullptr && *p != '\0' && length < limit; ++p) {
    const char* entity = nullptr;
    switch (*p) {
      case '"': entity = "&quot;"; break;
      case '&': entity = "&amp;"; break;
      case '\'': entity = "&apos;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      default: break;
    }
    if (entity == nullptr) {
      out[length++] = *p;
      continue;
    }
    const int entityLength = static_cast<int>(std::strlen(entity));
    if (length + entityLength >= limit) break;
    std::memcpy(out + length, entity, static_cast<size_t>(entityLength));
    length += entityLength;
  }
  out[length] = '\0';
  return out;
}

NkoReply ParseNkoReply(const char* text) {
  NkoReply reply;
  reply.value = ParseDecimal(text);
  if (const char* comma = std::strchr(text, ',')) {
    reply.hasError = true;
    reply.error = ParseDecimal(comma + 1);
  }
  return reply;
}

intptr_t NkoServerCreateEvent(SECURITY_ATTRIBUTES* sa, BOOL manualReset, BOOL initialState, const char* name) {
  EscapedName escaped(name);
  return SendFormatted(
      "<CreateEvent ProcId=\"%d\" SecurityAttributes=\"%d\" bManualReset=\"%d\" bInitialState=\"%d\" lpName=\"%s\"/>",
      ProcessIdDecimal(), sa != nullptr ? 1 : 0, AsDecimal(manualReset), AsDecimal(initialState), escaped.text);
}

intptr_t NkoServerCreateMutex(SECURITY_ATTRIBUTES* sa, BOOL initialOwner, const char* name) {
  EscapedName escaped(name);
  return SendFormatted("<CreateMutex ProcId=\"%d\" SecurityAttributes=\"%d\" bInitialOwner=\"%d\" lpName=\"%s\"/>",
                       ProcessIdDecimal(), sa != nullptr ? 1 : 0, AsDecimal(initialOwner), escaped.text);
}

intptr_t NkoServerCreateSemaphore(SECURITY_ATTRIBUTES* sa, LONG initialCount, LONG maximumCount, const char* name) {
  EscapedName escaped(name);
  return SendFormatted(
      "<CreateSemaphore ProcId=\"%d\" SecurityAttributes=\"%d\" lInitialCount=\"%d\" lMaximumCount=\"%d\" "
      "lpName=\"%s\"/>",
      ProcessIdDecimal(), sa != nullptr ? 1 : 0, static_cast<int>(initialCount), static_cast<int>(maximumCount),
      escaped.text);
}

intptr_t NkoServerCreateFileMapping(HANDLE file, SECURITY_ATTRIBUTES* sa, DWORD protect, DWORD maximumSizeHigh,
                                    DWORD maximumSizeLow, const char* name) {
  EscapedName escaped(name);
  // The page-file handle INVALID_HANDLE_VALUE goes out as -1: the low 32 bits, signed.
  const int fileDecimal = static_cast<int>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(file)));
  return SendFormatted(
      "<CreateFileMapping ProcId=\"%d\" hFile=\"%d\" SecurityAttributes=\"%d\" flProtect=\"%d\" "
      "dwMaximumSizeHigh=\"%d\" dwMaximumSizeLow=\"%d\" lpName=\"%s\"/>",
      ProcessIdDecimal(), fileDecimal, sa != nullptr ? 1 : 0, AsDecimal(protect), AsDecimal(maximumSizeHigh),
      AsDecimal(maximumSizeLow), escaped.text);
}

int NkoServerCloseHandle(intptr_t serverHandle) {
  if (serverHandle == 0) return 1;
  return static_cast<int>(SendFormatted("<CloseHandle ProcId=\"%d\" Handle=\"%d\"/>", ProcessIdDecimal(),
                                        static_cast<int>(serverHandle)));
}

int NkoRequest(const char* text) {
  int result = 0;
  int attempts = 0;
  const Deadline window(kNkoFirstRequestWindowMs);
  while (attempts < kNkoFirstRequestAttempts) {
    ++attempts;
    result = NkoServerCommunicate(text);
    if (result != 0 || !g_firstRequest.load()) break;
    // The pause never reaches past the window, and no try starts after it: tries that
    // each waited for a silent server end the retrying soon after the window.
    const DWORD left = window.LeftMs();
    if (left == 0) break;
    Sleep(left < kNkoRetryDelayMs ? left : kNkoRetryDelayMs);
  }
  if (g_firstRequest.load()) {
    const int lastError = static_cast<int>(GetLastError());
    if (result == 0) {
      LogFormatted(
          "NkoServerCommunicate: Failed to establish communications with NkoServer.  Quitting after %d tries. "
          "lastError=%d\n%s",
          attempts, lastError, text);
    } else if (attempts > 1) {
      LogFormatted("NkoServerCommunicate: NkoServer communications established in %d tries.", attempts);
    }
  }
  g_firstRequest.store(false);
  return result;
}

int NkoServerCommunicate(const char* text) {
  UniqueFile pipe = OpenServerPipe(text);
  if (!pipe) return 0;
  const UniqueHandle done(CreateEventA(nullptr, TRUE, FALSE, nullptr));

  // The pipe is closed before the failing step's error is put back for the caller. During
  // the first request only its summary is logged.
  auto fail = [&pipe](const char* format) {
    const int error = static_cast<int>(GetLastError());
    if (!g_firstRequest.load()) LogFormatted(format, error);
    pipe.Reset();
    SetLastError(static_cast<DWORD>(error));
    return 0;
  };
  if (!done) return fail("NkoServerCommunicate: CreateEvent failed.  lastError=%d");

  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr))
    return fail("NkoServerCommunicate: SetNamedPipeHandleState failed.  lastError=%d");

  const uint32_t count = static_cast<uint32_t>(std::strlen(text) + 1);
  const Deadline write(kNkoWriteLimitMs);
  if (!WriteAll(pipe.Get(), done.Get(), &count, sizeof count, write))
    return fail("NkoServerCommunicate: WriteFile(count) failed.  lastError=%d");
  if (!WriteAll(pipe.Get(), done.Get(), text, count, write))
    return fail("NkoServerCommunicate: WriteFile(message) failed.  lastError=%d");

  const Deadline reply(kNkoReplyLimitMs);
  uint32_t replyCount = 0;
  if (!ReadCount(pipe.Get(), done.Get(), replyCount, reply))
    return fail("NkoServerCommunicate: ReadFile failed.  lastError=%d");

  // The reply text needs no terminator of its own: the buffer is zeroed and one byte is
  // always left for the NUL, however large a count the server announces.
  char replyText[kNkoReplyBufferSize];
  std::memset(replyText, 0, sizeof replyText);
  const DWORD wanted = replyCount < sizeof replyText - 1 ? replyCount : static_cast<DWORD>(sizeof replyText - 1);
  DWORD received = 0;
  while (received < wanted) {
    DWORD got = 0;
    const IoOutcome io = Transfer(pipe.Get(), done.Get(), false, replyText + received, wanted - received, reply, got);
    received += got;
    // A replyText that stops coming is no answer, whatever part of it arrived.
    if (io == IoOutcome::kTimedOut) return fail("NkoServerCommunicate: ReadFile failed.  lastError=%d");
    if (io != IoOutcome::kMoreData) break;
  }
  // Closed before the reply's error code becomes the thread's last error.
  pipe.Reset();

  // The overlapped steps leave ERROR_IO_PENDING behind. A reply without an error code
  // leaves what the successful open of the pipe left, 0, so that no stale value passes for
  // the server's.
  const NkoReply parsed = ParseNkoReply(replyText);
  SetLastError(parsed.hasError ? static_cast<DWORD>(parsed.error) : ERROR_SUCCESS);
  return parsed.value;
}

void NkoLogEvent(const char* text) { WriteEventLog(text, kNkoLogSource); }

// Test seam (declared in kobj/testing/nko_client_seams.h): it needs the private flag.
namespace kobj_testing {
void ResetFirstRequest() { g_firstRequest.store(true); }
}  // namespace kobj_testing
