#include "tools/quorvel-trace/trace_message.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace qtrace {
namespace {

// Walks a line from left to right; every step either takes what it expects or fails
// with a description of what was found instead.
class Cursor {
 public:
  explicit Cursor(std::string_view text) : m_text(text) {}

  bool Literal(std::string_view piece) {
    if (m_text.substr(m_at, piece.size()) != piece) return Fail(std::string("expected ") + std::string(piece));
    m_at += piece.size();
    return true;
  }
  // Text up to the next double quote, which is not taken.
  bool Value(std::string_view& out) {
    const size_t end = m_text.find('"', m_at);
    if (end == std::string_view::npos) return Fail("unterminated attribute value");
    out = m_text.substr(m_at, end - m_at);
    m_at = end;
    return true;
  }
  // A whole attribute value as an integer or a floating-point number.
  template <typename T>
  bool Number(T& out) {
    std::string_view digits;
    if (!Value(digits)) return false;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    if (ec != std::errc() || end != digits.data() + digits.size() || digits.empty()) {
      return Fail("not a number: \"" + std::string(digits.substr(0, 32)) + "\"");
    }
    return true;
  }
  bool StartsWith(std::string_view piece) const { return m_text.substr(m_at, piece.size()) == piece; }
  std::string_view Rest() const { return m_text.substr(m_at); }
  const std::string& Error() const { return m_error; }

