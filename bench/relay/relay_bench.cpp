// relay_bench: the round trip an instrument library pays per trace record through the
// relay (post on the event pipe, translate, write to the viewer, "ack") against the bare
// transport floor (the same exchange answered at once by a server that does nothing
// else), measured in one run, for a small record and for one with a 64 KiB array.
//
// The relay runs in this process; the NKO server, the viewer and every client are
// processes of their own. Runs of the three set-ups alternate within each repetition so
// that a noisy neighbour hits all of them; the table shows medians over the repetitions
// and the median of the per-repetition ratios.
//
// With "--viewer both" the whole measurement runs once with the viewer stand-in and once
// with quorvel-trace capturing to a file, and the relay's round trips are compared.
//
//   relay_bench [--count N] [--array-count N] [--warmup N] [--reps N]
//               [--viewer sightline|quorvel-trace|both]
//   relay_bench --client --pipe NAME --kind small|array64k --count N --warmup N
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "tests/bed/child_process.h"
#include "tests/bed/service_standin.h"
#include "tests/bed/viewer_standin.h"
#include "bench/relay/bench_client.h"
#include "bench/relay/bench_records.h"
#include "bench/relay/bench_viewer.h"
#include "bench/relay/floor_server.h"
#include "bench/relay/pipe_write_floor.h"
#include "trace/trace_control.h"
#include "trace/trace_relay.h"
#include "trace/xlate/event_translator_win32.h"

namespace {

constexpr char kFloorPipeName[] = "QuorvelBench_Floor_Pipe";
constexpr DWORD kClientTimeoutMs = 600000;
constexpr DWORD kSwitchOnMs = 10000;

struct Options {
  int64_t count = 3000;       // timed exchanges per run, small records
  int64_t arrayCount = 600;   // timed exchanges per run, 64 KiB records
  int64_t warmup = 200;       // untimed exchanges before each run
  int reps = 7;
  bool client = false;
  std::string pipe;
  RecordKind kind = RecordKind::Small;
  std::vector<ViewerKind> viewers{ViewerKind::StandIn};
};

// Floor: the bare transport. Relay: translated and written to the viewer (status 1).
// Relay without write: the viewer's status 2 keeps the connection, and the relay answers
// after its status check without translating or writing.
enum class Setup { Floor, Relay, RelayNoWrite };

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--client") {
      o.client = true;
    } else if (arg == "--pipe" && hasValue) {
      o.pipe = argv[++i];
    } else if (arg == "--viewer" && hasValue) {
      const std::string v = argv[++i];
      if (v == "sightline") o.viewers = {ViewerKind::StandIn};
      else if (v == "quorvel-trace") o.viewers = {ViewerKind::TraceCapture};
      else if (v == "both") o.viewers = {ViewerKind::StandIn, ViewerKind::TraceCapture};
      else return false;
    } else if (arg == "--kind" && hasValue) {
      if (!ParseRecordKind(argv[++i], o.kind)) return false;
    } else if ((arg == "--count" || arg == "--array-count" || arg == "--warmup" || arg == "--reps") && hasValue) {
      const long long value = std::atoll(argv[++i]);
      if (value < (arg == "--warmup" ? 0 : 1)) return false;
      if (arg == "--count") o.count = value;
      else if (arg == "--array-count") o.arrayCount = value;
      else if (arg == "--warmup") o.warmup = value;
      else o.reps = static_cast<int>(value);
    } else {
      return false;
    }
  }
  return !o.client || !o.pipe.empty();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

bool TracingOn() {
  const TraceControlBlock* block = GetTraceControlView();
  return block != nullptr && LoadTraceFlag(block->enabled) == 1 && LoadTraceFlag(block->viewerEnabled) == 1;
}

template <typename Pred>
bool Eventually(Pred pred, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  while (!pred()) {
    if (GetTickCount64() > deadline) return false;
    Sleep(20);
  }
  return true;
}

struct Run {
  double usPerTrip = 0;
  bool allAcked = false;
  int64_t exchanges = 0;  // warm-up included
};

// One client process making warmup + count exchanges on the pipe.
Run RunClientProcess(const std::string& pipe, RecordKind kind, int64_t warmup, int64_t count) {
  bed::ChildOptions options;
  options.captureOutput = true;
  bed::ChildProcess client("relay_bench.exe",
                           {"--client", "--pipe", pipe, "--kind", RecordKindName(kind), "--count", std::to_string(count),
                            "--warmup", std::to_string(warmup)},
                           options);
  const DWORD code = client.WaitExitCode(kClientTimeoutMs);
  const std::optional<ClientResult> result = ParseClientResult(client.Output());
  Run run;
  run.exchanges = warmup + count;
  if (!result) {
    std::fprintf(stderr, "relay_bench: client on %s gave no result (exit %lu)\n", pipe.c_str(), code);
    return run;
  }
  run.allAcked = code == 0 && result->acked == warmup + count;
  if (!run.allAcked) {
    std::fprintf(stderr, "relay_bench: %s on %s: %s\n", RecordKindName(kind), pipe.c_str(),
                 FormatClientResult(*result).c_str());
  }
  run.usPerTrip = static_cast<double>(result->elapsedNs) / 1000.0 / static_cast<double>(count);
  return run;
}

