#include "tools/quorvel-trace/trace_export.h"

#include <cinttypes>

#include "tools/quorvel-trace/json_text.h"
#include "tools/quorvel-trace/wall_clock.h"

namespace qtrace {
namespace {
constexpr size_t kFlushBytes = 1u << 16;
constexpr size_t kArgumentBytes = 1024;  // longest argument value; arrays are cut there
}  // namespace

void TraceExport::Flush(bool force) {
  if (m_text.size() < kFlushBytes && !force) return;
  if (!m_text.empty() && std::fwrite(m_text.data(), 1, m_text.size(), m_out) != m_text.size()) m_failed = true;
  m_text.clear();
}

void TraceExport::Begin() {
  if (!m_started) m_text += "{\"displayTimeUnit\":\"ns\",\"traceEvents\":[\n";
  m_started = true;
  if (!m_first) m_text += ",\n";
  m_first = false;
}

void TraceExport::Message(const TraceMessage& message) {
  if (!m_haveOrigin) m_origin = message.timestamp;
  m_haveOrigin = true;
}

// Microseconds with three decimals, computed on integers so that no digit is lost.
void TraceExport::Time(const char* field, int64_t ns, bool relative) {
  const int64_t value = relative ? SaturatingDifference(ns, m_origin) : ns;
  const uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  char text[64];
  std::snprintf(text, sizeof text, ",\"%s\":%s%" PRIu64 ".%03" PRIu64, field, value < 0 ? "-" : "",
                magnitude / 1000, magnitude % 1000);
  m_text += text;
}

void TraceExport::Tracks(const MatchedCall& call, const CallMatcher& matcher) {
  const std::string app = Unescape(matcher.AppName(call.processId));
  const std::string name = app.empty() ? "process " + std::to_string(call.processId) : app;
  if (m_processes.insert(call.processId).second) {
    Begin();
    m_text += "{\"ph\":\"M\",\"name\":\"process_name\",\"pid\":" + std::to_string(call.processId) +
              ",\"args\":{\"name\":";
    AppendJsonString(m_text, name + " (" + std::to_string(call.processId) + ")");
    m_text += "}}";
  }
  if (m_threads.insert(uint64_t{call.processId} << 32 | call.threadId).second) {
    Begin();
    m_text += "{\"ph\":\"M\",\"name\":\"thread_name\",\"pid\":" + std::to_string(call.processId) +
              ",\"tid\":" + std::to_string(call.threadId) + ",\"args\":{\"name\":";
    AppendJsonString(m_text, name + " thread " + std::to_string(call.threadId));
    m_text += "}}";
  }
}

void TraceExport::Parameters(const char* field, std::string_view section) {
  if (section.empty()) return;
  const size_t rollback = m_text.size();
  m_text += ",\"";
  m_text += field;
  m_text += "\":{";
  m_returnValue.clear();
  bool first = true;
  std::string error;
  const bool ok = ForEachParameter(section, [&](const Parameter& p) {
    ElementValues(p.elements, kArgumentBytes, m_value);
    if (p.retVal) m_returnValue = m_value;
    if (!first) m_text += ',';
    first = false;
    AppendJsonText(m_text, p.name);
    m_text += ':';
    AppendJsonString(m_text, m_value);
  }, error);
  if (!ok) {
    m_text.resize(rollback);  // a parameters section of another shape carries no arguments
    return;
  }
  m_text += '}';
  if (!m_returnValue.empty()) {
    m_text += ",\"return\":";
    AppendJsonString(m_text, m_returnValue);
  }
}

void TraceExport::Call(const MatchedCall& call, const CallMatcher& matcher) {
  Tracks(call, matcher);
  Begin();
  const TraceMessage* exit = call.exit;
  const OpenCall* enter = call.enter;
  const bool slice = enter != nullptr && exit != nullptr;
  m_text += slice ? "{\"ph\":\"X\"" : "{\"ph\":\"i\",\"s\":\"t\"";
  m_text += ",\"name\":";
  if (enter != nullptr) {
    AppendJsonText(m_text, enter->method);
  } else {
    AppendJsonText(m_text, std::string(exit->method) + "::?");
  }
  m_text += ",\"cat\":";
  const std::string_view method = enter != nullptr ? std::string_view(enter->method) : exit->method;
  AppendJsonString(m_text, method.substr(0, method.find("::")));
  m_text += ",\"pid\":" + std::to_string(call.processId) + ",\"tid\":" + std::to_string(call.threadId);
  const int64_t start = enter != nullptr ? enter->timestamp : exit->timestamp;
  Time("ts", start, true);
  if (slice) Time("dur", exit->timestamp > start ? SaturatingDifference(exit->timestamp, start) : 0, false);
  m_text += ",\"args\":{\"address\":";
  AppendJsonText(m_text, enter != nullptr ? std::string_view(enter->address) : exit->address);
  if (enter != nullptr) Parameters("params", enter->parameters);
  if (exit != nullptr) {
    // A double written whole takes up to 309 digits; the text must never be cut short.
    char text[400];
    std::snprintf(text, sizeof text, ",\"elapsed_ns\":%.0f,\"hresult\":%" PRId32 ",\"error\":%s", exit->elapsedNs,
                  exit->hresult, exit->kind == MessageKind::Error ? "true" : "false");
    m_text += text;
    Parameters("results", exit->parameters);
  }
  if (!slice) m_text += enter != nullptr ? ",\"unmatched\":\"no exit\"" : ",\"unmatched\":\"no enter\"";
  m_text += "}}";
  ++(slice ? m_slices : m_instants);
  Flush(false);
}

bool TraceExport::Finish() {
  if (!m_started) m_text += "{\"displayTimeUnit\":\"ns\",\"traceEvents\":[\n";
  m_text += "\n]}\n";
  Flush(true);
  if (std::fflush(m_out) != 0) m_failed = true;
  return !m_failed;
}

}  // namespace qtrace
