// The report page as text: one row per call with the same counts as the closing line,
// texts from the capture escaped (markup, quotes, non-ASCII, broken UTF-8), nothing that
// would make a browser fetch anything, and the row limit keeping the errors with the
// calls around them.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "base/results.h"
#include "tools/quorvel-trace/report_command.h"
#include "tools/quorvel-trace/html_text.h"
#include "tools/quorvel-trace/report_page.h"
#include "tools/quorvel-trace/testing/capture_builder.h"
#include "tools/quorvel-trace/trace_commands.h"

namespace qtrace {
namespace {

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// A capture written call by call, each an enter with its exit (or without one).
class Capture {
 public:
  struct Call {
    uint32_t thread;
    std::string method;
    int32_t status;
    std::string buffer;  // bytes of an in-parameter "buf", none when empty
    std::string app = "app.exe";
    std::string address = "GPIB0::7::INSTR";
    bool exit = true;
  };
  void Add(const Call& c) {
    using namespace testing_capture;
    const int64_t start = m_clock += 1000;
    m_text += Enter("VISA::" + c.method, start, c.app, 100, c.thread, c.address,
                    c.buffer.empty() ? "" : Bytes("buf", true, c.buffer));
    if (c.exit) m_text += Exit("VISA", start + 500, "500", 100, c.thread, c.address, c.status);
  }
  std::string Save(const std::string& name) const {
    const std::string path = testing::TempDir() + name;
    std::ofstream(path, std::ios::binary) << m_text;
    return path;
  }

