#include <charconv>

#include "report_command.h"
#include "trace_commands.h"

namespace qtrace {
namespace {

const char kUsage[] =
    "usage: quorvel-trace list FILE [filters] [--context N] [--hex] [-s N]\n"
    "       quorvel-trace summary FILE [filters] [--csv]\n"
    "       quorvel-trace export FILE -o OUT.json [filters]\n"
    "       quorvel-trace timeline FILE -o OUT.svg [filters]\n"
    "       quorvel-trace report FILE -o OUT.html [filters] [--max-rows N] [--context N] [-s N]\n";

const ReadOption* FindReadOption(std::string_view name) {
  for (const ReadOption& o : ReadOptionTable()) {
    if (o.name == name) return &o;
  }
  return nullptr;
}

bool ParseCount(const std::string& text, size_t& out) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

int RunFileCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return kExitUsage;
  }
  const std::string& command = args[0];
  std::string input, output;
  bool csv = false;
  ReadOptions read;
  ListOptions list;
  ReportOptions report;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    std::string error;
    if (const ReadOption* o = FindReadOption(arg)) {
      if (!o->valueName.empty() && !hasValue) error = "needs a value";
      else error = o->apply(read, o->valueName.empty() ? std::string_view() : std::string_view(args[++i]));
    } else if (arg == "--csv" && command == "summary") {
      csv = true;
    } else if (arg == "--hex" && command == "list") {
      list.line.hex = true;
    } else if (arg == "--context" && command == "list" && hasValue) {
      if (!ParseCount(args[++i], list.context)) error = "expects a number";
    } else if (arg == "-s" && command == "list" && hasValue) {
      if (!ParseCount(args[++i], list.line.maxChars)) error = "expects a number";
    } else if (arg == "--max-rows" && command == "report" && hasValue) {
      if (!ParseCount(args[++i], report.maxRows) || report.maxRows == 0) error = "expects a number above 0";
    } else if (arg == "--context" && command == "report" && hasValue) {
      if (!ParseCount(args[++i], report.context)) error = "expects a number";
    } else if (arg == "-s" && command == "report" && hasValue) {
      if (!ParseCount(args[++i], report.line.maxChars)) error = "expects a number";
    } else if (arg == "-o" && (command == "export" || command == "timeline" || command == "report") && hasValue) {
      output = args[++i];
    } else if (input.empty() && (arg == "-" || !arg.starts_with("-"))) {
      input = arg;
    } else {
      error = "unexpected argument";
    }
    if (!error.empty()) {
      err << "quorvel-trace: error: " << arg << ": " << error << "\n" << kUsage;
      return kExitUsage;
    }
  }
  const bool writes = command == "export" || command == "timeline" || command == "report";
  if (input.empty() || (writes && output.empty())) {
    err << "quorvel-trace: error: missing file name\n" << kUsage;
    return kExitUsage;
  }
  if (command == "list") return RunList(input, read, list, out, err);
  if (command == "summary") return RunSummary(input, read, csv, out, err);
  if (command == "export") return RunExport(input, read, output, out, err);
  if (command == "timeline") return RunTimeline(input, read, output, out, err);
  if (command == "report") return RunReport(input, read, report, output, out, err);
  err << "quorvel-trace: error: unknown command\n" << kUsage;
  return kExitUsage;
}

}  // namespace qtrace
