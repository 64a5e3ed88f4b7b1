#include "support/trace_record_builder.h"

#include <algorithm>
#include <cstring>

namespace quorvel::xlate {

void WriteTextField(std::uint8_t* field, std::size_t width, std::string_view text) noexcept {
  const std::size_t n = std::min(width, text.size());
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, width - n);
}

TraceMessageBuilder::TraceMessageBuilder(std::string_view sourceKey) {
  std::uint8_t* h = Grow(header::kSize);
  WriteTextField(h + header::kSourceKey, header::kSourceKeySize, sourceKey);
}

std::uint8_t* TraceMessageBuilder::Grow(std::size_t n) {
  const std::size_t at = m_bytes.size();
  m_bytes.resize(at + n, 0);
  return m_bytes.data() + at;
}

TraceMessageBuilder& TraceMessageBuilder::Record(std::uint32_t kind, std::size_t size) {
  std::uint8_t* r = Grow(std::max<std::size_t>(size, 12));
  WriteLe<std::uint32_t>(r + kRecordKind, kind);
  return *this;
}

TraceMessageBuilder& TraceMessageBuilder::Enter(const MethodEnterFields& f) {
  std::uint8_t* r = Grow(enter::kSize);
  WriteLe<std::uint32_t>(r + kRecordKind, kKindMethodEnter);
  WriteLe(r + enter::kProcessId, f.processId);
  WriteLe(r + enter::kThreadId, f.threadId);
  WriteTextField(r + enter::kAppName, enter::kAppNameSize, f.appName);
  WriteTextField(r + enter::kMethodName, enter::kMethodNameSize, f.methodName);
  WriteTextField(r + enter::kAddress, enter::kAddressSize, f.address);
  WriteLe(r + enter::kTimestamp, f.timestamp);
  return *this;
}

TraceMessageBuilder& TraceMessageBuilder::Exit(const MethodExitFields& f) {
  std::uint8_t* r = Grow(exit::kSize);
  WriteLe<std::uint32_t>(r + kRecordKind, kKindMethodExit);
  WriteLe(r + exit::kProcessId, f.processId);
  WriteLe(r + exit::kThreadId, f.threadId);
  WriteLe(r + exit::kElapsedNs, f.elapsedNs);
  WriteLe(r + exit::kStatus, f.status);
  WriteTextField(r + exit::kAddress, exit::kAddressSize, f.address);
  WriteLe(r + exit::kTimestamp, f.timestamp);
  return *this;
}

TraceMessageBuilder& TraceMessageBuilder::Param(const ParamFields& f) {
  std::uint8_t* e = Grow(param::kSize);
  e[param::kValueSize] = f.valueSize;
  WriteTextField(e + param::kName, param::kNameSize, f.name);
  e[param::kFlags] = f.flags;
  WriteLe(e + param::kPointer, f.pointer);
  WriteLe(e + param::kValue, f.value);
  return *this;
}

TraceMessageBuilder& TraceMessageBuilder::ArrayBlock(std::uint16_t elementSize,
                                                     std::span<const std::uint8_t> data) {
  return ArrayBlockClaiming(elementSize, static_cast<std::uint32_t>(data.size()), data);
}

TraceMessageBuilder& TraceMessageBuilder::ArrayBlockClaiming(std::uint16_t elementSize,
                                                             std::uint32_t dataLength,
                                                             std::span<const std::uint8_t> data) {
  std::uint8_t* h = Grow(array::kHeaderSize);
  WriteLe(h + array::kElementSize, elementSize);
  WriteLe(h + array::kDataLength, dataLength);
  return Raw(data);
}

TraceMessageBuilder& TraceMessageBuilder::Raw(std::span<const std::uint8_t> bytes) {
  if (!bytes.empty()) std::memcpy(Grow(bytes.size()), bytes.data(), bytes.size());
  return *this;
}

TraceMessageBuilder& TraceMessageBuilder::Cut(std::size_t n) {
  m_bytes.resize(m_bytes.size() - std::min(n, m_bytes.size()));
  return *this;
}

}  // namespace quorvel::xlate
