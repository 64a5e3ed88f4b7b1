// The trace event translator: one trace message (header, method-enter or method-exit
// record, parameter entries) in, one UTF-16 XML text for the trace viewer out.
//
//   EventTranslator translator;                    // Windows-1252 narrow text
//   auto text = translator.TranslateEvent(begin, end);
//   if (text) Write(text->data(), (text->size() + 1) * 2);  // a NUL follows the view
//
// The translator only reads [begin, end), never throws, and writes into a buffer that
// it owns and reuses, so that once the buffer has grown a message costs no allocation.
// The view stays valid until the next call. Record layouts: trace_record_layout.h.
// On Windows, event_translator_win32.h turns the result into a BSTR and decodes narrow
// text with the ANSI code page.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "trace/xlate/narrow_code_page.h"
#include "trace/xlate/utf16_buffer.h"

namespace quorvel::xlate {

class EventTranslator {
 public:
  explicit EventTranslator(const NarrowCodePage& codePage = Windows1252CodePage()) noexcept
      : m_codePage(&codePage) {}

  // std::nullopt when the message yields no output (76 bytes or fewer, a record kind
  // other than method enter and exit, a record cut short). Otherwise the text, which is
  // empty only when narrow text could not be converted.
  std::optional<std::u16string_view> TranslateEvent(const std::uint8_t* begin,
                                                    const std::uint8_t* end) noexcept;

  // The reused output buffer (its capacity shows how far it has grown).
  const Utf16Buffer& Buffer() const noexcept { return m_out; }

 private:
  const NarrowCodePage* m_codePage;
  Utf16Buffer m_out;
};

// The Source attribute for a source key: "VISA", "TRIL" and "TRIL_B" name the library
// layers; anything else is a single blank.
std::string_view SourceValueFor(std::string_view sourceKey) noexcept;

// The building blocks of TranslateEvent. Each appends to out and may throw
// std::bad_alloc. The two record translators write the whole message; they write
// nothing and return false only for a record cut short.
bool TranslateMethodEnter(const std::uint8_t* record, const std::uint8_t* end,
                          std::string_view sourceKey, std::string_view sourceValue,
                          const NarrowCodePage& codePage, Utf16Buffer& out);
bool TranslateMethodExit(const std::uint8_t* record, const std::uint8_t* end,
                         std::string_view sourceKey, std::string_view sourceValue,
                         const NarrowCodePage& codePage, Utf16Buffer& out);

// The parameter entries from first to end: appends the <Parameters> section (nothing
// when there is no entry) and returns the number of entries read, a cut array block
// included. isEnter tells method-enter from method-exit records.
std::uint32_t TranslateParameters(const std::uint8_t* first, const std::uint8_t* end, bool isEnter,
                                  const NarrowCodePage& codePage, Utf16Buffer& out);
// The count alone, without writing.
std::uint32_t CountParameters(const std::uint8_t* first, const std::uint8_t* end, bool isEnter) noexcept;

enum class ValueKind { kUint8, kUint16, kUint32, kInt8, kInt16, kInt32, kFloat32, kFloat64, kPointer, kNone, kOddSize };

// Writes the type name of a parameter entry for a value (or element) of size bytes at p,
// which has room for kMaxTypeNameChars, and returns the value kind.
inline constexpr std::size_t kMaxTypeNameChars = 9;
ValueKind WriteParamType(const std::uint8_t* entry, std::size_t size, char16_t*& p) noexcept;

// Whether an array block follows the entry (an array the call has not filled yet on
// enter, or has already shown on enter, is written as a single value instead).
bool HasArrayBlock(std::uint8_t flags, bool isEnter) noexcept;

// XML attribute escaping of &, <, > and the double quote, in place.
void EscapeAttributeValue(std::string& text);

}  // namespace quorvel::xlate
