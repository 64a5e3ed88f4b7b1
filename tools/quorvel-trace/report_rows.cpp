#include "tools/quorvel-trace/report_rows.h"

#include <algorithm>
#include <cstring>

#include "tools/quorvel-trace/html_text.h"
#include "tools/quorvel-trace/report_page.h"

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

// A call packed into the text the listing holds, so that only the rows that are written
// get rendered: a listing with context holds every call until it knows whether it is
// needed, and most never are. The record is the call's numbers, then its texts, each with
// its length in front.
struct PackedCall {
  uint32_t processId = 0, threadId = 0;
  uint64_t sequence = 0;
  int64_t enterTime = 0, exitTime = 0;
  double elapsedNs = 0;
  int32_t hresult = 0;
  bool chosen = false, hasEnter = false, hasExit = false, error = false;
};

void PackText(std::string& out, std::string_view text) {
  const auto size = static_cast<uint32_t>(text.size());
  out.append(reinterpret_cast<const char*>(&size), sizeof size);
  out.append(text);
}

std::string_view UnpackText(std::string_view& in) {
  uint32_t size = 0;
  std::memcpy(&size, in.data(), sizeof size);
  const std::string_view text = in.substr(sizeof size, size);
  in.remove_prefix(sizeof size + size);
  return text;
}

void Pack(const MatchedCall& call, std::string_view appName, bool chosen, std::string& out) {
  PackedCall p;
  p.processId = call.processId;
  p.threadId = call.threadId;
  p.sequence = call.sequence;
  p.chosen = chosen;
  p.hasEnter = call.enter != nullptr;
  p.hasExit = call.exit != nullptr;
  if (p.hasEnter) p.enterTime = call.enter->timestamp;
  if (p.hasExit) {
    p.exitTime = call.exit->timestamp;
    p.elapsedNs = call.exit->elapsedNs;
    p.hresult = call.exit->hresult;
    p.error = call.exit->kind == MessageKind::Error;
  }
  out.append(reinterpret_cast<const char*>(&p), sizeof p);
  PackText(out, appName);
  PackText(out, p.hasEnter ? std::string_view(call.enter->method) : std::string_view());
  PackText(out, p.hasEnter ? std::string_view(call.enter->address) : std::string_view());
  PackText(out, p.hasEnter ? std::string_view(call.enter->parameters) : std::string_view());
  PackText(out, p.hasExit ? call.exit->method : std::string_view());
  PackText(out, p.hasExit ? call.exit->address : std::string_view());
  PackText(out, p.hasExit ? call.exit->parameters : std::string_view());
}

PackedCall PackedNumbers(std::string_view packed) {
  PackedCall p;
  std::memcpy(&p, packed.data(), sizeof p);
  return p;
}

// Appends the row of a packed call.
void RenderPacked(std::string_view in, const LineOptions& options, std::string& out) {
  PackedCall p;
  std::memcpy(&p, in.data(), sizeof p);
  in.remove_prefix(sizeof p);
  const std::string_view appName = UnpackText(in);
  OpenCall enter;
  enter.method = UnpackText(in);
  enter.address = UnpackText(in);
  enter.parameters = UnpackText(in);
  enter.timestamp = p.enterTime;
  TraceMessage exit;
  exit.method = UnpackText(in);
  exit.address = UnpackText(in);
  exit.parameters = UnpackText(in);
  exit.kind = p.error ? MessageKind::Error : MessageKind::Exit;
  exit.timestamp = p.exitTime;
  exit.elapsedNs = p.elapsedNs;
  exit.hresult = p.hresult;
  const MatchedCall call{p.processId, p.threadId, 0, p.sequence, p.hasEnter ? &enter : nullptr,
                         p.hasExit ? &exit : nullptr};
  AppendCallRow(call, appName, options, out);
}

}  // namespace

