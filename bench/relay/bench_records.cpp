#include "bench/relay/bench_records.h"

#include <algorithm>

#include "standins/instrument-sim/call_mix.h"

const char* RecordKindName(RecordKind kind) { return kind == RecordKind::Small ? "small" : "array64k"; }

bool ParseRecordKind(const std::string& text, RecordKind& kind) {
  if (text == "small") kind = RecordKind::Small;
  else if (text == "array64k") kind = RecordKind::Array64k;
  else return false;
  return true;
}

std::vector<uint8_t> BenchMessage(RecordKind kind) {
  using instrument_sim::Mix;
  instrument_sim::CallGenerator generator(kind == RecordKind::Small ? Mix::Small : Mix::Array64k, 7);
  instrument_sim::CallContext context{.processId = 4242, .threadId = 17, .appName = "bench.exe",
                                      .maxArrayBytes = kBenchArrayLimit};
  const int64_t enter = 1'700'000'000'000'000'000;
  instrument_sim::TracedCall call = generator.Next(context, enter, enter + 125'000);
  // A read carries its array on the way out, so the exit record is the one with the block.
  std::vector<uint8_t> trace = kind == RecordKind::Small ? std::move(call.enter) : std::move(call.exit);
  std::vector<uint8_t> message(kEventPipeWriterBytes + trace.size(), 0);
  std::copy(trace.begin(), trace.end(), message.begin() + kEventPipeWriterBytes);
  return message;
}
