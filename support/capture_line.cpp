#include "support/capture_line.h"

#include <windows.h>

namespace support {

void AppendCaptureLine(std::string& out, const char16_t* text, size_t length) {
  const size_t start = out.size();
  if (length > 0) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text);
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    out.resize(start + static_cast<size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), out.data() + start, n, nullptr, nullptr);
  }
  // In UTF-8 the bytes 13 and 10 stand only for themselves, so they can be replaced in place.
  for (size_t i = start; i < out.size(); ++i) {
    if (out[i] == '\r' || out[i] == '\n') {
      const char* entity = out[i] == '\r' ? "&#13;" : "&#10;";
      out.replace(i, 1, entity);
      i += 4;
    }
  }
  out += '\n';
}

}  // namespace support
