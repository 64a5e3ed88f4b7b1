#include "tools/quorvel-trace/json_text.h"

#include "tools/quorvel-trace/trace_message.h"

namespace qtrace {
namespace {

// Length of the valid UTF-8 sequence at the start of |s|, 0 when it is not one.
size_t Utf8Length(std::string_view s) {
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

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  while (!text.empty()) {
    const auto c = static_cast<unsigned char>(text[0]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      out += "\\u00";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (const size_t n = Utf8Length(text); n == 0) {
      out += "\\ufffd";
    } else {
      out.append(text.substr(0, n));
      text.remove_prefix(n);
      continue;
    }
    text.remove_prefix(1);
  }
  out += '"';
}

void AppendJsonText(std::string& out, std::string_view text) {
  if (text.find('&') == std::string_view::npos) return AppendJsonString(out, text);
  AppendJsonString(out, Unescape(text));
}

}  // namespace qtrace
