#include "shell/command_options.h"

#include <cstring>

namespace {

struct OptionText {
  const char* text;
  CommandOption option;
};

constexpr OptionText kOptions[] = {
    {"-e", CommandOption::kEditRm},     {"-r", CommandOption::kRefreshRm}, {"-h", CommandOption::kHideRm},
    {"-s0", CommandOption::kHideIcon},  {"-s1", CommandOption::kShowIcon}, {"-q", CommandOption::kQuiet},
    {"-o", CommandOption::kRebootDone}, {"-x", CommandOption::kExit},
};

}  // namespace

CommandOption ParseCommandOption(const char* commandLine) {
  if (commandLine == nullptr) return CommandOption::kNone;
  for (const OptionText& entry : kOptions) {
    if (std::strcmp(commandLine, entry.text) == 0) return entry.option;
  }
  return CommandOption::kNone;
}
