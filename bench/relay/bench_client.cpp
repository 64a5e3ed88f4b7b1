#include "bench/relay/bench_client.h"

#include <windows.h>

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "trace/named_pipe_m.h"
#include "trace/trace_relay.h"

namespace {

constexpr char kResultTag[] = "relay_bench client:";
// Far above any round trip; a reply later than this counts as none.
constexpr DWORD kReplyTimeoutMs = 5000;

int64_t Now() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return counter.QuadPart;
}

int64_t TicksToNs(int64_t ticks) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<int64_t>(static_cast<double>(ticks) * 1e9 / static_cast<double>(frequency.QuadPart));
}

}  // namespace

int RunClient(const std::string& pipeName, RecordKind kind, int64_t warmup, int64_t count) {
  NamedPipeM* pipe = OpenNamedPipeM(pipeName.c_str());
  if (pipe == nullptr) {
    std::fprintf(stderr, "relay_bench client: cannot open the pipe %s (error %lu)\n", pipeName.c_str(), GetLastError());
    return 2;
  }
  const std::vector<uint8_t> message = BenchMessage(kind);
  const auto length = static_cast<uint32_t>(message.size());
  ClientResult result;
  int64_t started = 0;
  for (int64_t i = 0; i < warmup + count; ++i) {
    if (i == warmup) started = Now();
    char reply[kTraceReplySize] = {};
    uint32_t replyLength = 0;
    const int answered = TransactNamedPipeM(pipe, message.data(), length, nullptr, reply, sizeof reply, &replyLength,
                                            kReplyTimeoutMs);
    if (answered != kPipeMReplied) ++result.unanswered;
    else if (std::strcmp(reply, "ack") == 0) ++result.acked;
    else ++result.nacked;
  }
  result.elapsedNs = TicksToNs(Now() - started);
  result.sent = count;
  CloseNamedPipeM(pipe);
  std::printf("%s\n", FormatClientResult(result).c_str());
  std::fflush(stdout);
  return result.acked == warmup + count ? 0 : 1;
}

std::string FormatClientResult(const ClientResult& r) {
  char line[200];
  std::snprintf(line, sizeof line, "%s sent=%" PRId64 " ack=%" PRId64 " nack=%" PRId64 " none=%" PRId64 " ns=%" PRId64,
                kResultTag, r.sent, r.acked, r.nacked, r.unanswered, r.elapsedNs);
  return line;
}

std::optional<ClientResult> ParseClientResult(const std::string& output) {
  const size_t at = output.find(kResultTag);
  if (at == std::string::npos) return std::nullopt;
  ClientResult r;
  const int fields = std::sscanf(output.c_str() + at + sizeof kResultTag - 1,
                                 " sent=%" SCNd64 " ack=%" SCNd64 " nack=%" SCNd64 " none=%" SCNd64 " ns=%" SCNd64,
                                 &r.sent, &r.acked, &r.nacked, &r.unanswered, &r.elapsedNs);
  if (fields != 5) return std::nullopt;
  return r;
}
