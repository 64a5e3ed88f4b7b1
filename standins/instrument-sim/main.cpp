// instrument-sim: a stand-in for the suite's instrument libraries as trace clients. For
// each traced call it reads the trace control block, posts the method-enter and the
// method-exit message on the trace event pipe and waits for each 8-byte reply. Calls are
// generated (a VISA-like mix) from several threads or processes, or replayed from a file.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/unique.h"
#include "standins/instrument-sim/call_mix.h"
#include "support/options.h"
#include "support/report.h"
#include "trace/named_pipe_m.h"
#include "trace/trace_control.h"

namespace {

using namespace instrument_sim;

struct Settings {
  int64_t calls = 10;
  int64_t threads = 1;
  int64_t processes = 1;
  int64_t seed = 1;
  DWORD timeoutMs = 5000;
  std::string pipeName = kTraceEventPipeName;
  Mix mix = Mix::Visa;
  bool always = false;
  DWORD waitEnabledMs = 0;
  std::string replayPath;
  std::string dumpPath;
  std::string resultPath;  // a child's counts and latencies, for its parent
  std::string appName = "instrument-sim.exe";
};

struct Results {
  uint64_t ack = 0, nack = 0, noReply = 0, untraced = 0;
  std::vector<double> latencyUs;
  void Add(const Results& r) {
    ack += r.ack;
    nack += r.nack;
    noReply += r.noReply;
    untraced += r.untraced;
    latencyUs.insert(latencyUs.end(), r.latencyUs.begin(), r.latencyUs.end());
  }
};

// A shared block, read-only, as a library maps it; Get() is null when it does not exist.
template <typename Block>
class MappedBlock {
 public:
  explicit MappedBlock(const char* baseName) {
    const std::string name = std::string("Global\\") + baseName;
    const UniqueHandle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, name.c_str()));
    if (mapping) m_view.Reset(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, sizeof(Block)));
  }
  const Block* Get() const { return ViewAs<const Block>(m_view); }

 private:
  UniqueView m_view;  // keeps the block alive after the mapping handle closes
};

class Dump {
 public:
  bool Open(const std::string& path) { return path.empty() || (m_file = std::fopen(path.c_str(), "wb")) != nullptr; }
  void Write(const std::vector<uint8_t>& message) {
    if (m_file == nullptr) return;
    std::lock_guard lock(m_lock);
    const auto n = static_cast<uint32_t>(message.size());
    std::fwrite(&n, sizeof n, 1, m_file);
    std::fwrite(message.data(), 1, message.size(), m_file);
  }
  ~Dump() {
    if (m_file != nullptr) std::fclose(m_file);
  }

 private:
  std::FILE* m_file = nullptr;
  std::mutex m_lock;
};

double NowUs() {
  static const double ticksPerUs = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1e6;
  }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / ticksPerUs;
}

// Posts one trace message (behind the 4 leading bytes, which carry its length) and
// counts the reply.
void Post(NamedPipeM* pipe, const std::vector<uint8_t>& message, std::vector<uint8_t>& frame, DWORD timeoutMs,
          Results& results) {
  frame.resize(message.size() + 4);
  const auto n = static_cast<uint32_t>(message.size());
  std::memcpy(frame.data(), &n, 4);
  std::memcpy(frame.data() + 4, message.data(), message.size());
  char reply[8];
  uint32_t replyLength = 0;
  const double start = NowUs();
  const int result = TransactNamedPipeM(pipe, frame.data(), static_cast<uint32_t>(frame.size()), nullptr, reply,
                                        sizeof reply, &replyLength, timeoutMs);
  results.latencyUs.push_back(NowUs() - start);
  reply[7] = '\0';
  if (result != kPipeMReplied) ++results.noReply;
  else if (std::strcmp(reply, "ack") == 0) ++results.ack;
  else if (std::strcmp(reply, "nack") == 0) ++results.nack;
  else ++results.noReply;
}

