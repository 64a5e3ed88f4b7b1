#include "trace/xlate/text_value.h"

#include <cstring>
#include <string>

#include "trace/xlate/event_translator.h"

namespace quorvel::xlate {
namespace {

// Entity of an escaped character, or nullptr for a character written as it is.
inline std::string_view EntityFor(unsigned char c) noexcept {
  switch (c) {
    case '&': return "&amp;";
    case '<': return "&lt;";
    case '>': return "&gt;";
    case '"': return "&quot;";
    default: return {};
  }
}

inline bool NeedsEscape(unsigned char c) noexcept { return c == '&' || c == '<' || c == '>' || c == '"'; }

char16_t* DecodeWithTable(char16_t* p, std::string_view text, bool escape, const char16_t* table) noexcept {
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (escape && NeedsEscape(c)) {
      for (char e : EntityFor(c)) *p++ = static_cast<char16_t>(e);
    } else {
      *p++ = table[c];
    }
  }
  return p;
}

// Longest value a record holds: key, "::" and method name, escaped, and the quote.
constexpr std::size_t kMaxNarrowValue = 1024;

}  // namespace

char* EscapeNarrow(std::string_view text, char* out) noexcept {
  for (char ch : text) {
    const std::string_view entity = EntityFor(static_cast<unsigned char>(ch));
    if (entity.empty()) {
      *out++ = ch;
    } else {
      std::memcpy(out, entity.data(), entity.size());
      out += entity.size();
    }
  }
  return out;
}

void EscapeAttributeValue(std::string& text) {
  // One pass from the start; after an entity the walk continues behind it, so the "&"
  // it brought in is never escaped again.
  for (std::size_t i = 0; i < text.size();) {
    const std::string_view entity = EntityFor(static_cast<unsigned char>(text[i]));
    if (entity.empty()) {
      ++i;
    } else {
      text.replace(i, 1, entity);
      i += entity.size();
    }
  }
}

char16_t* WriteTextValue(char16_t* p, const TextValue& value, const NarrowCodePage& codePage) noexcept {
  if (codePage.table) {
    for (std::size_t i = 0; i < value.count; ++i) p = DecodeWithTable(p, value.parts[i], value.escape, codePage.table);
    *p++ = u'"';
    return p;
  }
  // A multi-byte code page sees the narrow text as the whole element would have shown
  // it: parts joined, escaped, and the closing quote after them.
  if (value.MaxUnits() > kMaxNarrowValue || codePage.convert == nullptr) return nullptr;
  char narrow[kMaxNarrowValue];
  char* q = narrow;
  for (std::size_t i = 0; i < value.count; ++i) {
    if (value.escape) {
      q = EscapeNarrow(value.parts[i], q);
    } else {
      std::memcpy(q, value.parts[i].data(), value.parts[i].size());
      q += value.parts[i].size();
    }
  }
  *q++ = '"';
  const std::ptrdiff_t units = codePage.convert(narrow, static_cast<std::size_t>(q - narrow), p);
  return units < 0 ? nullptr : p + units;
}

}  // namespace quorvel::xlate