void AppendCallRow(const MatchedCall& call, std::string_view appName, const LineOptions& options, std::string& out) {
  thread_local CallFields text, hex;
  DescribeCall(call, appName, options, text);
  const bool hexIn = call.enter != nullptr && HasBuffer(call.enter->parameters);
  const bool hexOut = call.exit != nullptr && HasBuffer(call.exit->parameters);
  if (hexIn || hexOut) {
    LineOptions hexOptions = options;
    hexOptions.hex = true;
    DescribeCall(call, appName, hexOptions, hex);
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

// The listing holds packed calls, marked with whether the command's filter chose them (a
// context call is not chosen), so that the rows left out are counted exactly.
ReportRows::List::List(const CallFilter& f, const LineOptions& options, size_t context, ReportRows& owner)
    : filter(f),
      listing(filter, options, context, CallListing::Order::Enter,
              [this, &owner](std::string_view packed) { owner.Write(*this, packed); },
              ListingRender{
                  [&owner](const MatchedCall& call, const CallMatcher& matcher, std::string& out) {
                    Pack(call, matcher.AppName(call.processId), owner.m_chosen, out);
                  },
                  std::string(kGapRow)}) {}

ReportRows::ReportRows(const CallFilter& filter, const LineOptions& options, uint64_t maxRows, size_t context)
    : m_options(options),
      m_maxRows(maxRows),
      m_context(context),
      m_all(filter, options, 0, *this),
      m_errors(filter, options, context, *this) {
  m_errors.filter.errorsOnly = true;
}

bool ReportRows::Open(std::string& error) { return m_all.spool.Open(error) && m_errors.spool.Open(error); }

// The spool holds each packed call, and a gap as an empty record: only the list that is
// shown gets rendered, once the capture has been read.
void ReportRows::Write(List& list, std::string_view packed) {
  if (list.rows >= m_maxRows) {
    list.full = true;
    return;
  }
  const bool gap = packed == kGapRow;
  if (!gap) {
    ++list.rows;
    if (PackedNumbers(packed).chosen) ++list.chosen;
  }
  m_record.clear();
  PackText(m_record, gap ? std::string_view() : packed);
  if (std::fwrite(m_record.data(), 1, m_record.size(), list.spool.Get()) != m_record.size()) m_failed = true;
}

void ReportRows::Render(const std::function<void(std::string_view)>& put) {
  std::FILE* spool = (m_all.full ? m_errors : m_all).spool.Get();
  std::rewind(spool);
  std::string record, html;
  uint64_t tableRows = 0;
  for (uint32_t size = 0; std::fread(&size, sizeof size, 1, spool) == 1; ++tableRows) {
    record.resize(size);
    if (std::fread(record.data(), 1, size, spool) != size) break;
    html.clear();
    if (tableRows > 0 && tableRows % kRowsPerBlock == 0) AppendRowBlockBreak(html);
    if (size == 0) html += kGapRow;
    else RenderPacked(record, m_options, html);
    put(html);
  }
  if (std::ferror(spool) || !std::feof(spool)) m_failed = true;
}

void ReportRows::Message(const TraceMessage& message) {
  // The lists' own filters fix their time window at the capture's first message, as the
  // command's filter does.
  if (!m_begun) {
    m_begun = true;
    m_all.filter.Begin(message.timestamp);
    m_errors.filter.Begin(message.timestamp);
  }
  // The whole list stops once it is over the limit: from then on only the errors' list counts.
  if (!m_all.full) m_all.listing.Message(message);
  if (!m_errors.full) m_errors.listing.Message(message);
}

void ReportRows::Call(const MatchedCall& call, const CallMatcher& matcher, bool chosen) {
  m_chosen = chosen;
  if (!m_all.full) m_all.listing.Call(call, matcher);
  if (!m_errors.full) m_errors.listing.Call(call, matcher);
}

void ReportRows::Finish() {
  if (!m_all.full) m_all.listing.Finish();
  if (!m_errors.full) m_errors.listing.Finish();
}

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
