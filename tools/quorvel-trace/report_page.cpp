#include "tools/quorvel-trace/report_page.h"

#include <cstdio>
#include <sstream>

#include "tools/quorvel-trace/report_assets.h"
#include "tools/quorvel-trace/html_text.h"
#include "tools/quorvel-trace/trace_timeline.h"

namespace qtrace {
namespace {

constexpr size_t kFlushBytes = 1u << 16;

// Every table of the list, its head's and each block's, has the same fixed columns, so
// that the blocks line up under the head without knowing each other's contents.
constexpr std::string_view kListColumns = "<colgroup><col><col><col><col><col><col><col></colgroup>";

void AppendBlockBegin(std::string& out) {
  out += "<div class=\"block\"><table class=\"list\">";
  out += kListColumns;
  out += "<tbody>\n";
}

constexpr std::string_view kBlockEnd = "</tbody></table></div>\n";

}  // namespace

void AppendRowBlockBreak(std::string& out) {
  out += kBlockEnd;
  AppendBlockBegin(out);
}

ReportCell TextCell(std::string text) { return ReportCell{std::move(text), false, 0}; }

ReportCell NumberCell(double value, std::string text) { return ReportCell{std::move(text), true, value}; }

ReportCell CountCell(uint64_t count) { return NumberCell(static_cast<double>(count), std::to_string(count)); }

void ReportPage::Put(std::string_view text) {
  m_text.append(text);
  if (m_text.size() >= kFlushBytes) Flush();
}

void ReportPage::Flush() {
  if (!m_text.empty() && std::fwrite(m_text.data(), 1, m_text.size(), m_out) != m_text.size()) m_failed = true;
  m_text.clear();
}

void ReportPage::Begin(std::string_view title) {
  Put("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n<title>");
  Put(Html(title));
  Put("</title>\n<style>");
  Put(kReportStyle);
  Put("</style>\n</head>\n<body>\n<header>\n<h1>");
  Put(Html(title));
  Put("</h1>\n");
}

void ReportPage::Facts(std::span<const std::pair<std::string, std::string>> facts, std::string_view closingLine) {
  Put("<dl class=\"facts\">\n");
  for (const auto& [name, value] : facts) {
    Put("<dt>" + Html(name) + "</dt><dd>" + Html(value) + "</dd>\n");
  }
  Put("</dl>\n<p class=\"closing\" id=\"closing\">" + Html(closingLine) + "</p>\n</header>\n");
}

void ReportPage::Tables(std::span<const ReportTable> tables) {
  Put("<section id=\"summary\">\n<h2>Summary</h2>\n<p class=\"hint\">Click a column's head to sort by it.</p>\n"
      "<div class=\"tables\">\n");
  for (const ReportTable& table : tables) {
    Put("<div>\n<h3>" + Html(table.title) + "</h3>\n<table class=\"sortable\">\n<thead><tr>");
    for (const std::string& head : table.headers) Put("<th>" + Html(head) + "</th>");
    Put("</tr></thead>\n<tbody>\n");
    for (const auto& row : table.rows) {
      Put("<tr>");
      for (const ReportCell& cell : row) {
        if (cell.numeric) {
          char value[40];
          std::snprintf(value, sizeof value, "%.17g", cell.value);
          Put(std::string("<td class=\"n\" data-v=\"") + value + "\">");
        } else {
          Put("<td>");
        }
        Put(Html(cell.text) + "</td>");
      }
      Put("</tr>\n");
    }
    if (table.rows.empty()) Put("<tr><td colspan=\"" + std::to_string(table.headers.size()) + "\">none</td></tr>\n");
    Put("</tbody>\n</table>\n</div>\n");
  }
  Put("</div>\n</section>\n");
}

void ReportPage::Timeline(const TraceTimeline& timeline) {
  Put("<section id=\"timeline\">\n<h2>Timeline</h2>\n<p class=\"hint\">Point at a call for its time, thread, "
      "method, status and duration; click it to find it in the list.</p>\n<div class=\"timeline\">\n");
  std::ostringstream svg;
  timeline.Write(svg, "Calls by thread over time", TraceTimeline::Embedding::InHtml);
  Put(svg.str());
  Put("</div>\n<p class=\"note\" id=\"timeline-note\"></p>\n</section>\n");
}

void ReportPage::ListBegin(std::string_view note) {
  Put("<section id=\"list\">\n<h2>Calls</h2>\n<div class=\"filter\"><label>Filter <input id=\"q\" type=\"search\" "
      "placeholder=\"words in the row, e.g. VI_ERROR_TMO\" autocomplete=\"off\"></label> "
      "<label><input id=\"errors\" type=\"checkbox\"> errors only</label> <span id=\"shown\" class=\"note\"></span>"
      "</div>\n");
  if (!note.empty()) Put("<p class=\"note\" id=\"left-out\">" + Html(note) + "</p>\n");
  Put("<p class=\"hint\">Click a buffer to see its bytes in hexadecimal.</p>\n<div id=\"calls\">\n"
      "<table class=\"list head\">");
  Put(kListColumns);
  Put("<thead><tr><th>time</th><th>process/thread</th><th>address</th><th>call</th>"
      "<th>out</th><th>status</th><th>duration</th></tr></thead></table>\n");
  std::string block;
  AppendBlockBegin(block);
  Put(block);
}

void ReportPage::End() {
  Put(kBlockEnd);
  Put("</div>\n</section>\n<script>");
  Put(kReportScript);
  Put("</script>\n</body>\n</html>\n");
  Flush();
  if (std::fflush(m_out) != 0) m_failed = true;
}

}  // namespace qtrace
