#include "tools/quorvel-trace/report_html.h"

namespace qtrace {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the well-formed UTF-8 sequence at the start of |s| (of at least two
// bytes), 0 when there is none: no overlong forms, no surrogates, nothing past U+10FFFF.
size_t Utf8Sequence(std::string_view s) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = b(0);
  const size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  if (lead < 0xC2 || lead > 0xF4 || s.size() < length) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
  }
  if (lead == 0xE0 && b(1) < 0xA0) return 0;  // overlong
  if (lead == 0xED && b(1) >= 0xA0) return 0;  // surrogate
  if (lead == 0xF0 && b(1) < 0x90) return 0;  // overlong
  if (lead == 0xF4 && b(1) >= 0x90) return 0;  // past U+10FFFF
  return length;
}

}  // namespace

void AppendHtml(std::string& out, std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const size_t n = Utf8Sequence(text.substr(i));
      if (n == 0) {
        out += kReplacement;
        ++i;
      } else {
        out.append(text.substr(i, n));
        i += n;
      }
      continue;
    }
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += (c < 0x20 && c != '\t') || c == 0x7F ? kReplacement : std::string_view(&text[i], 1);
    }
    ++i;
  }
}

std::string Html(std::string_view text) {
  std::string out;
  AppendHtml(out, text);
  return out;
}

}  // namespace qtrace
