// Writing the narrow text fields of a record into the UTF-16 output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "trace/xlate/narrow_code_page.h"
#include "trace/xlate/trace_record_layout.h"

namespace quorvel::xlate {

inline constexpr std::size_t kMaxEntityChars = 6;  // "&quot;"

// A text value made of up to three parts (the enter element's method name is the source
// key, "::" and the name), written escaped or raw, followed by the closing quote.
struct TextValue {
  std::string_view parts[3];
  std::size_t count = 0;
  bool escape = true;

  std::size_t Bytes() const noexcept {
    std::size_t n = 0;
    for (std::size_t i = 0; i < count; ++i) n += parts[i].size();
    return n;
  }
  // Units the value and its quote may take in the output.
  std::size_t MaxUnits() const noexcept { return Bytes() * (escape ? kMaxEntityChars : 1) + 1; }
};

// Writes the value and its closing quote at p (which has room for value.MaxUnits()) and
// returns the new end, or nullptr when the code page could not convert it.
char16_t* WriteTextValue(char16_t* p, const TextValue& value, const NarrowCodePage& codePage) noexcept;

// The narrow escaping: writes text with its entities at out (room for 6 per byte).
char* EscapeNarrow(std::string_view text, char* out) noexcept;

// A text field of a record: up to its NUL, or its full width.
inline std::string_view TextField(const std::uint8_t* field, std::size_t width) noexcept {
  return {reinterpret_cast<const char*>(field), FieldLength(field, width)};
}

}  // namespace quorvel::xlate
