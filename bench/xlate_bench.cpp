// Translator throughput on representative messages, against two references measured in
// the same run: the straightforward implementation (narrow std::ostringstream, then
// widening) and a memcpy of the same output bytes (the floor). A counting allocator
// shows how many allocations a translation costs once the output buffer has grown.
//
//   quorvel_xlate_bench [--benchmark_filter=...]   prints the figures and a ratio table;
//   exits 1 if a translation allocated in steady state.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "trace/xlate/event_translator.h"
#include "trace/xlate/reference/reference_translator.h"
#include "support/trace_record_builder.h"

// ---- counting allocator -------------------------------------------------------------

namespace {
std::atomic<std::uint64_t> g_allocations{0};
}

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace quorvel::xlate;

namespace {

// ---- the corpus ---------------------------------------------------------------------

std::vector<std::uint8_t> Bytes(std::size_t n) {
  std::vector<std::uint8_t> data(n);
  std::uint32_t x = 12345;
  for (auto& b : data) b = static_cast<std::uint8_t>((x = x * 1103515245 + 12345) >> 16);
  return data;
}

const MethodEnterFields kEnter{.processId = 988, .threadId = 412, .appName = "demo.exe", .methodName = "viWrite",
                               .address = "GPIB0::7::INSTR", .timestamp = 1718000000123456789};
const MethodExitFields kExit{.processId = 988, .threadId = 412, .elapsedNs = 1234567, .status = 0,
                             .address = "GPIB0::7::INSTR", .timestamp = 1718000000124691356};

std::vector<std::uint8_t> NoParams() {
  auto enter = kEnter;
  enter.methodName = "viClear";
  return TraceMessageBuilder("VISA").Enter(enter).Take();
}

std::vector<std::uint8_t> Write1K() {
  return TraceMessageBuilder("VISA")
      .Enter(kEnter)
      .Param({.name = "vi", .flags = kParamIn, .valueSize = 4, .value = 1})
      .Param({.name = "buf", .flags = kParamIn | kParamArray, .valueSize = 4})
      .ArrayBlock(1, Bytes(1024))
      .Param({.name = "count", .flags = kParamIn, .valueSize = 4, .value = 1024})
      .Param({.name = "retCount", .flags = kParamOut | kParamPointer, .valueSize = 4, .pointer = 0x12FE00})
      .Take();
}

std::vector<std::uint8_t> Read256K() {
  return TraceMessageBuilder("VISA")
      .Exit(kExit)
      .Param({.name = "vi", .flags = kParamIn, .valueSize = 4, .value = 1})
      .Param({.name = "buf", .flags = kParamOut | kParamPointer | kParamArray, .valueSize = 4, .pointer = 0x12FE40})
      .ArrayBlock(1, Bytes(256 * 1024))
      .Param({.name = "retCount", .flags = kParamOut | kParamPointer, .valueSize = 4, .pointer = 0x12FE00,
              .value = 256 * 1024})
      .Take();
}

std::vector<std::uint8_t> EightScalars() {
  auto enter = kEnter;
  enter.methodName = "tlConfigure";
  return TraceMessageBuilder("TRIL")
      .Enter(enter)
      .Param({.name = "session", .flags = 0x20, .valueSize = 4, .value = 0x10001})
      .Param({.name = "channel", .flags = 0x21, .valueSize = 2, .value = 0xFFFD})
      .Param({.name = "mode", .flags = 0x20, .valueSize = 1, .value = 3})
      .Param({.name = "offset", .flags = 0x21, .valueSize = 4, .value = 0xFFFFFF85})
      .Param({.name = "gain", .flags = 0x29, .valueSize = 4, .value = 0x3FC00000})
      .Param({.name = "timeout", .flags = 0x29, .valueSize = 8, .value = 0x400921FB54442D18})
      .Param({.name = "status", .flags = 0x42, .valueSize = 4, .pointer = 0x12FE40, .value = 0})
      .Param({.name = "context", .flags = 0x52, .valueSize = 4, .pointer = 0x0012FF00})
      .Take();
}

std::vector<std::uint8_t> FloatArray() {
  std::vector<std::uint8_t> data(1024 * 4);
  for (std::size_t i = 0; i < 1024; ++i) {
    const float v = static_cast<float>(std::sin(static_cast<double>(i) * 0.01) * std::pow(10.0, static_cast<double>(i % 9) - 3));
    std::memcpy(data.data() + 4 * i, &v, 4);
  }
  return TraceMessageBuilder("TRIL_B")
      .Exit(kExit)
      .Param({.name = "samples", .flags = kParamOut | kParamArray | kParamFloat | kParamSigned, .valueSize = 4})
      .ArrayBlock(4, data)
      .Take();
}

struct Message {
  const char* name;
  std::vector<std::uint8_t> bytes;
};

const std::vector<Message>& Corpus() {
  static const std::vector<Message> corpus = {
      {"no_params", NoParams()},       {"write_1k", Write1K()},       {"read_256k", Read256K()},
      {"eight_scalars", EightScalars()}, {"float_array_1k", FloatArray()},
  };
  return corpus;
}

std::size_t OutputBytes(const Message& m) {
  EventTranslator translator;
  const auto text = translator.TranslateEvent(m.bytes.data(), m.bytes.data() + m.bytes.size());
  return text ? (text->size() + 1) * sizeof(char16_t) : 0;
}

bool g_allocatedInSteadyState = false;

void SetRates(benchmark::State& state, std::size_t outputBytes) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * outputBytes));
}

