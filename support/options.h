// Command-line options of a program: "--name VALUE", "--name=VALUE", short options
// ("-o VALUE"), flags and positional operands, with a generated --help text.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace support {

// Parses a whole decimal integer (optional '-', digits only) within [min, max].
bool ParseInteger(std::string_view text, int64_t min, int64_t max, int64_t& out);

class OptionParser {
 public:
  // The handler of a value option returns an error text, or an empty string to accept.
  using ValueHandler = std::function<std::string(std::string_view value)>;

  OptionParser(std::string program, std::string usageLine, std::string description);

  void AddFlag(std::string name, std::string help, std::function<void()> handler);
  void AddValue(std::string name, std::string valueName, std::string help, ValueHandler handler);
  // Integer option whose value must lie in [min, max]; the result goes to *target.
  void AddInteger(std::string name, std::string valueName, std::string help, int64_t min, int64_t max,
                  std::function<void(int64_t)> handler);
  // A positional operand: the next argument that is not an option ("-" included), in the
  // order the operands were added.
  void AddOperand(std::string valueName, std::string help, ValueHandler handler);
  // Free text appended to --help (examples, exit codes).
  void AddEpilogue(std::string text) { m_epilogue += text; }

  enum class Outcome { Run, HelpShown, Error };
  // Applies the options in order. --help/-h prints the help to stdout; a bad option
  // prints one error line and the usage line to stderr.
  Outcome Parse(int argc, const char* const* argv);
  Outcome Parse(const std::vector<std::string>& args);
  // For main(): nothing when the program should run, else its exit code (0 after --help,
  // 2 after a bad command line).
  std::optional<int> ExitCodeUnlessRun(int argc, const char* const* argv);

  std::string HelpText() const;
  const std::string& LastError() const { return m_lastError; }

 private:
  struct Option {
    std::string name;
    std::string valueName;  // empty for a flag
    std::string help;
    std::function<void()> flag;
    ValueHandler value;
  };
  const Option* Find(std::string_view name) const;
  Outcome Fail(std::string message);

  std::string m_program;
  std::string m_usageLine;
  std::string m_description;
  std::string m_epilogue;
  std::vector<Option> m_options;
  std::vector<Option> m_operands;
  std::string m_lastError;
};

}  // namespace support