// Translation alone, in this process: the relay's translator on the same bytes.
double TranslateUs(RecordKind kind, int64_t count) {
  quorvel::xlate::EventTranslator translator(quorvel::xlate::AnsiCodePage());
  const std::vector<uint8_t> message = BenchMessage(kind);
  const uint8_t* begin = message.data() + kEventPipeWriterBytes;
  const uint8_t* end = message.data() + message.size();
  size_t sink = 0;
  for (int i = 0; i < 20; ++i) sink += translator.TranslateEvent(begin, end)->size();
  LARGE_INTEGER frequency, start, stop;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (int64_t i = 0; i < count; ++i) sink += translator.TranslateEvent(begin, end)->size();
  QueryPerformanceCounter(&stop);
  if (sink == 0) std::fprintf(stderr, "relay_bench: the translator produced nothing\n");
  return static_cast<double>(stop.QuadPart - start.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart) /
         static_cast<double>(count);
}

// The bytes the relay writes to the viewer for one record: the text and its 16-bit NUL.
uint32_t TextBytes(RecordKind kind) {
  quorvel::xlate::EventTranslator translator(quorvel::xlate::AnsiCodePage());
  const std::vector<uint8_t> message = BenchMessage(kind);
  const auto text = translator.TranslateEvent(message.data() + kEventPipeWriterBytes, message.data() + message.size());
  return text ? static_cast<uint32_t>((text->size() + 1) * sizeof(char16_t)) : 0;
}

struct KindFigures {
  std::vector<double> floorUs, relayUs, noWriteUs, translateUs, pipeWriteUs, relayRatio, noWriteRatio;
};

void PrintTable(const Options& o, ViewerKind viewer, const KindFigures (&figures)[2]) {
  std::printf("\nrelay_bench, viewer %s: medians of %d repetitions; counts %lld small, %lld array64k per run after "
              "%lld warm-up\n",
              ViewerKindName(viewer), o.reps, static_cast<long long>(o.count), static_cast<long long>(o.arrayCount),
              static_cast<long long>(o.warmup));
  for (const RecordKind kind : kRecordKinds) {
    std::printf("%-9s: %zu bytes posted, %u bytes written to the viewer\n", RecordKindName(kind),
                BenchMessage(kind).size(), TextBytes(kind));
  }
  std::printf("%-9s | %10s %9s | %10s %9s %7s | %10s %9s %7s | %10s %10s\n", "record", "floor us", "floor/s", "relay us",
              "relay/s", "ratio", "nowrite us", "nowrite/s", "ratio", "xlate us", "pipe wr us");
  for (const RecordKind kind : kRecordKinds) {
    const KindFigures& f = figures[static_cast<int>(kind)];
    const double floorUs = Median(f.floorUs), relayUs = Median(f.relayUs), noWriteUs = Median(f.noWriteUs);
    std::printf("%-9s | %10.1f %9.0f | %10.1f %9.0f %6.2fx | %10.1f %9.0f %6.2fx | %10.1f %10.1f\n", RecordKindName(kind),
                floorUs, 1e6 / floorUs, relayUs, 1e6 / relayUs, Median(f.relayRatio), noWriteUs, 1e6 / noWriteUs,
                Median(f.noWriteRatio), Median(f.translateUs), Median(f.pipeWriteUs));
  }
  std::printf(
      "floor: the same exchange answered at once by a bare server; relay: translated, written to the viewer, acked;\n"
      "nowrite: the relay with the viewer connected but at status 2 (no translation, no write); ratio: against the\n"
      "floor of the same repetition; xlate: the translation alone in this process; pipe wr: one write of the\n"
      "translated text's size to a pipe shaped like the viewer's, drained by a thread that does nothing else.\n"
      "quorvel-trace has no status switch: its nowrite columns stay empty.\n");
}

// The relay's round trip with quorvel-trace as the viewer against the stand-in, per record.
void PrintComparison(const KindFigures (&standIn)[2], const KindFigures (&capture)[2]) {
  std::printf("\nrelay round trip, quorvel-trace against sightline as the viewer (each against its own floor):\n");
  for (const RecordKind kind : kRecordKinds) {
    const KindFigures& a = standIn[static_cast<int>(kind)];
    const KindFigures& b = capture[static_cast<int>(kind)];
    std::printf("%-9s: sightline %8.1f us (%.2fx floor), quorvel-trace %8.1f us (%.2fx floor): %.2fx\n",
                RecordKindName(kind), Median(a.relayUs), Median(a.relayRatio), Median(b.relayUs),
                Median(b.relayRatio), Median(b.relayRatio) / Median(a.relayRatio));
  }
}

