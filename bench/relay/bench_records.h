// The two records the benchmark posts, as an instrument library frames them on the event
// pipe (4 bytes of its own, then the trace message): a small scalar call, and a read
// that returns a 64 KiB byte array.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RecordKind { Small, Array64k };

inline constexpr RecordKind kRecordKinds[] = {RecordKind::Small, RecordKind::Array64k};
// The viewer's array limit for the run: large enough that the 64 KiB array goes whole.
inline constexpr uint32_t kBenchArrayLimit = 64 * 1024;
// Bytes the library puts in front of the trace message.
inline constexpr size_t kEventPipeWriterBytes = 4;

const char* RecordKindName(RecordKind kind);
bool ParseRecordKind(const std::string& text, RecordKind& kind);
// The framed event-pipe message of that kind; the same bytes on every call.
std::vector<uint8_t> BenchMessage(RecordKind kind);
