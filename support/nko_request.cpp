#include "support/nko_request.h"

#include <array>

namespace ombrix {
namespace {

struct Layout {
  RequestKind kind;
  std::string_view element;
  // Attribute names in wire order; "ProcId", "SecurityAttributes" and "lpName" go to
  // their own fields, every other one fills args[] in turn.
  std::array<std::string_view, 7> attributes;
};

constexpr Layout kLayouts[] = {
    {RequestKind::CreateEvent, "CreateEvent",
     {"ProcId", "SecurityAttributes", "bManualReset", "bInitialState", "lpName"}},
    {RequestKind::CreateMutex, "CreateMutex", {"ProcId", "SecurityAttributes", "bInitialOwner", "lpName"}},
    {RequestKind::CreateSemaphore, "CreateSemaphore",
     {"ProcId", "SecurityAttributes", "lInitialCount", "lMaximumCount", "lpName"}},
    {RequestKind::CreateFileMapping, "CreateFileMapping",
     {"ProcId", "hFile", "SecurityAttributes", "flProtect", "dwMaximumSizeHigh", "dwMaximumSizeLow", "lpName"}},
    {RequestKind::CloseHandle, "CloseHandle", {"ProcId", "Handle"}},
};

// A signed 32-bit decimal exactly as "%d" writes it: optional '-', at least one digit.
std::optional<int32_t> ParseInt32(std::string_view text) {
  size_t i = 0;
  bool negative = !text.empty() && text[0] == '-';
  if (negative) i = 1;
  if (i == text.size() || text.size() - i > 10) return std::nullopt;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool Consume(std::string_view& text, std::string_view expected) {
  if (text.substr(0, expected.size()) != expected) return false;
  text.remove_prefix(expected.size());
  return true;
}

}  // namespace

std::optional<std::string> XmlUnescape(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&quot;", '"'}, {"&amp;", '&'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}};
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char c = text.front();
    if (c == '<' || c == '"') return std::nullopt;
    if (c != '&') {
      out += c;
      text.remove_prefix(1);
      continue;
    }
    bool matched = false;
    for (const auto& [entity, replacement] : kEntities) {
      if (Consume(text, entity)) {
        out += replacement;
        matched = true;
        break;
      }
    }
    if (!matched) return std::nullopt;
  }
  return out;
}

std::optional<NkoRequest> ParseNkoRequest(std::string_view text) {
  if (!Consume(text, "<")) return std::nullopt;
  const Layout* layout = nullptr;
  for (const Layout& candidate : kLayouts) {
    // The element name must be followed by the blank before the first attribute, so
    // that "CreateEventX" does not pass for "CreateEvent".
    std::string_view rest = text;
    if (Consume(rest, candidate.element) && !rest.empty() && rest.front() == ' ') {
      layout = &candidate;
      text = rest;
      break;
    }
  }
  if (!layout) return std::nullopt;

  NkoRequest request;
  request.kind = layout->kind;
  size_t argIndex = 0;
  for (std::string_view attribute : layout->attributes) {
    if (attribute.empty()) break;
    if (!Consume(text, " ") || !Consume(text, attribute) || !Consume(text, "=\"")) return std::nullopt;
    size_t end = text.find('"');
    if (end == std::string_view::npos) return std::nullopt;
    std::string_view value = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (attribute == "lpName") {
      std::optional<std::string> name = XmlUnescape(value);
      if (!name) return std::nullopt;
      request.name = std::move(*name);
      continue;
    }
    std::optional<int32_t> number = ParseInt32(value);
    if (!number) return std::nullopt;
    if (attribute == "ProcId") {
      request.procId = *number;
    } else if (attribute == "SecurityAttributes") {
      if (*number != 0 && *number != 1) return std::nullopt;
      request.securityAttributes = *number;
    } else {
      request.args[argIndex++] = *number;
    }
  }
  if (!Consume(text, "/>") || !text.empty()) return std::nullopt;
  return request;
}

}  // namespace ombrix