 private:
  bool Fail(std::string what) {
    m_error = std::move(what) + " at column " + std::to_string(m_at + 1);
    return false;
  }
  std::string_view m_text;
  size_t m_at = 0;
  std::string m_error;
};

constexpr std::string_view kEnterOpen = "<Message><Method><Method_Enter MethodName=\"";
constexpr std::string_view kExitOpen = "<Message><Method><Method_Exit MethodName=\"";
constexpr std::string_view kErrorOpen = "<Message><Method><Method_Error MethodName=\"";
constexpr std::string_view kMethodClose = "\"/></Method>";
constexpr std::string_view kMessageClose = "</Message>";

bool ReadEnter(Cursor& c, TraceMessage& m) {
  return c.Value(m.method) && c.Literal("\" Timestamp=\"") && c.Number(m.timestamp) &&
         c.Literal("\" AppName=\"") && c.Value(m.appName) && c.Literal("\" ThreadID=\"") && c.Number(m.threadId) &&
         c.Literal("\" ProcessID=\"") && c.Number(m.processId) && c.Literal("\" Address=\"") &&
         c.Value(m.address) && c.Literal("\" Source=\"") && c.Value(m.source) && c.Literal("\" ParamCount=\"") &&
         c.Number(m.paramCount) && c.Literal(kMethodClose);
}

bool ReadExit(Cursor& c, TraceMessage& m) {
  return c.Value(m.method) && c.Literal("\" Timestamp=\"") && c.Number(m.timestamp) &&
         c.Literal("\" ElapsedNS=\"") && c.Number(m.elapsedNs) && c.Literal("\" ThreadID=\"") &&
         c.Number(m.threadId) && c.Literal("\" ProcessID=\"") && c.Number(m.processId) &&
         c.Literal("\" Address=\"") && c.Value(m.address) && c.Literal("\" Source=\"") && c.Value(m.source) &&
         c.Literal("\" ParamCount=\"") && c.Number(m.paramCount) && c.Literal("\" HRESULT=\"") &&
         c.Number(m.hresult) && c.Literal(kMethodClose);
}

bool ReadBool(std::string_view text, size_t& at, std::string_view name, bool& out) {
  if (text.substr(at, name.size()) != name || text.substr(at + name.size(), 2) != "=\"") return false;
  const size_t value = at + name.size() + 2;
  for (const bool v : {true, false}) {
    const std::string_view word = v ? "True\"" : "False\"";
    if (text.substr(value, word.size()) == word) {
      at = value + word.size();
      out = v;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseTraceMessage(std::string_view line, TraceMessage& out, std::string& error) {
  out = TraceMessage{};
  Cursor c(line);
  bool ok = false;
  if (c.StartsWith(kEnterOpen)) {
    out.kind = MessageKind::Enter;
    ok = c.Literal(kEnterOpen) && ReadEnter(c, out);
  } else if (c.StartsWith(kExitOpen) || c.StartsWith(kErrorOpen)) {
    out.kind = c.StartsWith(kExitOpen) ? MessageKind::Exit : MessageKind::Error;
    ok = c.Literal(out.kind == MessageKind::Exit ? kExitOpen : kErrorOpen) && ReadExit(c, out);
  } else {
    error = "not a trace message (no method element at its start)";
    return false;
  }
  if (!ok) {
    error = c.Error();
    return false;
  }
  std::string_view rest = c.Rest();
  if (rest.size() < kMessageClose.size() || rest.substr(rest.size() - kMessageClose.size()) != kMessageClose) {
    error = "message does not end with </Message>";
    return false;
  }
  rest.remove_suffix(kMessageClose.size());
  if (!rest.empty() && (!rest.starts_with("<Parameters>") || !rest.ends_with("</Parameters>"))) {
    error = "unexpected text after the method element";
    return false;
  }
  // The relay writes a 64-bit integer there; anything beyond that range is not its text.
  if (!std::isfinite(out.elapsedNs) || std::fabs(out.elapsedNs) > 0x1p63) {
    error = "elapsed time is not a 64-bit number of nanoseconds";
    return false;
  }
  out.parameters = rest;
  return true;
}

bool ForEachParameter(std::string_view section, const std::function<void(const Parameter&)>& each,
                      std::string& error) {
  if (section.empty()) return true;
  if (section.size() < 25 || !section.starts_with("<Parameters>") || !section.ends_with("</Parameters>")) {
    error = "malformed parameters section";
    return false;
  }
  constexpr std::string_view kOpen = "<Parameter Name=\"";
  constexpr std::string_view kRetVal = "\" RetVal=\"";
  constexpr std::string_view kClose = "</Parameter>";
  std::string_view body = section.substr(12, section.size() - 12 - 13);  // inside <Parameters>...</Parameters>
  while (!body.empty()) {
    Parameter p;
    const size_t nameEnd = body.find(kRetVal, kOpen.size());
    if (!body.starts_with(kOpen) || nameEnd == std::string_view::npos) {
      error = "malformed parameter";
      return false;
    }
    p.name = body.substr(kOpen.size(), nameEnd - kOpen.size());
    size_t at = nameEnd + 2;  // at "RetVal=..."
    constexpr std::string_view kType = " ParamType=\"";
    if (!ReadBool(body, at, "RetVal", p.retVal) || !ReadBool(body, at, " InParam", p.in) ||
        !ReadBool(body, at, " OutParam", p.out) || body.substr(at, kType.size()) != kType) {
      error = "malformed flags of parameter \"" + std::string(p.name.substr(0, 64)) + "\"";
      return false;
    }
    at += kType.size();
    const size_t typeEnd = body.find("\">", at);
    const size_t close = body.find(kClose, at);
    if (typeEnd == std::string_view::npos || close == std::string_view::npos || typeEnd > close) {
      error = "unterminated parameter \"" + std::string(p.name.substr(0, 64)) + "\"";
      return false;
    }
    p.type = body.substr(at, typeEnd - at);
    p.elements = body.substr(typeEnd + 2, close - typeEnd - 2);
    each(p);
    body.remove_prefix(close + kClose.size());
  }
  return true;
}

std::string ElementValues(std::string_view elements, size_t limit) {
  std::string out;
  ElementValues(elements, limit, out);
  return out;
}

void ElementValues(std::string_view elements, size_t limit, std::string& out) {
  out.clear();
  constexpr std::string_view kValue = "Value=\"";
  for (size_t at = elements.find(kValue); at != std::string_view::npos; at = elements.find(kValue, at)) {
    at += kValue.size();
    const size_t end = elements.find('"', at);
    if (end == std::string_view::npos) break;
    if (!out.empty()) out += ',';
    out.append(elements.substr(at, end - at));
    if (out.size() > limit) {
      out.resize(limit);
      out += "...";
      return;
    }
    at = end;
  }
}

std::string Unescape(std::string_view text) {
  std::string out;
  Unescape(text, out);
  return out;
}

void Unescape(std::string_view text, std::string& out) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&#13;", '\r'}, {"&#10;", '\n'}};
  out.clear();
  // Runs without an entity are copied whole.
  for (size_t i = 0; i < text.size();) {
    const size_t amp = text.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, amp - i));
    i = amp;
    bool replaced = false;
    for (const auto& [entity, c] : kEntities) {
      if (text.substr(i, entity.size()) == entity) {
        out += c;
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
}

}  // namespace qtrace
