// libFuzzer target for reading captures: every input is the contents of a capture file
// from an unknown source, summarised (table and CSV), drawn as a timeline and exported.
// Besides the sanitizers' checks: the summary never counts more calls than the reader read
// messages, the picture is always a whole SVG document, and the export is always one valid
// JSON document, checked here by a small strict parser.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "call_matcher.h"
#include "trace_export.h"
#include "trace_reader.h"
#include "trace_summary.h"
#include "trace_timeline.h"

namespace {

using qtrace::CallMatcher;
using qtrace::MatchedCall;

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
    if (m_at < m_s.size() && m_s[m_at] == '-') ++m_at;
    const size_t digits = m_at;
    while (m_at < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_at]))) ++m_at;
    if (m_at == digits) return false;
    if (m_at < m_s.size() && m_s[m_at] == '.') {
      const size_t fraction = ++m_at;
      while (m_at < m_s.size() && std::isdigit(static_cast<unsigned char>(m_s[m_at]))) ++m_at;
      if (m_at == fraction) return false;
    }
    return true;
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

// Runs the capture in |data| through a matcher, calling |onMessage| for every message read
// and |onCall| for every call; the number of messages read.
template <typename OnMessage, typename OnCall>
uint64_t ReadCalls(const std::uint8_t* data, std::size_t size, bool keepParameters, OnMessage onMessage,
                   OnCall onCall) {
  std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (file == nullptr) std::abort();
  qtrace::TraceReader reader(file, "fuzz");
  const CallMatcher* self = nullptr;
  CallMatcher matcher([&](const MatchedCall& call) { onCall(call, *self); }, keepParameters);
  self = &matcher;
  qtrace::TraceMessage message;
  while (reader.Next(message)) {
    onMessage(message);
    matcher.Feed(message);
  }
  matcher.Finish();
  std::fclose(file);
  return reader.Messages();
}

void IgnoreMessage(const qtrace::TraceMessage&) {}

void CheckSummaryAndTimeline(const std::uint8_t* data, std::size_t size) {
  qtrace::TraceSummary summary;
  const uint64_t messages =
      ReadCalls(data, size, false, IgnoreMessage, [&](const MatchedCall& c, const CallMatcher& m) { summary.Add(c, m); });
  if (summary.Calls() > messages || summary.OpenCalls() > messages) std::abort();
  std::ostringstream table, csv;
  summary.WriteTable(table, messages);
  summary.WriteCsv(csv);

  qtrace::TraceTimeline timeline;
  ReadCalls(data, size, false, IgnoreMessage,
            [&](const MatchedCall& c, const CallMatcher& m) { timeline.Add(c, m); });
  std::ostringstream svg;
  timeline.Write(svg, "fuzz");
  if (svg.str().rfind("</svg>\n") != svg.str().size() - 7) std::abort();
}

void CheckExport(const std::uint8_t* data, std::size_t size) {
  char* json = nullptr;
  size_t jsonSize = 0;
  std::FILE* out = open_memstream(&json, &jsonSize);
  if (out == nullptr) std::abort();
  {
    qtrace::TraceExport exporter(out);
    ReadCalls(data, size, true, [&](const qtrace::TraceMessage& m) { exporter.Message(m); },
              [&](const MatchedCall& c, const CallMatcher& m) { exporter.Call(c, m); });
    if (!exporter.Finish()) std::abort();
  }
  std::fclose(out);
  const std::string text(json, jsonSize);
  std::free(json);
  if (!JsonCheck(text).Document()) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  CheckSummaryAndTimeline(data, size);
  CheckExport(data, size);
  return 0;
}