Results RunGenerated(const Settings& s, int threadIndex, Dump& dump) {
  Results results;
  NamedPipeM* pipe = OpenNamedPipeM(s.pipeName.c_str());
  if (pipe == nullptr) {
    support::Error("cannot open the trace event pipe %s: %s", s.pipeName.c_str(),
                   support::DescribeError(GetLastError()).c_str());
    results.noReply = static_cast<uint64_t>(s.calls) * 2;
    return results;
  }
  const MappedBlock<TraceControlBlock> controlBlock(kTraceControlName);
  const MappedBlock<TraceTimerBlock> timerBlock(kTraceTimerName);
  const TraceControlBlock* control = controlBlock.Get();
  const TraceTimerBlock* timer = timerBlock.Get();
  CallGenerator generator(s.mix, static_cast<uint64_t>(s.seed) * 1000003u + static_cast<uint64_t>(threadIndex));
  CallContext context{GetCurrentProcessId(), GetCurrentThreadId(), s.appName, 1024, pipe->capacity - 4};
  std::vector<uint8_t> frame;
  std::mt19937 duration(static_cast<unsigned>(threadIndex + 7));
  for (int64_t i = 0; i < s.calls; ++i) {
    if (!s.always && (control == nullptr || LoadTraceFlag(control->enabled) == 0 ||
                      LoadTraceFlag(control->visaEnabled) == 0)) {
      ++results.untraced;
      continue;
    }
    if (control != nullptr) context.maxArrayBytes = static_cast<uint32_t>(std::max(0, LoadTraceFlag(control->maxArraySize)));
    const int64_t enterTime = timer != nullptr && timer->initialized ? ReadTraceClock(*timer) : 0;
    const TracedCall call = generator.Next(context, enterTime, enterTime + 20000 + duration() % 5000000);
    Post(pipe, call.enter, frame, s.timeoutMs, results);
    dump.Write(call.enter);
    Post(pipe, call.exit, frame, s.timeoutMs, results);
    dump.Write(call.exit);
  }
  CloseNamedPipeM(pipe);
  return results;
}

bool RunReplay(const Settings& s, Results& results) {
  std::FILE* in = std::fopen(s.replayPath.c_str(), "rb");
  if (in == nullptr) {
    support::Error("cannot read %s", s.replayPath.c_str());
    return false;
  }
  NamedPipeM* pipe = OpenNamedPipeM(s.pipeName.c_str());
  if (pipe == nullptr) {
    support::Error("cannot open the trace event pipe %s", s.pipeName.c_str());
    std::fclose(in);
    return false;
  }
  std::vector<uint8_t> message, frame;
  uint32_t n = 0;
  while (std::fread(&n, sizeof n, 1, in) == 1) {
    message.resize(n);
    if (n > 0 && std::fread(message.data(), 1, n, in) != n) break;
    Post(pipe, message, frame, s.timeoutMs, results);
  }
  CloseNamedPipeM(pipe);
  std::fclose(in);
  return true;
}

