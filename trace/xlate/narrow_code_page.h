// How the narrow text fields of a trace record become UTF-16.
#pragma once

#include <cstddef>

namespace quorvel::xlate {

struct NarrowCodePage {
  // Single-byte code pages: the UTF-16 unit of each of the 256 byte values. Bytes are
  // decoded one at a time through this table when it is set.
  const char16_t* table = nullptr;
  // Code pages with multi-byte characters: converts n bytes into at most n units at out
  // and returns the number of units, or -1 when the conversion fails. The translator
  // hands it each text value together with the quote that closes it, so that a cut
  // multi-byte character meets the same next byte as in a conversion of the whole text.
  std::ptrdiff_t (*convert)(const char* text, std::size_t n, char16_t* out) = nullptr;
};

// Windows-1252 as Windows decodes it: the five unassigned bytes 0x81, 0x8D, 0x8F, 0x90
// and 0x9D become U+0081, U+008D, U+008F, U+0090 and U+009D. The narrow text of the
// native build, where there is no ANSI code page to ask.
const NarrowCodePage& Windows1252CodePage() noexcept;

}  // namespace quorvel::xlate
