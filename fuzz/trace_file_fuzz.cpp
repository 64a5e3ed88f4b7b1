// libFuzzer target for reading captures: every input is the contents of a capture file
// from an unknown source, summarised (table and CSV), drawn as a timeline, exported, and
// listed with filters chosen by the input's first bytes. Besides the sanitizers' checks: the
// summary never counts more calls than the reader read messages, the picture is always a
// whole SVG document, the export is always one valid JSON document, checked here by a small
// strict parser, the listing writes one whole line per chosen call (more with context), and
// the report is always a whole page with only its own script and at most its row limit.
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>

#include <unistd.h>

#include "base/results.h"
#include "base/unique.h"
#include "tools/quorvel-trace/call_listing.h"
#include "tools/quorvel-trace/call_tally.h"
#include "tools/quorvel-trace/call_matcher.h"
#include "tools/quorvel-trace/report_command.h"
#include "tools/quorvel-trace/trace_commands.h"
#include "tools/quorvel-trace/trace_export.h"
#include "tools/quorvel-trace/trace_reader.h"
#include "tools/quorvel-trace/trace_summary.h"
#include "tools/quorvel-trace/trace_timeline.h"

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
  const UniqueCFile file(fmemopen(const_cast<std::uint8_t*>(data), size, "rb"));
  if (!file) std::abort();
  qtrace::TraceReader reader(file.Get(), "fuzz");
  const CallMatcher* self = nullptr;
  CallMatcher matcher([&](const MatchedCall& call) { onCall(call, *self); }, keepParameters);
  self = &matcher;
  qtrace::TraceMessage message;
  while (reader.Next(message)) {
    onMessage(message);
    matcher.Feed(message);
  }
  matcher.Finish();
  return reader.Messages();
}

void IgnoreMessage(const qtrace::TraceMessage&) {}

void CheckSummaryAndTimeline(const std::uint8_t* data, std::size_t size) {
  qtrace::TraceSummary summary;
  qtrace::CallTally tally;
  const uint64_t messages = ReadCalls(data, size, false, IgnoreMessage, [&](const MatchedCall& c, const CallMatcher& m) {
    summary.Add(c, m);
    tally.Add(c);
  });
  if (tally.Calls() > messages || tally.WithoutExit() > messages) std::abort();
  std::ostringstream table, csv;
  summary.WriteTable(table, qtrace::CaptureSpan{true, INT64_MIN, INT64_MAX}, false);
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
  UniqueCFile out(open_memstream(&json, &jsonSize));
  if (!out) std::abort();
  {
    qtrace::TraceExport exporter(out.Get());
    ReadCalls(data, size, true, [&](const qtrace::TraceMessage& m) { exporter.Message(m); },
              [&](const MatchedCall& c, const CallMatcher& m) { exporter.Call(c, m); });
    if (!exporter.Finish()) std::abort();
  }
  out.Reset();  // the stream's text is complete once it is closed
  const std::string text(json, jsonSize);
  std::free(json);
  if (!JsonCheck(text).Document()) std::abort();
}

// An input as the listing and the report take it: filters and listing options chosen by its
// first kOptionBytes bytes, and the capture after them.
constexpr size_t kOptionBytes = 8;
struct OptionedInput {
  const std::uint8_t* options;
  const std::uint8_t* capture;
  std::size_t captureSize;
  qtrace::ReadOptions read;
  qtrace::ListOptions list;
};

void ChooseOptions(const std::uint8_t* p, qtrace::ReadOptions& read, qtrace::ListOptions& list) {
  static const char* const kGlobs[] = {"", "*", "GPIB*", "?*::INSTR", "vi*", "*a*b*c*", "**?*"};
  static const char* const kTimes[] = {"0", "0.000001", "12:00:00", "00:00:00.5", "1e9", "23:59:59.999"};
  qtrace::CallFilter& f = read.filter;
  f.addressGlob = kGlobs[p[0] % std::size(kGlobs)];
  f.methodGlob = kGlobs[p[1] % std::size(kGlobs)];
  if (p[2] & 1) f.processId = p[2] >> 1;
  if (p[2] & 2) f.processName = kGlobs[(p[2] >> 2) % std::size(kGlobs)];
  if (p[3] & 1) f.threadId = p[3] >> 1;
  f.errorsOnly = (p[4] & 1) != 0;
  f.utc = (p[4] & 2) != 0;
  if (p[4] & 4) f.slowerThanNs = static_cast<double>(p[4] >> 3) * 1000;
  qtrace::TimeBound bound;
  if ((p[5] & 1) && qtrace::ParseTimeBound(kTimes[(p[5] >> 1) % std::size(kTimes)], bound)) f.from = bound;
  if ((p[5] & 0x80) && qtrace::ParseTimeBound(kTimes[(p[5] >> 4) % std::size(kTimes)], bound)) f.to = bound;
  list.context = p[6] % 4;
  list.line.hex = (p[7] & 1) != 0;
  list.line.maxChars = p[7] >> 1;
}

