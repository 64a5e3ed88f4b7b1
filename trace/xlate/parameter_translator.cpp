#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "trace/xlate/event_translator.h"
#include "trace/xlate/number_format.h"
#include "trace/xlate/text_value.h"
#include "trace/xlate/trace_record_layout.h"

namespace quorvel::xlate {
namespace {

// One parameter entry as laid out in the message.
struct Entry {
  const std::uint8_t* bytes = nullptr;
  bool hasArray = false;
  bool cut = false;  // its array block runs past the end: counted, not written
  std::uint16_t elementSize = 0;
  std::uint32_t dataLength = 0;
  const std::uint8_t* data = nullptr;
};

// Reads the entry at cursor and moves cursor behind it. False when fewer than a whole
// entry's bytes remain, which ends the list.
bool NextEntry(const std::uint8_t*& cursor, const std::uint8_t* end, bool isEnter, Entry& entry) noexcept {
  if (end - cursor < static_cast<std::ptrdiff_t>(param::kSize)) return false;
  entry = Entry{};
  entry.bytes = cursor;
  entry.hasArray = HasArrayBlock(cursor[param::kFlags], isEnter);
  cursor += param::kSize;
  if (!entry.hasArray) return true;
  const auto left = static_cast<std::size_t>(end - cursor);
  if (left < array::kHeaderSize) {
    entry.cut = true;
    return true;
  }
  entry.elementSize = ReadLe<std::uint16_t>(cursor + array::kElementSize);
  entry.dataLength = ReadLe<std::uint32_t>(cursor + array::kDataLength);
  if (entry.dataLength > left - array::kHeaderSize) {
    entry.cut = true;
    return true;
  }
  entry.data = cursor + array::kHeaderSize;
  cursor = entry.data + entry.dataLength;
  return true;
}

struct HexPair {
  char16_t digits[2];
};

constexpr auto MakeHexPairs() {
  struct Table {
    HexPair pairs[256];
  } table{};
  for (unsigned b = 0; b < 256; ++b) {
    table.pairs[b].digits[0] = static_cast<char16_t>("0123456789abcdef"[b >> 4]);
    table.pairs[b].digits[1] = static_cast<char16_t>("0123456789abcdef"[b & 0xF]);
  }
  return table;
}

constexpr auto kHexPairs = MakeHexPairs();

#if defined(__SSE2__)
// Sixteen bytes at a time: split into nibbles, interleave high and low, map 0-9 and a-f
// to their characters and widen to UTF-16. Byte arrays of hundreds of kilobytes are the
// largest messages there are, and this keeps them close to the speed of a copy.
std::size_t WriteHexBlocks(char16_t* p, const std::uint8_t* data, std::size_t count) noexcept {
  const __m128i lowNibble = _mm_set1_epi8(0x0F);
  const __m128i nine = _mm_set1_epi8(9);
  const __m128i zeroChar = _mm_set1_epi8('0');
  const __m128i letterGap = _mm_set1_epi8('a' - '0' - 10);
  const __m128i zero = _mm_setzero_si128();
  auto toChars = [&](__m128i nibbles) {
    return _mm_add_epi8(_mm_add_epi8(nibbles, zeroChar), _mm_and_si128(_mm_cmpgt_epi8(nibbles, nine), letterGap));
  };
  std::size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    const __m128i in = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i high = _mm_and_si128(_mm_srli_epi16(in, 4), lowNibble);
    const __m128i low = _mm_and_si128(in, lowNibble);
    const __m128i first = toChars(_mm_unpacklo_epi8(high, low));   // digits of bytes 0-7
    const __m128i second = toChars(_mm_unpackhi_epi8(high, low));  // digits of bytes 8-15
    auto* out = reinterpret_cast<__m128i*>(p + 2 * i);
    _mm_storeu_si128(out + 0, _mm_unpacklo_epi8(first, zero));
    _mm_storeu_si128(out + 1, _mm_unpackhi_epi8(first, zero));
    _mm_storeu_si128(out + 2, _mm_unpacklo_epi8(second, zero));
    _mm_storeu_si128(out + 3, _mm_unpackhi_epi8(second, zero));
  }
  return i;
}
#else
std::size_t WriteHexBlocks(char16_t*, const std::uint8_t*, std::size_t) noexcept { return 0; }
#endif

// The first byte of each element as two lowercase hexadecimal digits.
char16_t* WriteHexRun(char16_t* p, const std::uint8_t* data, std::size_t count, std::size_t stride) noexcept {
  if (stride == 1) {
    const std::size_t done = WriteHexBlocks(p, data, count);
    for (std::size_t i = done; i < count; ++i) std::memcpy(p + 2 * i, &kHexPairs.pairs[data[i]], sizeof(HexPair));
  } else {
    for (std::size_t i = 0; i < count; ++i) std::memcpy(p + 2 * i, &kHexPairs.pairs[data[i * stride]], sizeof(HexPair));
  }
  return p + 2 * count;
}

// The longest a value of each kind gets as text.
constexpr std::size_t MaxValueChars(ValueKind kind) noexcept {
  switch (kind) {
    case ValueKind::kUint8: return 3;
    case ValueKind::kInt8: return 4;
    case ValueKind::kUint16: return 5;
    case ValueKind::kInt16: return 6;
    case ValueKind::kUint32: return 10;
    case ValueKind::kInt32: return 11;
    case ValueKind::kFloat32:
    case ValueKind::kFloat64: return kMaxGeneralChars;
    case ValueKind::kPointer: return 2 + kMaxHexChars;
    case ValueKind::kNone:
    case ValueKind::kOddSize: return 9;  // UNDEFINED
  }
  return 0;
}

// A value of the given kind read from p; pointer, none and odd-size are UNDEFINED.
char16_t* WriteValue(char16_t* p, ValueKind kind, const std::uint8_t* v) noexcept {
  switch (kind) {
    case ValueKind::kUint8: return WriteUnsigned(p, v[0]);
    case ValueKind::kInt8: return WriteSigned(p, static_cast<std::int8_t>(v[0]));
    case ValueKind::kUint16: return WriteUnsigned(p, ReadLe<std::uint16_t>(v));
    case ValueKind::kInt16: return WriteSigned(p, ReadLe<std::int16_t>(v));
    case ValueKind::kUint32: return WriteUnsigned(p, ReadLe<std::uint32_t>(v));
    case ValueKind::kInt32: return WriteSigned(p, ReadLe<std::int32_t>(v));
    case ValueKind::kFloat32: {
      float f;
      const std::uint32_t bits = ReadLe<std::uint32_t>(v);
      std::memcpy(&f, &bits, sizeof f);
      return WriteGeneral(p, static_cast<double>(f));
    }
    case ValueKind::kFloat64: {
      double d;
      const std::uint64_t bits = ReadLe<std::uint64_t>(v);
      std::memcpy(&d, &bits, sizeof d);
      return WriteGeneral(p, d);
    }
    case ValueKind::kPointer:
    case ValueKind::kNone:
    case ValueKind::kOddSize: break;
  }
  return PutAscii(p, "UNDEFINED");
}

// Common opening of every parameter: name (not escaped) and direction flags.
char16_t* WriteParamOpening(char16_t* p, const std::uint8_t* entry, const TextValue& name,
                            const NarrowCodePage& codePage) noexcept {
  const std::uint8_t f = entry[param::kFlags];
  p = PutAscii(p, "<Parameter Name=\"");
  if (!(p = WriteTextValue(p, name, codePage))) return nullptr;
  p = (f & kParamRetVal) ? PutAscii(p, " RetVal=\"True\"") : PutAscii(p, " RetVal=\"False\"");
  p = (f & kParamIn) ? PutAscii(p, " InParam=\"True\"") : PutAscii(p, " InParam=\"False\"");
  return (f & (kParamOut | kParamRetVal)) ? PutAscii(p, " OutParam=\"True\"") : PutAscii(p, " OutParam=\"False\"");
}

constexpr std::size_t kOpeningChars = 96;  // pieces of the opening, the name aside

// One entry's text; false when its name failed to convert (the entry is then left out).
bool WriteEntry(const Entry& e, const NarrowCodePage& codePage, Utf16Buffer& out) {
  const TextValue name{{TextField(e.bytes + param::kName, param::kNameSize)}, 1, false};
  if (!e.hasArray) {
    char16_t* p = out.Reserve(kOpeningChars + name.MaxUnits() + 64 + kMaxTypeNameChars + 2 + kMaxHexChars);
    if (!(p = WriteParamOpening(p, e.bytes, name, codePage))) return false;
    p = PutAscii(p, " ParamType=\"");
    const ValueKind kind = WriteParamType(e.bytes, e.bytes[param::kValueSize], p);
    p = PutAscii(p, "\"><Element Value=\"");
    if (kind == ValueKind::kPointer) {
      p = PutAscii(p, "0x");
      p = WriteHex(p, ReadLe<std::uint32_t>(e.bytes + param::kPointer));
    } else {
      p = WriteValue(p, kind, e.bytes + param::kValue);
    }
    out.Commit(PutAscii(p, "\"/></Parameter>"));
    return true;
  }

  char16_t* p = out.Reserve(kOpeningChars + name.MaxUnits() + 32 + kMaxTypeNameChars);
  if (!(p = WriteParamOpening(p, e.bytes, name, codePage))) return false;
  p = PutAscii(p, " ParamType=\"array_");
  ValueKind kind = WriteParamType(e.bytes, e.elementSize, p);
  out.Commit(PutAscii(p, "\">"));

  std::size_t stride = e.elementSize;
  if (kind == ValueKind::kOddSize) {
    stride = 1;
    kind = ValueKind::kUint8;
  }
  const std::size_t count = stride == 0 ? 0 : e.dataLength / stride;
  if (kind == ValueKind::kUint8 || kind == ValueKind::kInt8) {
    p = PutAscii(out.Reserve(2 * count + 64), "<Element BinHexValue=\"");
    p = WriteHexRun(p, e.data, count, stride);
    out.Commit(PutAscii(p, "\"/></Parameter>"));
    return true;
  }
  // One element per array element; pointer and none elements have no value to show.
  constexpr std::size_t kElementPieces = sizeof("<Element Value=\"\"/>") - 1;
  p = out.Reserve(count * (kElementPieces + MaxValueChars(kind)) + 16);
  for (std::size_t i = 0; i < count; ++i) {
    p = PutAscii(p, "<Element Value=\"");
    p = WriteValue(p, kind, e.data + i * stride);
    p = PutAscii(p, "\"/>");
  }
  out.Commit(PutAscii(p, "</Parameter>"));
  return true;
}

}  // namespace

