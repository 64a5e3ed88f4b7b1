#include "tools/quorvel-trace/call_line.h"

#include "tools/quorvel-trace/call_filter.h"
#include "tools/quorvel-trace/trace_message.h"
#include "tools/quorvel-trace/trace_summary.h"
#include "tools/quorvel-trace/visa_status_names.h"
#include "tools/quorvel-trace/wall_clock.h"

namespace qtrace {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendEscaped(unsigned char c, std::string& out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  switch (c) {
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\0': out += "\\0"; return;
    case '\\': out += "\\\\"; return;
    case '"': out += "\\\""; return;
    default: break;
  }
  if (c < 0x20 || c >= 0x7F) {
    out += "\\x";
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  } else {
    out += static_cast<char>(c);
  }
}

// The value of one parameter: its byte run, or its values ("5", "{1,2,3}").
void AppendValue(const Parameter& p, const LineOptions& options, std::string& scratch, std::string& out) {
  constexpr std::string_view kHex = "BinHexValue=\"";
  const size_t hex = p.elements.find(kHex);
  if (hex != std::string_view::npos) {
    const size_t start = hex + kHex.size();
    const size_t end = p.elements.find('"', start);
    AppendBytes(p.elements.substr(start, end == std::string_view::npos ? 0 : end - start), options, out);
    return;
  }
  ElementValues(p.elements, options.maxChars, scratch);
  const bool several = p.type.starts_with("array_");
  if (several) out += '{';
  out += scratch;
  if (several) out += '}';
}

void AppendParameters(std::string_view section, bool in, const LineOptions& options, std::string& out) {
  out.clear();
  std::string scratch, error;
  const bool ok = ForEachParameter(section, [&](const Parameter& p) {
    if (in ? !p.in : !(p.out || p.retVal)) return;
    if (!out.empty()) out += ", ";
    out.append(p.name);
    out += '=';
    AppendValue(p, options, scratch, out);
  }, error);
  if (!ok) out = "(parameters unreadable)";
}

// Captured text may hold control characters (an address with an escaped line end, a stray
// carriage return): they are written as \xHH so that a call is always one line.
void AppendText(std::string_view text, std::string& out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != 0x7F) continue;
    out.append(text.substr(start, i - start));
    out += "\\x";
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
    start = i + 1;
  }
  out.append(text.substr(start));
}

}  // namespace

void AppendBytes(std::string_view hexDigits, const LineOptions& options, std::string& out) {
  const size_t bytes = hexDigits.size() / 2;
  const size_t start = out.size();
  if (options.hex) {
    const size_t shown = std::min(hexDigits.size() & ~size_t{1}, options.maxChars & ~size_t{1});
    out.append(hexDigits.substr(0, shown));
    if (shown < bytes * 2) out += "...(" + std::to_string(bytes) + " bytes)";
    return;
  }
  out += '"';
  size_t i = 0;
  for (; i < bytes; ++i) {
    const int high = HexValue(hexDigits[2 * i]), low = HexValue(hexDigits[2 * i + 1]);
    const size_t before = out.size();
    AppendEscaped(static_cast<unsigned char>(high < 0 || low < 0 ? '?' : high * 16 + low), out);
    // Cut before an escape that would pass the limit, never inside one.
    if (out.size() - start - 1 > options.maxChars) {
      out.resize(before);
      break;
    }
  }
  out += '"';
  if (i < bytes) out += "...(" + std::to_string(bytes) + " bytes)";
}

void DescribeCall(const MatchedCall& call, const CallMatcher& matcher, const LineOptions& options,
                  CallFields& fields) {
  DescribeCall(call, matcher.AppName(call.processId), options, fields);
}

void DescribeCall(const MatchedCall& call, std::string_view appName, const LineOptions& options, CallFields& f) {
  const OpenCall* enter = call.enter;
  const TraceMessage* exit = call.exit;
  f.half = enter == nullptr ? CallHalf::NoEnter : exit == nullptr ? CallHalf::NoExit : CallHalf::Both;
  f.time = ClockText(enter != nullptr ? enter->timestamp : exit->timestamp, options.utc);
  f.processId = call.processId;
  f.threadId = call.threadId;
  Unescape(appName, f.program);
  Unescape(enter != nullptr ? std::string_view(enter->address) : exit->address, f.address);
  Unescape(enter != nullptr ? std::string_view(enter->method) : exit->method, f.method);
  const bool visa = IsVisaMethod(f.method);
  if (enter != nullptr) f.method.erase(0, f.method.size() - MethodName(f.method).size());
  else f.method += "::?";
  if (enter != nullptr) AppendParameters(enter->parameters, true, options, f.inParameters);
  else f.inParameters.clear();
  f.error = exit != nullptr && exit->kind == MessageKind::Error;
  if (exit != nullptr) {
    AppendParameters(exit->parameters, false, options, f.outParameters);
    f.status = StatusText(exit->hresult, visa);
    f.duration = FormatDuration(exit->elapsedNs);
  } else {
    f.outParameters.clear();
    f.status.clear();
    f.duration.clear();
  }
}

void AppendCallLine(const CallFields& f, std::string& out) {
  out += f.time;
  out += "  ";
  out += std::to_string(f.processId);
  out += '/';
  out += std::to_string(f.threadId);
  if (!f.program.empty()) {
    out += ' ';
    AppendText(f.program, out);
  }
  out += "  ";
  AppendText(f.address, out);
  out += "  ";
  AppendText(f.method, out);
  out += '(';
  AppendText(f.half == CallHalf::NoEnter ? "no enter" : f.inParameters, out);
  out += ')';
  if (f.half == CallHalf::NoExit) {
    out += " -> (no exit)\n";
    return;
  }
  if (!f.outParameters.empty()) {
    out += " -> ";
    AppendText(f.outParameters, out);
  }
  out += " = ";
  out += f.status;
  out += "  ";
  out += f.duration;
  out += '\n';
}

}  // namespace qtrace