 private:
  std::string m_text;
  int64_t m_clock = 1'700'000'000'000'000'000;
};

constexpr int32_t kTimeout = -1073807339;  // 0xBFFF0015

struct Report {
  int code = -1;
  std::string page, out, err;
};

// The page goes to the test's temporary folder, never beside a checked-in capture, so that
// runs of the native and the sanitizer builds at once do not share it.
Report MakeReport(const std::string& capture, const std::vector<std::string>& options = {}) {
  const std::string page = testing::TempDir() + capture.substr(capture.find_last_of("/\\") + 1) + ".html";
  std::vector<std::string> args{"report", capture, "-o", page};
  args.insert(args.end(), options.begin(), options.end());
  Report r;
  std::ostringstream out, err;
  r.code = RunFileCommand(args, out, err);
  r.out = out.str();
  r.err = err.str();
  std::ifstream in(page, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  r.page = text.str();
  in.close();
  IgnoreResult(std::remove(page.c_str()));
  return r;
}

std::vector<std::string> RowIds(const std::string& page) {
  std::vector<std::string> ids;
  const std::regex row("<tr class=\"call[^\"]*\" id=\"(c[0-9]+)\">");
  for (std::sregex_iterator it(page.begin(), page.end(), row), end; it != end; ++it) ids.push_back((*it)[1]);
  return ids;
}

TEST(Report, HasARowPerCallAndTheClosingCounts) {
  const Report r = MakeReport(QTRACE_TESTDATA "/small.qtrace");
  ASSERT_EQ(r.code, kExitOk) << r.err;
  const std::regex closing("(\\d+) messages, (\\d+) calls, (\\d+) with an error");
  std::smatch counts;
  ASSERT_TRUE(std::regex_search(r.out, counts, closing)) << r.out;
  const std::vector<std::string> ids = RowIds(r.page);
  EXPECT_EQ(ids.size(), std::stoul(counts[2]));
  EXPECT_EQ(std::set<std::string>(ids.begin(), ids.end()).size(), ids.size());
  EXPECT_EQ(Count(r.page, "<tr class=\"call err"), std::stoul(counts[3]));
  EXPECT_NE(r.page.find(counts[0].str()), std::string::npos) << "the page's header has the closing line";
  EXPECT_EQ(Count(r.page, "<table class=\"sortable\">"), 5u);
  // Every bar of the timeline links to a row of the list.
  const std::regex bar("data-call=\"([0-9]+)\"");
  size_t bars = 0;
  for (std::sregex_iterator it(r.page.begin(), r.page.end(), bar), end; it != end; ++it, ++bars) {
    EXPECT_NE(std::find(ids.begin(), ids.end(), "c" + (*it)[1].str()), ids.end()) << (*it)[0];
  }
  EXPECT_GT(bars, 0u);
  EXPECT_EQ(r.page.rfind("</html>\n"), r.page.size() - 8);
}

TEST(Report, EscapesTheCapturesTexts) {
  Capture capture;
  capture.Add({1, "viWrite", 0, "<script>alert('x')</script>&\"\x01", "pr\xC3\xBC" "f&quot;1.exe",
               "TCPIP0::a&lt;b::INSTR"});
  capture.Add({1, "viRead", kTimeout, "", "", "GPIB0::\xFF::INSTR"});
  const Report r = MakeReport(capture.Save("escape.qtrace"));
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(Count(r.page, "<script"), 1u) << "only the page's own script";
  EXPECT_NE(r.page.find("&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;&amp;\\&quot;\\x01"), std::string::npos);
  EXPECT_NE(r.page.find("TCPIP0::a&lt;b::INSTR"), std::string::npos);
  EXPECT_NE(r.page.find("pr\xC3\xBC" "f&quot;1.exe"), std::string::npos) << "UTF-8 kept as it is";
  EXPECT_NE(r.page.find("GPIB0::\xEF\xBF\xBD::INSTR"), std::string::npos) << "a broken byte replaced";
  EXPECT_EQ(r.page.find('\xFF'), std::string::npos);
  EXPECT_NE(r.page.find("VI_ERROR_TMO"), std::string::npos);
  EXPECT_NE(r.page.find("data-hex=\"buf=3c736372"), std::string::npos) << "the buffer's hex on demand";
}

TEST(Report, FetchesNothing) {
  Capture capture;
  capture.Add({1, "viWrite", 0, "*IDN?\n"});
  const Report r = MakeReport(capture.Save("self-contained.qtrace"));
  ASSERT_EQ(r.code, kExitOk) << r.err;
  for (const char* reference : {"http:", "https:", "//", "src=", "href=", "url(", "@import", "xmlns"}) {
    EXPECT_EQ(r.page.find(reference), std::string::npos) << reference;
  }
  EXPECT_NE(r.page.find("<style>"), std::string::npos);
  EXPECT_NE(r.page.find("<svg"), std::string::npos);
}

// 30 calls on each of two threads, an error on thread 1 as its 10th and 25th call: with a
// limit of 20 rows the list keeps the two errors and the two calls on each side of each.
TEST(Report, AboveTheRowLimitKeepsTheErrorsWithTheirContext) {
  Capture capture;
  for (int i = 0; i < 30; ++i) {
    for (const uint32_t thread : {1u, 2u}) {
      const bool error = thread == 1 && (i == 9 || i == 24);
      capture.Add({thread, error ? "viRead" : "viWrite", error ? kTimeout : 0, ""});
    }
  }
  const std::string path = capture.Save("limit.qtrace");
  const Report full = MakeReport(path, {"--max-rows", "60"});
  ASSERT_EQ(full.code, kExitOk) << full.err;
  EXPECT_EQ(RowIds(full.page).size(), 60u);
  EXPECT_EQ(full.page.find("id=\"left-out\""), std::string::npos);

  const Report limited = MakeReport(path, {"--max-rows", "20"});
  ASSERT_EQ(limited.code, kExitOk) << limited.err;
  // Calls are numbered by their enter message; thread 1's i-th call enters as message 4i.
  std::vector<std::string> expected;
  for (const int i : {7, 8, 9, 10, 11, 22, 23, 24, 25, 26}) expected.push_back("c" + std::to_string(4 * i + 1));
  EXPECT_EQ(RowIds(limited.page), expected);
  // The two groups are set apart.
  EXPECT_TRUE(std::regex_search(limited.page, std::regex("id=\"c45\">.*\n<tr class=\"gap\">.*\n<tr class=\"call\" id=\"c89\"")));
  EXPECT_NE(limited.page.find(">50 of 60 calls are left out"), std::string::npos);
  EXPECT_NE(limited.page.find("60 calls, 2 with an error"), std::string::npos) << "the header counts them all";
}

// The list takes the same calls as the header: a time window chooses them for both, also
// above the row limit. Call i (from 0) begins i microseconds after the first message.
TEST(Report, ListsTheCallsOfTheTimeWindow) {
  Capture capture;
  for (int i = 0; i < 10; ++i) capture.Add({1, "viWrite", i == 7 ? kTimeout : 0, ""});
  const std::string path = capture.Save("window.qtrace");
  const struct {
    std::vector<std::string> options;
    std::vector<std::string> rows;
  } cases[] = {
      {{"--from", "0.0000045"}, {"c11", "c13", "c15", "c17", "c19"}},
      {{"--from", "0.0000045", "--max-rows", "4", "--context", "1"}, {"c13", "c15", "c17"}},
  };
  for (const auto& c : cases) {
    const Report r = MakeReport(path, c.options);
    ASSERT_EQ(r.code, kExitOk) << r.err;
    EXPECT_NE(r.out.find(" 5 calls, 1 with an error"), std::string::npos) << r.out;
    EXPECT_EQ(RowIds(r.page), c.rows) << c.options.size();
  }
}

// The table rows (calls and gaps) of each block the list is cut into.
std::vector<size_t> RowsPerBlock(const std::string& page) {
  std::vector<size_t> rows;
  const std::string begin = "<div class=\"block\">";
  for (size_t at = page.find(begin); at != std::string::npos; at = page.find(begin, at + 1)) {
    const size_t end = page.find("</tbody></table></div>", at);
    if (end == std::string::npos) return {};
    rows.push_back(Count(page.substr(at, end - at), "<tr "));
  }
  return rows;
}

// The list is cut into blocks the browser lays out only near the view: every row in one,
// in order, none over the block size, with the gap rows counted as rows.
TEST(Report, CutsTheListIntoBlocksOfRows) {
  Capture capture;
  const uint64_t calls = 2 * kRowsPerBlock + 1;
  for (uint64_t i = 0; i < calls; ++i) capture.Add({1, "viWrite", i == 0 ? kTimeout : 0, ""});
  const Report r = MakeReport(capture.Save("blocks.qtrace"));
  ASSERT_EQ(r.code, kExitOk) << r.err;
  EXPECT_EQ(RowsPerBlock(r.page), (std::vector<size_t>{kRowsPerBlock, kRowsPerBlock, 1}));
  const std::vector<std::string> ids = RowIds(r.page);
  EXPECT_EQ(RowIds(r.page.substr(r.page.find("<div class=\"block\">"))), ids) << "no row outside the blocks";
  ASSERT_EQ(ids.size(), calls);
  EXPECT_EQ(ids.back(), "c" + std::to_string(2 * calls - 1)) << "rows in the order of the calls";

  // Above the limit: 250 errors, each followed by 4 calls, kept with one call on each side
  // make 749 call rows and 249 gaps between them, 998 rows in all.
  Capture errors;
  for (int i = 0; i < 250; ++i) {
    errors.Add({1, "viRead", kTimeout, ""});
    for (int j = 0; j < 4; ++j) errors.Add({1, "viWrite", 0, ""});
  }
  const Report limited = MakeReport(errors.Save("blocks-limited.qtrace"), {"--max-rows", "1000", "--context", "1"});
  ASSERT_EQ(limited.code, kExitOk) << limited.err;
  EXPECT_EQ(RowIds(limited.page).size(), 749u);
  EXPECT_EQ(RowsPerBlock(limited.page), (std::vector<size_t>{kRowsPerBlock, 998 - kRowsPerBlock}));
}

TEST(ReportHtml, EscapesMarkupAndRepairsEncoding) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"a<b>&\"'", "a&lt;b&gt;&amp;&quot;&#39;"},
      {"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"\xC3", "\xEF\xBF\xBD"},                  // cut sequence
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // surrogate
      {"a\x01\tb\x7F", "a\xEF\xBF\xBD\tb\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(Html(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace qtrace
