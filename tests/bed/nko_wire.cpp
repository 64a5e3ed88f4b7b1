#include "bed/nko_wire.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace bed {
namespace {

// An overlapped read or write with a time-out; a message longer than |size| counts as
// success with the part that fitted (|more| tells).
bool Transfer(bool write, HANDLE pipe, void* buffer, DWORD size, DWORD timeoutMs, DWORD& done, bool& more,
              DWORD& error) {
  OVERLAPPED ov{};
  ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  done = 0;
  more = false;
  error = 0;
  BOOL ok = write ? WriteFile(pipe, buffer, size, nullptr, &ov) : ReadFile(pipe, buffer, size, nullptr, &ov);
  DWORD started = ok ? 0 : GetLastError();
  if (started == ERROR_IO_PENDING && WaitForSingleObject(ov.hEvent, timeoutMs) != WAIT_OBJECT_0) {
    CancelIoEx(pipe, &ov);
  }
  if (started != 0 && started != ERROR_IO_PENDING && started != ERROR_MORE_DATA) {
    error = started;
  } else if (!GetOverlappedResult(pipe, &ov, &done, TRUE)) {
    error = GetLastError();
    if (error == ERROR_MORE_DATA) {
      more = true;
      error = 0;
    }
  }
  CloseHandle(ov.hEvent);
  return error == 0;
}

}  // namespace

NkoWireResult NkoExchange(std::string_view request, const NkoWireOptions& options) {
  NkoWireResult result;
  HANDLE pipe = INVALID_HANDLE_VALUE;
  for (;;) {
    pipe = CreateFileA(options.pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe != INVALID_HANDLE_VALUE) break;
    result.openError = GetLastError();
    if (result.openError != ERROR_PIPE_BUSY || !WaitNamedPipeA(options.pipeName.c_str(), options.timeoutMs)) {
      return result;
    }
  }
  result.openError = 0;
  DWORD mode = PIPE_READMODE_MESSAGE;
  SetNamedPipeHandleState(pipe, &mode, nullptr, nullptr);

  std::string body(request);
  if (options.appendNul) body.push_back('\0');
  uint32_t count = options.countOverride.value_or(static_cast<uint32_t>(body.size()));
  DWORD done = 0;
  bool more = false;
  bool ok = true;
  if (options.oneMessage) {
    std::string frame(reinterpret_cast<const char*>(&count), 4);
    frame += body;
    ok = Transfer(true, pipe, frame.data(), static_cast<DWORD>(frame.size()), options.timeoutMs, done, more,
                  result.readError);
  } else {
    ok = Transfer(true, pipe, &count, 4, options.timeoutMs, done, more, result.readError) &&
         Transfer(true, pipe, body.data(), static_cast<DWORD>(body.size()), options.timeoutMs, done, more,
                  result.readError);
  }
  if (ok && Transfer(false, pipe, &result.count, 4, options.timeoutMs, done, more, result.readError) && done == 4) {
    result.gotCount = true;
    uint32_t want = result.count < options.maxReplyBytes ? result.count : options.maxReplyBytes;
    std::vector<char> buffer(want);
    uint32_t have = 0;
    while (have < want) {
      if (!Transfer(false, pipe, buffer.data() + have, want - have, options.timeoutMs, done, more,
                    result.readError) ||
          done == 0) {
        break;
      }
      have += done;
    }
    result.raw.assign(buffer.data(), have);
  }
  CloseHandle(pipe);
  return result;
}

int32_t ReplyHandle(const std::string& reply) { return std::atoi(reply.c_str()); }

}  // namespace bed
