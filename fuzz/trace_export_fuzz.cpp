// libFuzzer target for the export: every input is the contents of a capture file from an
// unknown source. Whatever it holds, the output must be one valid JSON document, checked
// here by a small strict parser.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "call_matcher.h"
#include "trace_export.h"
#include "trace_reader.h"

namespace {

// A strict JSON recogniser over s[at..]; false on anything that is not JSON.
class JsonCheck {
 public:
  explicit JsonCheck(const std::string& s) : m_s(s) {}
  bool Document() { return Value(0) && (Space(), m_at == m_s.size()); }

 private:
  void Space() {
    while (m_at < m_s.size() && std::strchr(" \t\r\n", m_s[m_at]) != nullptr && m_s[m_at] != '\0') ++m_at;
  }
  bool Take(char c) {
    Space();
    if (m_at < m_s.size() && m_s[m_at] == c) return ++m_at, true;
    return false;
  }
  bool String() {
    if (!Take('"')) return false;
    while (m_at < m_s.size()) {
      const auto c = static_cast<unsigned char>(m_s[m_at++]);
      if (c == '"') return true;
      if (c < 0x20) return false;
      if (c == '\\') {
        if (m_at >= m_s.size()) return false;
        const char e = m_s[m_at++];
        if (e == 'u') {
          for (int i = 0; i < 4; ++i) {
            if (m_at >= m_s.size() || std::strchr("0123456789abcdefABCDEF", m_s[m_at++]) == nullptr) return false;
          }
        } else if (std::strchr("\"\\/bfnrt", e) == nullptr || e == '\0') {
          return false;
        }
      }
    }
    return false;
  }
  bool Number() {
    Space();
    const size_t start = m_at;
    if (m_at < m_s.size() && m_s[m_at] == '-') ++m_at;
    const size_t digits = m_at;
    while (m_at < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_at]))) ++m_at;
    if (m_at == digits) return false;
    if (m_at < m_s.size() && m_s[m_at] == '.') {
      const size_t fraction = ++m_at;
      while (m_at < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_at]))) ++m_at;
      if (m_at == fraction) return false;
    }
    return m_at > start;
  }
  bool Literal(const char* word) {
    Space();
    const size_t n = std::strlen(word);
    if (m_s.compare(m_at, n, word) != 0) return false;
    m_at += n;
    return true;
  }
  bool Value(int depth) {
    if (depth > 16) return false;
    Space();
    if (m_at >= m_s.size()) return false;
    const char c = m_s[m_at];
    if (c == '{') return Members(depth, '}', true);
    if (c == '[') return Members(depth, ']', false);
    if (c == '"') return String();
    if (c == 't') return Literal("true");
    if (c == 'f') return Literal("false");
    return Number();
  }
  bool Members(int depth, char close, bool object) {
    ++m_at;
    if (Take(close)) return true;
    do {
      if (object && !(String() && Take(':'))) return false;
      if (!Value(depth + 1)) return false;
    } while (Take(','));
    return Take(close);
  }

  const std::string& m_s;
  size_t m_at = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  std::FILE* in = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  char* json = nullptr;
  size_t jsonSize = 0;
  std::FILE* out = open_memstream(&json, &jsonSize);
  if (in == nullptr || out == nullptr) std::abort();
  {
    qtrace::TraceReader reader(in, "fuzz");
    qtrace::TraceExport exporter(out);
    const qtrace::CallMatcher* self = nullptr;
    qtrace::CallMatcher matcher([&](const qtrace::MatchedCall& call) { exporter.Call(call, *self); }, true);
    self = &matcher;
    qtrace::TraceMessage message;
    while (reader.Next(message)) {
      exporter.Message(message);
      matcher.Feed(message);
    }
    matcher.Finish();
    if (!exporter.Finish()) std::abort();
  }
  std::fclose(in);
  std::fclose(out);
  const std::string text(json, jsonSize);
  std::free(json);
  if (!JsonCheck(text).Document()) std::abort();
  return 0;
}