// Starts this program again once per process with the same work and collects what each
// child reports.
bool RunChildren(const Settings& s, int argc, char** argv, Results& results) {
  std::vector<UniqueProcess> children;
  std::vector<std::string> resultFiles;
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  bool ok = true;
  for (int64_t p = 0; p < s.processes && ok; ++p) {
    std::string command = std::string("\"") + self + "\"";
    for (int i = 1; i < argc; ++i) command += std::string(" \"") + argv[i] + "\"";
    const std::string resultFile = std::string(self) + ".result." + std::to_string(GetCurrentProcessId()) + "." +
                                   std::to_string(p);
    command += " --processes 1 --seed " + std::to_string(s.seed * 100 + p) + " --result-file \"" + resultFile + "\"";
    if (!s.dumpPath.empty()) command += " --dump \"" + s.dumpPath + "." + std::to_string(p) + "\"";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
      // The children already started still run to their end, so that none outlives this
      // process unseen.
      support::Error("cannot start client process %lld: %s", static_cast<long long>(p),
                     support::DescribeError(GetLastError()).c_str());
      ok = false;
      break;
    }
    children.emplace_back(pi);
    resultFiles.push_back(resultFile);
  }
  for (size_t i = 0; i < children.size(); ++i) {
    WaitForSingleObject(children[i].Process(), INFINITE);
    children[i].Reset();
    std::FILE* f = std::fopen(resultFiles[i].c_str(), "rb");
    if (f == nullptr) {
      support::Error("client process %zu left no results", i);
      ok = false;
      continue;
    }
    Results r;
    unsigned long long counts[4] = {};
    if (std::fscanf(f, "%llu %llu %llu %llu", &counts[0], &counts[1], &counts[2], &counts[3]) == 4) {
      r.ack = counts[0], r.nack = counts[1], r.noReply = counts[2], r.untraced = counts[3];
      double v;
      while (std::fscanf(f, "%lf", &v) == 1) r.latencyUs.push_back(v);
    }
    std::fclose(f);
    DeleteFileA(resultFiles[i].c_str());
    results.Add(r);
  }
  return ok;
}

double Percentile(std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const size_t i = std::min(sorted.size() - 1, static_cast<size_t>(p * static_cast<double>(sorted.size())));
  return sorted[i];
}

void Report(const Settings& s, Results& r, double seconds) {
  if (!s.resultPath.empty()) {
    std::FILE* f = std::fopen(s.resultPath.c_str(), "wb");
    if (f != nullptr) {
      std::fprintf(f, "%llu %llu %llu %llu\n", static_cast<unsigned long long>(r.ack),
                   static_cast<unsigned long long>(r.nack), static_cast<unsigned long long>(r.noReply),
                   static_cast<unsigned long long>(r.untraced));
      for (double v : r.latencyUs) std::fprintf(f, "%.3f\n", v);
      std::fclose(f);
    }
  }
  std::sort(r.latencyUs.begin(), r.latencyUs.end());
  const double messages = static_cast<double>(r.latencyUs.size());
  support::Info("messages=%.0f ack=%llu nack=%llu noreply=%llu untraced=%llu seconds=%.3f msg_per_s=%.0f", messages,
                static_cast<unsigned long long>(r.ack), static_cast<unsigned long long>(r.nack),
                static_cast<unsigned long long>(r.noReply), static_cast<unsigned long long>(r.untraced), seconds,
                seconds > 0 ? messages / seconds : 0.0);
  support::Info("latency_us p50=%.1f p90=%.1f p99=%.1f max=%.1f", Percentile(r.latencyUs, 0.5),
                Percentile(r.latencyUs, 0.9), Percentile(r.latencyUs, 0.99),
                r.latencyUs.empty() ? 0.0 : r.latencyUs.back());
}

