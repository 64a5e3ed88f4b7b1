// UTF-8 as the capture's texts need it checked: they may hold any bytes, and every
// document quorvel-trace writes (JSON, HTML, SVG) replaces the bytes that are not UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qtrace {

// Length of the well-formed UTF-8 sequence at the start of |s| (not empty), 0 when there is
// none: no overlong forms, no surrogates, nothing past U+10FFFF.
inline size_t Utf8Length(std::string_view s) {
  const auto b0 = static_cast<unsigned char>(s[0]);
  size_t n = 0;
  uint32_t min = 0, cp = 0;
  if (b0 < 0x80) return 1;
  if ((b0 & 0xE0) == 0xC0) n = 2, min = 0x80, cp = b0 & 0x1F;
  else if ((b0 & 0xF0) == 0xE0) n = 3, min = 0x800, cp = b0 & 0x0F;
  else if ((b0 & 0xF8) == 0xF0) n = 4, min = 0x10000, cp = b0 & 0x07;
  else return 0;
  if (s.size() < n) return 0;
  for (size_t i = 1; i < n; ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if ((b & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

}  // namespace qtrace
