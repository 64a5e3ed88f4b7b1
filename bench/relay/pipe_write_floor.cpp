#include "bench/relay/pipe_write_floor.h"

#include <windows.h>

#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kPipeBufferSize = 1024 * 1024;
constexpr DWORD kReadChunk = 64 * 1024;

}  // namespace

double PipeWriteUs(uint32_t bytes, int64_t count) {
  const std::string name = "\\\\.\\pipe\\relay_bench_write_floor_" + std::to_string(GetCurrentProcessId());
  HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                   0, kPipeBufferSize, 0, nullptr);
  if (server == INVALID_HANDLE_VALUE) return -1;
  HANDLE writer = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (writer == INVALID_HANDLE_VALUE) {
    CloseHandle(server);
    return -1;
  }
  // Drains until the writer closes its end.
  std::thread reader([server] {
    std::vector<uint8_t> chunk(kReadChunk);
    DWORD got = 0;
    while (ReadFile(server, chunk.data(), kReadChunk, &got, nullptr) && got > 0) {
    }
  });
  const std::vector<uint8_t> text(bytes, 0x41);
  LARGE_INTEGER frequency, start, stop;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  bool ok = true;
  for (int64_t i = 0; i < count && ok; ++i) {
    DWORD written = 0;
    ok = WriteFile(writer, text.data(), bytes, &written, nullptr) && written == bytes;
  }
  QueryPerformanceCounter(&stop);
  CloseHandle(writer);
  reader.join();
  CloseHandle(server);
  if (!ok) return -1;
  return static_cast<double>(stop.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart) /
         static_cast<double>(count);
}
