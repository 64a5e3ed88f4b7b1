#include "support/options.h"

#include <cstdio>

namespace support {

bool ParseInteger(std::string_view text, int64_t min, int64_t max, int64_t& out) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && text[i] == '-') {
    negative = true;
    ++i;
  }
  if (i == text.size()) return false;
  // Accumulate as a negative number so that the full int64 range stays representable
  // long enough to compare against the bounds.
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return false;
    if (value < (INT64_MIN + (c - '0')) / 10) return false;
    value = value * 10 - (c - '0');
  }
  if (!negative) {
    if (value == INT64_MIN) return false;
    value = -value;
  }
  if (value < min || value > max) return false;
  out = value;
  return true;
}

OptionParser::OptionParser(std::string program, std::string usageLine, std::string description)
    : m_program(std::move(program)), m_usageLine(std::move(usageLine)), m_description(std::move(description)) {}

void OptionParser::AddFlag(std::string name, std::string help, std::function<void()> handler) {
  m_options.push_back({std::move(name), {}, std::move(help), std::move(handler), {}});
}

void OptionParser::AddValue(std::string name, std::string valueName, std::string help, ValueHandler handler) {
  m_options.push_back({std::move(name), std::move(valueName), std::move(help), {}, std::move(handler)});
}

void OptionParser::AddInteger(std::string name, std::string valueName, std::string help, int64_t min,
                              int64_t max, std::function<void(int64_t)> handler) {
  AddValue(std::move(name), std::move(valueName), std::move(help),
           [min, max, handler = std::move(handler)](std::string_view value) -> std::string {
             int64_t n = 0;
             if (!ParseInteger(value, min, max, n)) {
               return "expects a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
                      ", got \"" + std::string(value) + "\"";
             }
             handler(n);
             return {};
           });
}

void OptionParser::AddOperand(std::string valueName, std::string help, ValueHandler handler) {
  m_operands.push_back({std::move(valueName), {}, std::move(help), {}, std::move(handler)});
}

const OptionParser::Option* OptionParser::Find(std::string_view name) const {
  for (const Option& option : m_options) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

OptionParser::Outcome OptionParser::Fail(std::string message) {
  m_lastError = std::move(message);
  std::fprintf(stderr, "%s: error: %s\n", m_program.c_str(), m_lastError.c_str());
  std::fprintf(stderr, "usage: %s %s\n(see %s --help)\n", m_program.c_str(), m_usageLine.c_str(), m_program.c_str());
  return Outcome::Error;
}

OptionParser::Outcome OptionParser::Parse(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return Parse(args);
}

std::optional<int> OptionParser::ExitCodeUnlessRun(int argc, const char* const* argv) {
  switch (Parse(argc, argv)) {
    case Outcome::HelpShown:
      return 0;
    case Outcome::Error:
      return 2;
    case Outcome::Run:
      break;
  }
  return std::nullopt;
}

OptionParser::Outcome OptionParser::Parse(const std::vector<std::string>& args) {
  size_t operand = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string_view arg = args[i];
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      std::fputs(HelpText().c_str(), stdout);
      std::fflush(stdout);
      return Outcome::HelpShown;
    }
    // Operands: anything that does not look like an option, and "-" (standard input or output).
    if (arg == "-" || arg.empty() || arg[0] != '-') {
      if (operand == m_operands.size()) return Fail("unexpected argument \"" + std::string(arg) + "\"");
      if (std::string error = m_operands[operand].value(arg); !error.empty()) {
        return Fail(m_operands[operand].name + ": " + error);
      }
      ++operand;
      continue;
    }
    std::string_view name = arg;
    std::string_view inlineValue;
    bool hasInlineValue = false;
    // Only long options take an inline value; "-o=x" is the short option's value "=x".
    if (size_t eq = arg.find('='); eq != std::string_view::npos && arg.starts_with("--")) {
      name = arg.substr(0, eq);
      inlineValue = arg.substr(eq + 1);
      hasInlineValue = true;
    }
    const Option* option = Find(name);
    if (!option) return Fail("unknown option \"" + std::string(name) + "\"");
    if (option->valueName.empty()) {
      if (hasInlineValue) return Fail("option " + option->name + " takes no value");
      option->flag();
      continue;
    }
    std::string value;
    if (hasInlineValue) {
      value = std::string(inlineValue);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      return Fail("option " + option->name + " needs a value (" + option->valueName + ")");
    }
    if (std::string error = option->value(value); !error.empty()) {
      return Fail("option " + option->name + ": " + error);
    }
  }
  return Outcome::Run;
}

std::string OptionParser::HelpText() const {
  std::string text = "usage: " + m_program + " " + m_usageLine + "\n\n" + m_description + "\n\noptions:\n";
  std::vector<Option> all = m_operands;
  all.insert(all.end(), m_options.begin(), m_options.end());
  all.push_back({"--help", {}, "show this text and exit", {}, {}});
  for (const Option& option : all) {
    std::string head = "  " + option.name;
    if (!option.valueName.empty()) head += " " + option.valueName;
    text += head;
    // Help texts may hold several lines; continuation lines start in the help column.
    std::string_view help = option.help;
    size_t column = head.size();
    for (;;) {
      size_t nl = help.find('\n');
      text += std::string(column < 30 ? 30 - column : 1, ' ');
      text += help.substr(0, nl);
      text += "\n";
      if (nl == std::string_view::npos) break;
      help.remove_prefix(nl + 1);
      column = 0;
    }
  }
  if (!m_epilogue.empty()) text += "\n" + m_epilogue;
  return text;
}

}  // namespace support