support::OptionParser MakeParser(Settings& s) {
  support::OptionParser p("instrument-sim", "[options]",
                          "Stand-in for the instrument libraries as trace clients: posts a method-enter and a\n"
                          "method-exit message per traced call on the trace event pipe and waits for each reply.");
  p.AddInteger("--calls", "N", "traced calls per thread (default 10)", 0, 100000000, [&s](int64_t v) { s.calls = v; });
  p.AddInteger("--threads", "T", "client threads per process (default 1)", 1, 64, [&s](int64_t v) { s.threads = v; });
  p.AddInteger("--processes", "P", "client processes, each with the threads (default 1: this one)", 1, 64,
               [&s](int64_t v) { s.processes = v; });
  p.AddInteger("--seed", "S", "seed of the generated calls (default 1)", 0, INT32_MAX, [&s](int64_t v) { s.seed = v; });
  p.AddValue("--mix", "KIND",
             "visa (default): scalar calls, writes and reads with byte arrays up to\n"
             "256 KiB, float arrays, failures; small: one small scalar call;\n"
             "array64k: a read with a 64 KiB byte array",
             [&s](std::string_view v) { return ParseMix(std::string(v), s.mix) ? std::string() : "unknown mix"; });
  p.AddInteger("--timeout", "MS", "reply time-out of each exchange (default 5000)", 0, 3600000,
               [&s](int64_t v) { s.timeoutMs = static_cast<DWORD>(v); });
  p.AddValue("--pipe", "NAME", "base name of the event pipe (default IOTrace_Event_Pipe_011030)",
             [&s](std::string_view v) { return (s.pipeName = v).empty() ? "needs a name" : std::string(); });
  p.AddFlag("--always", "post even when the trace control block says tracing is off", [&s] { s.always = true; });
  p.AddInteger("--wait-enabled", "MS", "wait up to MS ms for tracing to be switched on before starting", 0, 3600000,
               [&s](int64_t v) { s.waitEnabledMs = static_cast<DWORD>(v); });
  p.AddValue("--replay", "FILE", "post the messages of FILE (as written by --dump) in order, then stop",
             [&s](std::string_view v) { return (s.replayPath = v).empty() ? "needs a file" : std::string(); });
  p.AddValue("--dump", "FILE",
             "write every posted trace message to FILE: a 32-bit little-endian length,\n"
             "then the message without the pipe's 4 leading bytes (with --processes,\n"
             "process i writes FILE.i)",
             [&s](std::string_view v) { return (s.dumpPath = v).empty() ? "needs a file" : std::string(); });
  p.AddValue("--result-file", "FILE", "also write the counts and every latency to FILE (used between processes)",
             [&s](std::string_view v) { return (s.resultPath = v).empty() ? "needs a file" : std::string(); });
  p.AddValue("--app-name", "NAME", "application name in the records", [&s](std::string_view v) {
    s.appName = std::string(v);
    return std::string();
  });
  p.AddEpilogue(
      "Prints one line of counts (ack, nack, no reply, calls not traced because tracing\n"
      "was off) and one of latency percentiles per exchange in microseconds.\n"
      "Exit codes: 0 every posted message was answered, 1 some were not (or set-up\n"
      "failed), 2 bad command line.\n");
  return p;
}

bool WaitForTracing(DWORD ms) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  // The block is mapped once it exists, then only its flag is read.
  std::optional<MappedBlock<TraceControlBlock>> control;
  do {
    if (!control || control->Get() == nullptr) control.emplace(kTraceControlName);
    if (control->Get() != nullptr && LoadTraceFlag(control->Get()->enabled) != 0) return true;
    Sleep(50);
  } while (GetTickCount64() < deadline);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  support::SetProgramName("instrument-sim");
  Settings s;
  support::OptionParser parser = MakeParser(s);
  if (const auto exitCode = parser.ExitCodeUnlessRun(argc, argv)) return *exitCode;
  if (s.waitEnabledMs > 0 && !WaitForTracing(s.waitEnabledMs)) {
    support::Error("tracing was not switched on within %lu ms", static_cast<unsigned long>(s.waitEnabledMs));
    return 1;
  }
  Results results;
  const double start = NowUs();
  if (!s.replayPath.empty()) {
    if (!RunReplay(s, results)) return 1;
  } else if (s.processes > 1) {
    if (!RunChildren(s, argc, argv, results)) return 1;
  } else {
    Dump dump;
    if (!dump.Open(s.dumpPath)) {
      support::Error("cannot write %s", s.dumpPath.c_str());
      return 1;
    }
    std::vector<Results> perThread(static_cast<size_t>(s.threads));
    std::vector<std::thread> threads;
    for (int64_t t = 0; t < s.threads; ++t) {
      threads.emplace_back([&, t] { perThread[static_cast<size_t>(t)] = RunGenerated(s, static_cast<int>(t), dump); });
    }
    for (auto& t : threads) t.join();
    for (const auto& r : perThread) results.Add(r);
  }
  Report(s, results, (NowUs() - start) / 1e6);
  return results.noReply == 0 ? 0 : 1;
}