// One whole measurement with the given viewer; false when an exchange was not answered,
// the viewer missed a message or the relay did not stop.
bool RunPhase(const Options& o, ViewerKind viewerKind, KindFigures (&figures)[2]) {
  BenchViewer viewer(viewerKind, kBenchArrayLimit);
  StartTraceEvents(GetModuleHandleA(nullptr));
  if (!Eventually(TracingOn, kSwitchOnMs) || !viewer.Connected(kSwitchOnMs)) {
    std::fprintf(stderr, "relay_bench: the relay did not connect to %s\n", ViewerKindName(viewerKind));
    StopTraceEvents();
    return false;
  }

  bool allAcked = true;
  int64_t written = 0;  // exchanges the viewer must have received
  int status = 1;
  auto setStatus = [&](int wanted) {
    if (status != wanted && !viewer.SetStatus(wanted)) {
      std::fprintf(stderr, "relay_bench: the viewer did not take status %d\n", wanted);
      allAcked = false;
    }
    status = wanted;
  };
  for (int rep = 0; rep < o.reps; ++rep) {
    for (const RecordKind kind : kRecordKinds) {
      const int64_t count = kind == RecordKind::Small ? o.count : o.arrayCount;
      // Alternate the order so that no set-up always runs first or last.
      std::vector<Setup> order = rep % 2 == 0 ? std::vector{Setup::Floor, Setup::Relay, Setup::RelayNoWrite}
                                              : std::vector{Setup::RelayNoWrite, Setup::Relay, Setup::Floor};
      if (!viewer.HasStatusCommand()) std::erase(order, Setup::RelayNoWrite);
      Run runs[3];
      for (const Setup setup : order) {
        if (setup != Setup::Floor) setStatus(setup == Setup::Relay ? 1 : 2);
        const std::string pipe = setup == Setup::Floor ? std::string(kFloorPipeName) : std::string(kTraceEventPipeName);
        Run run = RunClientProcess(pipe, kind, o.warmup, count);
        allAcked = allAcked && run.allAcked;
        if (setup == Setup::Relay) written += run.exchanges;
        runs[static_cast<int>(setup)] = run;
      }
      KindFigures& f = figures[static_cast<int>(kind)];
      const double floorUs = runs[0].usPerTrip, relayUs = runs[1].usPerTrip, noWriteUs = runs[2].usPerTrip;
      f.floorUs.push_back(floorUs);
      f.relayUs.push_back(relayUs);
      f.noWriteUs.push_back(noWriteUs);
      f.relayRatio.push_back(relayUs / floorUs);
      f.noWriteRatio.push_back(noWriteUs / floorUs);
      f.translateUs.push_back(TranslateUs(kind, count));
      f.pipeWriteUs.push_back(PipeWriteUs(TextBytes(kind), count));
      std::printf("%s rep %d %-9s floor %8.1f us  relay %8.1f us (%.2fx)  nowrite %8.1f us (%.2fx)\n",
                  ViewerKindName(viewerKind), rep + 1, RecordKindName(kind), floorUs, relayUs, relayUs / floorUs,
                  noWriteUs, noWriteUs / floorUs);
      std::fflush(stdout);
    }
  }
  setStatus(1);

  // Every message written must have arrived, and none of the status-2 ones.
  const int64_t received = viewer.Finish(written, kSwitchOnMs);
  const bool viewerComplete = received == written;
  const bool stopped = StopTraceEvents();
  PrintTable(o, viewerKind, figures);
  std::printf("every exchange acked: %s; %s received %lld of %lld written messages; relay stopped: %s\n",
              allAcked ? "yes" : "NO", ViewerKindName(viewerKind), static_cast<long long>(received),
              static_cast<long long>(written), stopped ? "yes" : "NO");
  return allAcked && viewerComplete && stopped;
}

int RunBenchmark(const Options& o) {
  bed::ServiceStandIn service;
  FloorServer floor(kFloorPipeName);
  if (!floor.Ok()) {
    std::fprintf(stderr, "relay_bench: cannot create the floor pipe (error %lu)\n", GetLastError());
    return 1;
  }
  bool ok = true;
  KindFigures figures[2][2];
  for (size_t i = 0; i < o.viewers.size(); ++i) ok = RunPhase(o, o.viewers[i], figures[i]) && ok;
  if (o.viewers.size() == 2) PrintComparison(figures[0], figures[1]);
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: relay_bench [--count N] [--array-count N] [--warmup N] [--reps N]\n"
                 "                   [--viewer sightline|quorvel-trace|both]\n"
                 "       relay_bench --client --pipe NAME --kind small|array64k --count N --warmup N\n");
    return 2;
  }
  if (options.client) return RunClient(options.pipe, options.kind, options.warmup, options.count);
  try {
    return RunBenchmark(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "relay_bench: %s\n", e.what());
    return 1;
  }
}
