// quorvel-xlate: decodes captured trace messages to the XML the relay writes to the
// trace viewer. The command itself is a function so that tests can run it in-process.
#pragma once

#include <cstdio>

#include "trace/xlate/narrow_code_page.h"

namespace quorvel::xlate {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUnreadableOrUsage = 2;

// Runs the command with argv[1..argc-1]; writes translations to out and messages to err.
int RunXlate(int argc, const char* const* argv, std::FILE* out, std::FILE* err, const NarrowCodePage& codePage);

}  // namespace quorvel::xlate
