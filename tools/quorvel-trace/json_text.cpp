#include "tools/quorvel-trace/json_text.h"

#include "tools/quorvel-trace/trace_message.h"
#include "tools/quorvel-trace/utf8.h"

namespace qtrace {

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
