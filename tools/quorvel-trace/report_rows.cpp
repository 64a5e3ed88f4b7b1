#include "report_rows.h"

#include <algorithm>

#include "report_html.h"

namespace qtrace {
namespace {

constexpr std::string_view kGapRow = "<tr class=\"gap\"><td colspan=\"7\">\u2026</td></tr>\n";

bool HasBuffer(std::string_view parameters) { return parameters.find("BinHexValue") != std::string_view::npos; }

void AppendCell(std::string& out, std::string_view text) {
  out += "<td>";
  AppendHtml(out, text);
  out += "</td>";
}

// Parameters as text; with |hex| (parameters that hold byte buffers) wrapped so that the
// page can show the same parameters with the buffers in hexadecimal.
void AppendParameters(std::string& out, std::string_view text, const std::string* hex) {
  if (hex == nullptr) {
    AppendHtml(out, text);
    return;
  }
  out += "<span class=\"buf\" data-hex=\"";
  AppendHtml(out, *hex);
  out += "\">";
  AppendHtml(out, text);
  out += "</span>";
}

}  // namespace

void AppendCallRow(const MatchedCall& call, const CallMatcher& matcher, const LineOptions& options, std::string& out) {
  thread_local CallFields text, hex;
  DescribeCall(call, matcher, options, text);
  const bool hexIn = call.enter != nullptr && HasBuffer(call.enter->parameters);
  const bool hexOut = call.exit != nullptr && HasBuffer(call.exit->parameters);
  if (hexIn || hexOut) {
    LineOptions hexOptions = options;
    hexOptions.hex = true;
    DescribeCall(call, matcher, hexOptions, hex);
  }
  out += "<tr class=\"call";
  if (text.error) out += " err";
  if (text.half != CallHalf::Both) out += " unmatched";
  out += "\" id=\"c" + std::to_string(CallNumber(call)) + "\">";
  AppendCell(out, text.time);
  AppendCell(out, std::to_string(text.processId) + "/" + std::to_string(text.threadId) +
                      (text.program.empty() ? "" : " " + text.program));
  AppendCell(out, text.address);
  out += "<td>";
  AppendHtml(out, text.method);
  out += '(';
  if (text.half == CallHalf::NoEnter) out += "no enter";
  else AppendParameters(out, text.inParameters, hexIn ? &hex.inParameters : nullptr);
  out += ")</td><td>";
  AppendParameters(out, text.outParameters, hexOut ? &hex.outParameters : nullptr);
  out += "</td>";
  AppendCell(out, text.half == CallHalf::NoExit ? "no exit" : text.status);
  AppendCell(out, text.duration);
  out += "</tr>\n";
}

// Each row is rendered with a mark in front, '+' for a call the command's filter chose and
// '-' for a context call, which Write takes off again; so the rows left out are counted
// exactly.
ReportRows::List::List(const CallFilter& f, const LineOptions& options, size_t context, ReportRows& owner)
    : filter(f),
      listing(filter, options, context, CallListing::Order::Enter,
              [this, &owner](std::string_view row) { owner.Write(*this, row); },
              ListingRender{
                  [options, &owner](const MatchedCall& call, const CallMatcher& matcher, std::string& out) {
                    out += owner.m_filter.Matches(call, matcher) ? '+' : '-';
                    AppendCallRow(call, matcher, options, out);
                  },
                  std::string(kGapRow)}) {}

ReportRows::ReportRows(const CallFilter& filter, const LineOptions& options, uint64_t maxRows, size_t context)
    : m_filter(filter),
      m_maxRows(maxRows),
      m_context(context),
      m_all(filter, options, 0, *this),
      m_errors(filter, options, context, *this) {
  m_errors.filter.errorsOnly = true;
}

bool ReportRows::Open(std::string& error) { return m_all.spool.Open(error) && m_errors.spool.Open(error); }

void ReportRows::Write(List& list, std::string_view row) {
  if (list.rows >= m_maxRows) {
    list.full = true;
    return;
  }
  if (row != kGapRow) {
    ++list.rows;
    if (row.front() == '+') ++list.chosen;
    row.remove_prefix(1);
  }
  if (std::fwrite(row.data(), 1, row.size(), list.spool.Get()) != row.size()) m_failed = true;
}

void ReportRows::Message(const TraceMessage& message) {
  // The whole list stops once it is over the limit: from then on only the errors' list counts.
  if (!m_all.full) m_all.listing.Message(message);
  if (!m_errors.full) m_errors.listing.Message(message);
}

void ReportRows::Call(const MatchedCall& call, const CallMatcher& matcher) {
  if (!m_all.full) m_all.listing.Call(call, matcher);
  if (!m_errors.full) m_errors.listing.Call(call, matcher);
}

void ReportRows::Finish() {
  if (!m_all.full) m_all.listing.Finish();
  if (!m_errors.full) m_errors.listing.Finish();
}

std::FILE* ReportRows::Rows() const { return m_all.full ? m_errors.spool.Get() : m_all.spool.Get(); }

uint64_t ReportRows::Shown() const { return m_all.full ? m_errors.rows : m_all.rows; }

std::string ReportRows::Note(uint64_t calls) const {
  if (!m_all.full) return "";
  std::string note = std::to_string(calls - std::min(calls, m_errors.chosen)) + " of " + std::to_string(calls) +
                     " calls are left out: above " + std::to_string(m_maxRows) +
                     " rows the list keeps the calls that returned an error, each with up to " +
                     std::to_string(m_context) + " calls before and after it on its thread";
  if (m_errors.full) note += ", until the list is full";
  return note + ". The summary and the timeline count every call.";
}

}  // namespace qtrace
