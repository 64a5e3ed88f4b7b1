// The report page, written piece by piece to a file in the order it is read: the head with
// the style sheet, the capture's facts, the summary tables, the timeline, the filter box
// and the call list, and last the script. Everything the page needs is in it; it fetches
// nothing.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qtrace {

class TraceTimeline;

// The call list is cut into blocks of this many rows, each a table of its own that the
// browser lays out only while it is near the view (CSS content-visibility): every row stays
// in the page for filters, links and saved copies, yet a list of 50,000 rows opens about as
// fast as one of a few thousand. Laid out as one table, such a list took Chromium 20 to 50
// seconds.
inline constexpr uint64_t kRowsPerBlock = 500;
// Ends one block of rows and begins the next; the row writer appends it before every
// kRowsPerBlock-th row.
void AppendRowBlockBreak(std::string& out);

// A table cell: its text, and for a number the value the table sorts by.
struct ReportCell {
  std::string text;
  bool numeric = false;
  double value = 0;
};
ReportCell TextCell(std::string text);
ReportCell NumberCell(double value, std::string text);
ReportCell CountCell(uint64_t count);

struct ReportTable {
  std::string title;
  std::vector<std::string> headers;
  std::vector<std::vector<ReportCell>> rows;
};

class ReportPage {
 public:
  // Writes to |out| (not owned).
  explicit ReportPage(std::FILE* out) : m_out(out) {}

  void Begin(std::string_view title);
  // The capture's facts as name/value pairs, then the closing line.
  void Facts(std::span<const std::pair<std::string, std::string>> facts, std::string_view closingLine);
  void Tables(std::span<const ReportTable> tables);
  void Timeline(const TraceTimeline& timeline);
  // The filter box, the list's head and its first block; |note| (may be empty) says what
  // the list leaves out.
  void ListBegin(std::string_view note);
  // Rows of the list as HTML, in order.
  void Rows(std::string_view html) { Put(html); }
  void End();
  // False once a write failed.
  bool Ok() const { return !m_failed; }

 private:
  void Put(std::string_view text);
  void Flush();

  std::FILE* m_out;
  std::string m_text;
  bool m_failed = false;
};

}  // namespace qtrace
