#pragma once
// The one-word options that installers, tools and the user's log-on pass to the program.
// The whole command-line tail is compared, case-sensitively, with each option: there is
// no splitting into words, so "-x " or "/x" is no option at all.

enum class CommandOption {
  kNone,          // empty or any other text: start (or re-show) normally
  kEditRm,        // "-e"
  kRefreshRm,     // "-r"
  kHideRm,        // "-h"
  kHideIcon,      // "-s0"
  kShowIcon,      // "-s1"
  kQuiet,         // "-q"
  kRebootDone,    // "-o"
  kExit,          // "-x"
};

CommandOption ParseCommandOption(const char* commandLine);
