#include "kobj/nko_client.h"

#include <atomic>
#include <climits>
#include <cstring>

#include "base/bounded_text.h"
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

bool ReadExact(HANDLE pipe, void* buffer, DWORD size) {
  DWORD got = 0;
  if (ReadFile(pipe, buffer, size, &got, nullptr)) return got == size;
  // A server that sends the count and the text as one message still gives us the count.
  return GetLastError() == ERROR_MORE_DATA && got == size;
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
  while (attempts < kNkoFirstRequestAttempts) {
    ++attempts;
    result = NkoServerCommunicate(text);
    if (result != 0 || !g_firstRequest.load()) break;
    Sleep(kNkoRetryDelayMs);
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
  UniqueFile pipe;
  for (;;) {
    pipe.Reset(CreateFileA(kNkoPipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (pipe) break;
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_BUSY) {
      if (WaitNamedPipeA(kNkoPipeName, kNkoBusyWaitMs)) continue;
      LogFormatted("NkoServerCommunicate: all pipes busy.  lastError=%d\n%s", static_cast<int>(GetLastError()), text);
      return 0;
    }
    if (!g_firstRequest.load()) {
      LogFormatted("NkoServerCommunicate: could not open pipe.  lastError=%d\n%s", static_cast<int>(error), text);
    }
    SetLastError(error);
    return 0;
  }

  // The pipe is closed before the failing step's error is put back for the caller.
  auto fail = [&pipe](const char* format) {
    const int error = static_cast<int>(GetLastError());
    LogFormatted(format, error);
    pipe.Reset();
    SetLastError(static_cast<DWORD>(error));
    return 0;
  };

  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr))
    return fail("NkoServerCommunicate: SetNamedPipeHandleState failed.  lastError=%d");

  const uint32_t count = static_cast<uint32_t>(std::strlen(text) + 1);
  DWORD written = 0;
  if (!WriteFile(pipe.Get(), &count, sizeof count, &written, nullptr))
    return fail("NkoServerCommunicate: WriteFile(count) failed.  lastError=%d");
  if (!WriteFile(pipe.Get(), text, count, &written, nullptr))
    return fail("NkoServerCommunicate: WriteFile(message) failed.  lastError=%d");

  uint32_t replyCount = 0;
  if (!ReadExact(pipe.Get(), &replyCount, sizeof replyCount))
    return fail("NkoServerCommunicate: ReadFile failed.  lastError=%d");

  // The reply text needs no terminator of its own: the buffer is zeroed and one byte is
  // always left for the NUL, however large a count the server announces.
  char reply[kNkoReplyBufferSize];
  std::memset(reply, 0, sizeof reply);
  const DWORD wanted = replyCount < sizeof reply - 1 ? replyCount : static_cast<DWORD>(sizeof reply - 1);
  DWORD received = 0;
  while (received < wanted) {
    DWORD got = 0;
    const BOOL ok = ReadFile(pipe.Get(), reply + received, wanted - received, &got, nullptr);
    received += got;
    if (ok || GetLastError() != ERROR_MORE_DATA) break;
  }
  // Closed before the reply's error code becomes the thread's last error.
  pipe.Reset();

  const NkoReply parsed = ParseNkoReply(reply);
  if (parsed.hasError) SetLastError(static_cast<DWORD>(parsed.error));
  return parsed.value;
}

void NkoLogEvent(const char* text) { WriteEventLog(text, kNkoLogSource); }

// Test seam (declared in kobj/testing/nko_client_seams.h): it needs the private flag.
namespace kobj_testing {
void ResetFirstRequest() { g_firstRequest.store(true); }
}  // namespace kobj_testing
