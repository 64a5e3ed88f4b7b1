// The commands of quorvel-trace that work on a capture file and need no platform:
// summary, export and timeline. Each returns the program's exit code and writes its
// errors to |err| as one line "quorvel-trace: error: ...".
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qtrace {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // bad input file, unwritable output, capture failure
inline constexpr int kExitUsage = 2;

int RunSummary(const std::string& capture, bool csv, std::ostream& out, std::ostream& err);
int RunExport(const std::string& capture, const std::string& json, std::ostream& out, std::ostream& err);
int RunTimeline(const std::string& capture, const std::string& svg, std::ostream& out, std::ostream& err);

// Dispatches "summary", "export" and "timeline" with their options (args without the
// program name); kExitUsage with a message for anything else.
int RunFileCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

extern const char kUsage[];

}  // namespace qtrace
