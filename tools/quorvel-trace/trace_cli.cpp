#include <algorithm>

#include "base/results.h"
#include "support/options.h"
#include "tools/quorvel-trace/report_command.h"
#include "tools/quorvel-trace/trace_commands.h"

namespace qtrace {
namespace {

using support::OptionParser;

struct Command {
  std::string_view name, usage, description;
};

constexpr Command kCommands[] = {
    {"list", "FILE [filters] [--context N] [--hex] [-s N]",
     "Lists the calls of a capture, one line each in the order they began: time, process/thread\n"
     "and program, instrument address, method(in-parameters) -> out-parameters = status, duration."},
    {"summary", "FILE [filters] [--csv]",
     "Summarises a capture: its time span, calls and durations by method, address, process and\n"
     "thread, and the errors by status."},
    {"export", "FILE -o OUT.json [filters]",
     "Exports a capture as Trace Event Format JSON (a slice per call, a track per thread)."},
    {"timeline", "FILE -o OUT.svg [filters]", "Draws a capture as an SVG timeline, a lane per thread."},
    {"report", "FILE -o OUT.html [filters] [--max-rows N] [--context N] [-s N]",
     "Writes a capture as one self-contained HTML page: its facts, the summary tables, the\n"
     "timeline and the call list with a filter box. The page fetches nothing; open it in any\n"
     "browser. OUT.html#q=WORDS&errors=1 opens it filtered."},
};

// What a reading command was asked to do.
struct CommandLine {
  std::string input, output;
  bool csv = false;
  ReadOptions read;
  ListOptions list;
  ReportOptions report;
};

void AddInput(OptionParser& p, CommandLine& c) {
  p.AddOperand("FILE", "the capture file; - reads standard input", [&c](std::string_view v) {
    c.input = v;
    return std::string();
  });
}

void AddOutput(OptionParser& p, CommandLine& c, const char* what) {
  p.AddValue("-o", "OUT", std::string("write the ") + what + " to OUT (- for standard output)",
             [&c](std::string_view v) {
               c.output = v;
               return v.empty() ? std::string("needs a file name") : std::string();
             });
}

OptionParser MakeParser(const Command& command, CommandLine& c) {
  OptionParser p("quorvel-trace " + std::string(command.name), std::string(command.usage),
                 std::string(command.description));
  AddInput(p, c);
  if (command.name == "list") {
    p.AddInteger("--context", "N", "also the N calls before and after each chosen call on its thread", 0, 1000000,
                 [&c](int64_t n) { c.list.context = static_cast<size_t>(n); });
    AddLineOptions(p, c.list.line);
  } else if (command.name == "summary") {
    p.AddFlag("--csv", "the tables as CSV (the closing line goes to standard error)", [&c] { c.csv = true; });
  } else if (command.name == "report") {
    AddOutput(p, c, "page");
    p.AddInteger("--max-rows", "N",
                 "above N calls the list keeps only the errors with the calls around them (default 50000)", 1,
                 INT64_MAX, [&c](int64_t n) { c.report.maxRows = static_cast<size_t>(n); });
    p.AddInteger("--context", "N", "calls kept before and after each such error on its thread (default 2)", 0,
                 1000000, [&c](int64_t n) { c.report.context = static_cast<size_t>(n); });
    p.AddInteger("-s", "N", "cut values at N characters, giving the full length (default 40)", 1, 1 << 20,
                 [&c](int64_t n) { c.report.line.maxChars = static_cast<size_t>(n); });
  } else {
    AddOutput(p, c, command.name == "export" ? "JSON document" : "SVG picture");
  }
  AddReadOptions(p, c.read);
  p.AddEpilogue("Exit codes: 0 done, 1 failed (damaged input, unwritable output), 2 bad command line.\n");
  return p;
}

int Dispatch(const Command& command, CommandLine& c, std::ostream& out, std::ostream& err) {
  if (command.name == "list") return RunList(c.input, c.read, c.list, out, err);
  if (command.name == "summary") return RunSummary(c.input, c.read, c.csv, out, err);
  if (command.name == "export") return RunExport(c.input, c.read, c.output, out, err);
  if (command.name == "report") return RunReport(c.input, c.read, c.report, c.output, out, err);
  return RunTimeline(c.input, c.read, c.output, out, err);
}

}  // namespace

void AddReadOptions(OptionParser& parser, ReadOptions& read) {
  for (const ReadOption& o : ReadOptionTable()) {
    if (o.valueName.empty()) {
      parser.AddFlag(std::string(o.name), std::string(o.help), [&read, &o] { IgnoreResult(o.apply(read, {})); });
    } else {
      parser.AddValue(std::string(o.name), std::string(o.valueName), std::string(o.help),
                      [&read, &o](std::string_view v) { return o.apply(read, v); });
    }
  }
}

void AddLineOptions(OptionParser& parser, LineOptions& line) {
  parser.AddFlag("--hex", "byte buffers in hexadecimal instead of quoted text", [&line] { line.hex = true; });
  parser.AddInteger("-s", "N", "cut values at N characters, giving the full length (default 40)", 1, 1 << 20,
                    [&line](int64_t n) { line.maxChars = static_cast<size_t>(n); });
}

std::string Usage() {
  std::string text = "usage: quorvel-trace capture [-o FILE] [--for SECONDS] [--stop-event NAME] [--show [filters]]\n";
  for (const Command& c : kCommands) text += "       quorvel-trace " + std::string(c.name) + " " + std::string(c.usage) + "\n";
  return text + "(quorvel-trace COMMAND --help tells more; FILE and OUT may be - for standard input and output)\n";
}

int RunFileCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  const auto command = std::find_if(std::begin(kCommands), std::end(kCommands),
                                    [&](const Command& c) { return !args.empty() && c.name == args[0]; });
  if (command == std::end(kCommands)) {
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
      out << Usage();
      return kExitOk;
    }
    err << "quorvel-trace: error: " << (args.empty() ? "no command" : "unknown command \"" + args[0] + "\"") << "\n"
        << Usage();
    return kExitUsage;
  }
  CommandLine c;
  OptionParser parser = MakeParser(*command, c);
  switch (parser.Parse(std::vector<std::string>(args.begin() + 1, args.end()))) {
    case OptionParser::Outcome::HelpShown:
      return kExitOk;
    case OptionParser::Outcome::Error:
      return kExitUsage;
    case OptionParser::Outcome::Run:
      break;
  }
  const bool writes = command->name == "export" || command->name == "timeline" || command->name == "report";
  if (c.input.empty() || (c.output.empty() && writes)) {
    err << "quorvel-trace " << command->name << ": error: " << (c.input.empty() ? "no capture FILE" : "no -o OUT")
        << "\nusage: quorvel-trace " << command->name << " " << command->usage << "\n";
    return kExitUsage;
  }
  return Dispatch(*command, c, out, err);
}

}  // namespace qtrace
