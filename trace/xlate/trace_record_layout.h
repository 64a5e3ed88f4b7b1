// Byte layout of a trace message as the instrument libraries post it and the relay hands
// it to the translator (the event-pipe message without its first 4 bytes):
//
//   TraceMessageHeader (76)  |  event record (enter 237 / exit 178)  |  parameter entries...
//
// Every structure is byte-packed and little-endian; 32- and 64-bit fields sit at
// unaligned offsets, so they are only ever read and written byte-wise (ReadLe/WriteLe).
// Text fields are narrow strings in the ANSI code page, ended by a NUL inside the
// field; a field without a NUL is taken to its full width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace quorvel::xlate {

namespace header {
inline constexpr std::size_t kSize = 76;
inline constexpr std::size_t kSourceKey = 12;  // text, 64 bytes
inline constexpr std::size_t kSourceKeySize = 64;
}  // namespace header

// The 12-byte prefix that opens every event record and parameter entry; its third
// 32-bit word is the record kind.
inline constexpr std::size_t kRecordKind = 8;
inline constexpr std::uint32_t kKindMethodEnter = 2;
inline constexpr std::uint32_t kKindMethodExit = 3;

namespace enter {
inline constexpr std::size_t kSize = 237;
inline constexpr std::size_t kProcessId = 12;    // uint32
inline constexpr std::size_t kThreadId = 16;     // uint32
inline constexpr std::size_t kAppName = 36;      // text, 65 bytes
inline constexpr std::size_t kAppNameSize = 65;
inline constexpr std::size_t kMethodName = 101;  // text, 64 bytes
inline constexpr std::size_t kMethodNameSize = 64;
inline constexpr std::size_t kAddress = 165;     // text, 64 bytes
inline constexpr std::size_t kAddressSize = 64;
inline constexpr std::size_t kTimestamp = 229;   // int64, trace clock (ns since 1970)
}  // namespace enter

namespace exit {
inline constexpr std::size_t kSize = 178;
inline constexpr std::size_t kProcessId = 12;  // uint32
inline constexpr std::size_t kThreadId = 16;   // uint32
inline constexpr std::size_t kElapsedNs = 28;  // int64
inline constexpr std::size_t kStatus = 38;     // int32, HRESULT form, negative = failure
inline constexpr std::size_t kAddress = 106;   // text, 64 bytes
inline constexpr std::size_t kAddressSize = 64;
inline constexpr std::size_t kTimestamp = 170;  // int64
}  // namespace exit

namespace param {
inline constexpr std::size_t kSize = 155;
inline constexpr std::size_t kValueSize = 12;  // uint8
inline constexpr std::size_t kName = 14;       // text, 128 bytes
inline constexpr std::size_t kNameSize = 128;
inline constexpr std::size_t kFlags = 142;     // uint8, kParam... below
inline constexpr std::size_t kPointer = 143;   // uint32, address passed for a pointer
inline constexpr std::size_t kValue = 147;     // 8 bytes, value in its first 1/2/4/8
inline constexpr std::size_t kValueFieldSize = 8;
}  // namespace param

// Directly after a parameter entry whose array block is present, followed by the data.
namespace array {
inline constexpr std::size_t kHeaderSize = 19;
inline constexpr std::size_t kElementSize = 13;  // uint16
inline constexpr std::size_t kDataLength = 15;   // uint32
}  // namespace array

// Flag byte of a parameter entry.
inline constexpr std::uint8_t kParamSigned = 0x01;
inline constexpr std::uint8_t kParamPointer = 0x02;
inline constexpr std::uint8_t kParamArray = 0x04;
inline constexpr std::uint8_t kParamFloat = 0x08;  // counts only together with kParamSigned
inline constexpr std::uint8_t kParamPointerToggle = 0x10;
inline constexpr std::uint8_t kParamIn = 0x20;
inline constexpr std::uint8_t kParamOut = 0x40;
inline constexpr std::uint8_t kParamRetVal = 0x80;  // also makes the parameter an Out one

// Little-endian access at any offset, independent of host order and alignment.
template <typename T>
inline T ReadLe(const std::uint8_t* p) noexcept {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  U value = 0;
  for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<U>(static_cast<U>(p[i]) << (8 * i));
  return static_cast<T>(value);
}

template <typename T>
inline void WriteLe(std::uint8_t* p, T value) noexcept {
  static_assert(std::is_integral_v<T>);
  using U = std::make_unsigned_t<T>;
  const U bits = static_cast<U>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) p[i] = static_cast<std::uint8_t>(bits >> (8 * i));
}

// Length of a text field: up to its NUL, or its full width when it holds none.
inline std::size_t FieldLength(const std::uint8_t* field, std::size_t width) noexcept {
  const void* nul = std::memchr(field, 0, width);
  return nul ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) - field) : width;
}

}  // namespace quorvel::xlate
