#include "trace_commands.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>

#include "call_matcher.h"
#include "trace_export.h"
#include "trace_reader.h"
#include "trace_summary.h"
#include "trace_timeline.h"

namespace qtrace {

const char kUsage[] =
    "usage: quorvel-trace capture [-o FILE] [--for SECONDS] [--array-limit N] [--stop-event NAME]\n"
    "       quorvel-trace summary FILE [--csv]\n"
    "       quorvel-trace export FILE -o OUT.json\n"
    "       quorvel-trace timeline FILE -o OUT.svg\n";

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File Open(const std::string& path, const char* mode, std::ostream& err) {
  File file(std::fopen(path.c_str(), mode));
  if (!file) err << "quorvel-trace: error: cannot open " << path << ": " << std::strerror(errno) << "\n";
  return file;
}

using OnCall = std::function<void(const MatchedCall&, const CallMatcher&)>;
using OnMessage = std::function<void(const TraceMessage&)>;

// Reads every message of |path| and pairs its calls; false (reported) on a bad file.
bool ForEachCall(const std::string& path, std::ostream& err, bool keepParameters, const OnCall& onCall,
                 const OnMessage& onMessage = nullptr, uint64_t* messages = nullptr) {
  const File file = Open(path, "rb", err);
  if (!file) return false;
  TraceReader reader(file.get(), path);
  const CallMatcher* self = nullptr;
  CallMatcher matcher([&](const MatchedCall& call) { onCall(call, *self); }, keepParameters);
  self = &matcher;
  TraceMessage message;
  while (reader.Next(message)) {
    if (onMessage) onMessage(message);
    matcher.Feed(message);
  }
  if (!reader.Error().empty()) {
    err << "quorvel-trace: error: " << reader.Error() << "\n";
    return false;
  }
  matcher.Finish();
  if (messages != nullptr) *messages = reader.Messages();
  return true;
}

}  // namespace

int RunSummary(const std::string& capture, bool csv, std::ostream& out, std::ostream& err) {
  TraceSummary summary;
  uint64_t messages = 0;
  const bool ok = ForEachCall(
      capture, err, false, [&](const MatchedCall& call, const CallMatcher& m) { summary.Add(call, m); }, nullptr,
      &messages);
  if (!ok) return kExitFailed;
  if (csv) summary.WriteCsv(out);
  else summary.WriteTable(out, messages);
  return kExitOk;
}

int RunExport(const std::string& capture, const std::string& json, std::ostream& out, std::ostream& err) {
  File file = Open(json, "wb", err);
  if (!file) return kExitFailed;
  TraceExport exporter(file.get());
  const bool read = ForEachCall(
      capture, err, true, [&](const MatchedCall& call, const CallMatcher& m) { exporter.Call(call, m); },
      [&](const TraceMessage& m) { exporter.Message(m); });
  const bool written = read && exporter.Finish();
  if (!written) {
    // No half-written document is left behind to be taken for an export.
    file.reset();
    std::remove(json.c_str());
    if (read) err << "quorvel-trace: error: cannot write " << json << "\n";
    return kExitFailed;
  }
  out << "quorvel-trace: " << exporter.Slices() << " calls, " << exporter.Instants()
      << " calls without their other half, written to " << json << "\n";
  return kExitOk;
}

int RunTimeline(const std::string& capture, const std::string& svg, std::ostream& out, std::ostream& err) {
  TraceTimeline timeline;
  if (!ForEachCall(capture, err, false, [&](const MatchedCall& c, const CallMatcher& m) { timeline.Add(c, m); })) {
    return kExitFailed;
  }
  std::ofstream file(svg, std::ios::binary);
  if (file) timeline.Write(file, "quorvel-trace timeline of " + capture);
  if (!file || !file.flush()) {
    err << "quorvel-trace: error: cannot write " << svg << "\n";
    return kExitFailed;
  }
  out << "quorvel-trace: timeline of " << timeline.Lanes() << " threads written to " << svg << "\n";
  return kExitOk;
}

int RunFileCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return kExitUsage;
  }
  const std::string& command = args[0];
  std::string input, output;
  bool csv = false;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--csv" && command == "summary") {
      csv = true;
    } else if (args[i] == "-o" && command != "summary" && i + 1 < args.size()) {
      output = args[++i];
    } else if (input.empty() && !args[i].starts_with("-")) {
      input = args[i];
    } else {
      err << "quorvel-trace: error: unexpected argument \"" << args[i] << "\" for " << command << "\n" << kUsage;
      return kExitUsage;
    }
  }
  const bool known = command == "summary" || command == "export" || command == "timeline";
  if (!known || input.empty() || (command != "summary" && output.empty())) {
    err << (known ? "quorvel-trace: error: missing file name\n" : "quorvel-trace: error: unknown command\n")
        << kUsage;
    return kExitUsage;
  }
  if (command == "summary") return RunSummary(input, csv, out, err);
  if (command == "export") return RunExport(input, output, out, err);
  return RunTimeline(input, output, out, err);
}

}  // namespace qtrace