bool HasArrayBlock(std::uint8_t flags, bool isEnter) noexcept {
  if (!(flags & kParamArray)) return false;
  const bool pointer = flags & kParamPointer;
  const bool in = flags & kParamIn;
  const bool out = flags & (kParamOut | kParamRetVal);
  if (pointer && out && !in && isEnter) return false;  // the call has not filled it yet
  if (pointer && in && !out && !isEnter) return false;  // it was shown on enter
  return true;
}

ValueKind WriteParamType(const std::uint8_t* entry, std::size_t size, char16_t*& p) noexcept {
  const std::uint8_t f = entry[param::kFlags];
  if (f & kParamPointer) {
    const bool toggle = f & kParamPointerToggle;
    const bool byAddress = (!(f & kParamIn) && toggle) || !(f & (kParamOut | kParamRetVal | kParamPointerToggle));
    if (byAddress || ReadLe<std::uint32_t>(entry + param::kPointer) == 0) {
      p = PutAscii(p, "pointer32");
      return ValueKind::kPointer;
    }
  }
  const bool odd = size != 1 && size != 2 && size != 4 && size != 8;
  ValueKind kind = ValueKind::kNone;
  if (!(f & kParamSigned)) {
    switch (size) {
      case 2: p = PutAscii(p, "uint16"); kind = ValueKind::kUint16; break;
      case 4: p = PutAscii(p, "uint32"); kind = ValueKind::kUint32; break;
      default: p = PutAscii(p, "uint8"); kind = ValueKind::kUint8; break;  // 1, 8 and odd sizes
    }
  } else if (!(f & kParamFloat)) {
    switch (size) {
      case 1: p = PutAscii(p, "int8"); kind = ValueKind::kInt8; break;
      case 2: p = PutAscii(p, "int16"); kind = ValueKind::kInt16; break;
      case 4: p = PutAscii(p, "int32"); kind = ValueKind::kInt32; break;
      default: break;
    }
  } else {
    switch (size) {
      case 4: p = PutAscii(p, "float32"); kind = ValueKind::kFloat32; break;
      case 8: p = PutAscii(p, "float64"); kind = ValueKind::kFloat64; break;
      default: break;
    }
  }
  return odd ? ValueKind::kOddSize : kind;
}

std::uint32_t CountParameters(const std::uint8_t* first, const std::uint8_t* end, bool isEnter) noexcept {
  std::uint32_t count = 0;
  Entry entry;
  while (NextEntry(first, end, isEnter, entry)) {
    ++count;
    if (entry.cut) break;
  }
  return count;
}

std::uint32_t TranslateParameters(const std::uint8_t* first, const std::uint8_t* end, bool isEnter,
                                  const NarrowCodePage& codePage, Utf16Buffer& out) {
  std::uint32_t count = 0;
  const std::uint8_t* cursor = first;
  Entry entry;
  while (NextEntry(cursor, end, isEnter, entry)) {
    if (count++ == 0) out.Commit(PutAscii(out.Reserve(16), "<Parameters>"));
    if (entry.cut) break;
    const std::size_t entryStart = out.Size();
    if (!WriteEntry(entry, codePage, out)) out.Truncate(entryStart);
  }
  if (count > 0) out.Commit(PutAscii(out.Reserve(16), "</Parameters>"));
  return count;
}

}  // namespace quorvel::xlate