// Null when the input holds no capture after its option bytes.
std::optional<OptionedInput> SplitOptions(const std::uint8_t* data, std::size_t size) {
  if (size <= kOptionBytes) return std::nullopt;
  OptionedInput in{data, data + kOptionBytes, size - kOptionBytes, {}, {}};
  ChooseOptions(data, in.read, in.list);
  return in;
}

void CheckListing(const std::uint8_t* data, std::size_t size) {
  std::optional<OptionedInput> input = SplitOptions(data, size);
  if (!input) return;
  qtrace::ReadOptions& read = input->read;
  const qtrace::ListOptions& list = input->list;
  uint64_t lines = 0;
  qtrace::CallListing listing(read.filter, list.line, list.context, qtrace::CallListing::Order::Enter,
                              [&](std::string_view line) {
                                // Each write is one whole line.
                                if (line.empty() || line.back() != '\n' ||
                                    line.find('\n') != line.size() - 1) {
                                  std::abort();
                                }
                                if (line != "--\n") ++lines;
                              });
  bool begun = false;
  const uint64_t messages = ReadCalls(
      input->capture, input->captureSize, true,
      [&](const qtrace::TraceMessage& m) {
        if (!begun) read.filter.Begin(m.timestamp);
        begun = true;
        listing.Message(m);
      },
      [&](const MatchedCall& c, const CallMatcher& m) { listing.Call(c, m); });
  listing.Finish();
  const uint64_t chosen = listing.Tally().Calls();
  if (chosen > messages || lines < chosen || (list.context == 0 && lines != chosen)) std::abort();
}

size_t Occurrences(const std::string& text, std::string_view piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// The report of the capture, through its files as the command reads and writes them: a
// whole page whatever the capture holds, with only its own script, every row closed, and
// no more call rows than the limit.
void CheckReport(const std::uint8_t* data, std::size_t size) {
  std::optional<OptionedInput> input = SplitOptions(data, size);
  if (!input) return;
  qtrace::ReportOptions report;
  report.line = input->list.line;
  report.context = input->list.context;
  report.maxRows = 1 + input->options[6] % 16;
  static const std::string capture = "/tmp/quorvel-trace-fuzz-" + std::to_string(getpid()) + ".qtrace";
  static const std::string page = capture + ".html";
  static const bool removedAtExit = std::atexit([] {
    IgnoreResult(std::remove(capture.c_str()));
    IgnoreResult(std::remove(page.c_str()));
  }) == 0;
  (void)removedAtExit;
  {
    const UniqueCFile file(std::fopen(capture.c_str(), "wb"));
    if (!file || std::fwrite(input->capture, 1, input->captureSize, file.Get()) != input->captureSize) std::abort();
  }  // closed, so that the command reads the whole capture
  std::ostringstream out, err;
  if (qtrace::RunReport(capture, input->read, report, page, out, err) != qtrace::kExitOk) return;  // refused capture
  std::ifstream in(page, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const std::string html = text.str();
  if (html.size() < 8 || html.compare(html.size() - 8, 8, "</html>\n") != 0) std::abort();
  if (Occurrences(html, "<script") != 1 || Occurrences(html, "</script>") != 1) std::abort();
  if (Occurrences(html, "<tr") != Occurrences(html, "</tr>")) std::abort();
  if (Occurrences(html, "<tr class=\"call") > report.maxRows) std::abort();
  // Texts from the capture are escaped, so no element of theirs can fetch anything.
  if (html.find("<img") != std::string::npos || html.find("<link") != std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  CheckSummaryAndTimeline(data, size);
  CheckExport(data, size);
  CheckListing(data, size);
  CheckReport(data, size);
  return 0;
}
