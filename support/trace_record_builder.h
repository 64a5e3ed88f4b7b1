// Builds trace messages byte for byte in the layout of trace_record_layout.h: what an
// instrument library posts (less the 4 leading bytes of the event-pipe message). Used by
// the instrument-library stand-in, the tests, the benchmark and the fuzz seeds.
//
//   std::vector<uint8_t> msg = TraceMessageBuilder("VISA")
//       .Enter({.processId = 988, .threadId = 412, .appName = "demo.exe",
//               .methodName = "viWrite", .address = "GPIB0::7::INSTR", .timestamp = 512})
//       .Param({.name = "buf", .flags = kParamIn | kParamArray, .valueSize = 1})
//       .ArrayBlock(1, bytes)
//       .Take();
//
// Text fields are copied bounded and NUL-padded; a text as long as its field (or longer)
// fills the field with no NUL, as a careless writer would.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "trace/xlate/trace_record_layout.h"

namespace quorvel::xlate {

struct MethodEnterFields {
  std::uint32_t processId = 0;
  std::uint32_t threadId = 0;
  std::string_view appName;
  std::string_view methodName;
  std::string_view address;
  std::int64_t timestamp = 0;
};

struct MethodExitFields {
  std::uint32_t processId = 0;
  std::uint32_t threadId = 0;
  std::int64_t elapsedNs = 0;
  std::int32_t status = 0;
  std::string_view address;
  std::int64_t timestamp = 0;
};

struct ParamFields {
  std::string_view name;
  std::uint8_t flags = 0;
  std::uint8_t valueSize = 0;
  std::uint32_t pointer = 0;
  std::uint64_t value = 0;  // stored little-endian in the 8-byte value field
};

class TraceMessageBuilder {
 public:
  explicit TraceMessageBuilder(std::string_view sourceKey);

  TraceMessageBuilder& Enter(const MethodEnterFields& fields);
  TraceMessageBuilder& Exit(const MethodExitFields& fields);
  // A bare 12-byte record prefix of any kind followed by zeros up to size bytes.
  TraceMessageBuilder& Record(std::uint32_t kind, std::size_t size);
  TraceMessageBuilder& Param(const ParamFields& fields);
  // Array block header and data; the data length field is data.size().
  TraceMessageBuilder& ArrayBlock(std::uint16_t elementSize, std::span<const std::uint8_t> data);
  // Array block header claiming dataLength bytes, followed by exactly the bytes given
  // (for blocks cut short by the end of the message).
  TraceMessageBuilder& ArrayBlockClaiming(std::uint16_t elementSize, std::uint32_t dataLength,
                                          std::span<const std::uint8_t> data);
  TraceMessageBuilder& Raw(std::span<const std::uint8_t> bytes);
  // Drops the last n bytes.
  TraceMessageBuilder& Cut(std::size_t n);

  const std::vector<std::uint8_t>& Bytes() const { return m_bytes; }
  std::vector<std::uint8_t> Take() { return std::move(m_bytes); }

 private:
  std::uint8_t* Grow(std::size_t n);

  std::vector<std::uint8_t> m_bytes;
};

// Copies text into a field of width bytes: bounded, the rest zero.
void WriteTextField(std::uint8_t* field, std::size_t width, std::string_view text) noexcept;

}  // namespace quorvel::xlate