void Translator(benchmark::State& state, const Message* m) {
  EventTranslator translator;
  translator.TranslateEvent(m->bytes.data(), m->bytes.data() + m->bytes.size());  // grows the buffer
  const std::uint64_t before = g_allocations.load();
  for (auto _ : state) {
    auto text = translator.TranslateEvent(m->bytes.data(), m->bytes.data() + m->bytes.size());
    benchmark::DoNotOptimize(text);
    benchmark::ClobberMemory();
  }
  const double perMessage = static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations());
  state.counters["allocs/msg"] = perMessage;
  if (perMessage > 0) g_allocatedInSteadyState = true;
  SetRates(state, OutputBytes(*m));
}

void Straightforward(benchmark::State& state, const Message* m) {
  const std::uint64_t before = g_allocations.load();
  for (auto _ : state) {
    auto text = reference::TranslateEvent(m->bytes.data(), m->bytes.data() + m->bytes.size());
    benchmark::DoNotOptimize(text);
  }
  state.counters["allocs/msg"] =
      static_cast<double>(g_allocations.load() - before) / static_cast<double>(state.iterations());
  SetRates(state, OutputBytes(*m));
}

void Memcpy(benchmark::State& state, const Message* m) {
  const std::size_t n = OutputBytes(*m);
  std::vector<char> from(n, 'x'), to(n);
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), n);
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  SetRates(state, n);
}

// Collects the time per message of every run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        m_times[run.benchmark_name()] = run.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  void PrintRatios() const {
    std::printf("\n%-16s %14s %14s %14s %18s %16s\n", "message", "translator", "straightfwd", "memcpy",
                "straightfwd/xlate", "xlate/memcpy");
    for (const Message& m : Corpus()) {
      const auto t = Find(std::string("translator/") + m.name);
      const auto s = Find(std::string("straightforward/") + m.name);
      const auto c = Find(std::string("memcpy/") + m.name);
      if (t <= 0 || s <= 0 || c <= 0) continue;
      std::printf("%-16s %14.1f %14.1f %14.1f %17.1fx %15.2fx\n", m.name, t, s, c, s / t, t / c);
    }
    std::printf("(CPU time per message, in the time unit of the runs above; the machine may be shared)\n");
  }

 private:
  double Find(const std::string& name) const {
    const auto it = m_times.find(name);
    return it == m_times.end() ? -1 : it->second;
  }
  std::map<std::string, double> m_times;
};

}  // namespace

int main(int argc, char** argv) {
  for (const Message& m : Corpus()) {
    benchmark::RegisterBenchmark((std::string("translator/") + m.name).c_str(), Translator, &m);
    benchmark::RegisterBenchmark((std::string("straightforward/") + m.name).c_str(), Straightforward, &m);
    benchmark::RegisterBenchmark((std::string("memcpy/") + m.name).c_str(), Memcpy, &m);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  if (g_allocatedInSteadyState) {
    std::fprintf(stderr, "a translation allocated after its buffer had grown\n");
    return 1;
  }
  return 0;
}
