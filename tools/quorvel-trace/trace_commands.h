// The commands of quorvel-trace that read a capture and need no platform: list, summary,
// export and timeline. Each returns the program's exit code, writes its errors to |err| as
// one line "quorvel-trace: error: ..." and closes with the same line of counts.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "tools/quorvel-trace/call_filter.h"
#include "tools/quorvel-trace/call_line.h"

namespace support {
class OptionParser;
}

namespace qtrace {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // bad input file, unwritable output, capture failure
inline constexpr int kExitUsage = 2;

struct ListOptions {
  LineOptions line;
  size_t context = 0;  // calls before and after each chosen one on its thread
};

int RunList(const std::string& capture, ReadOptions& options, const ListOptions& list, std::ostream& out,
            std::ostream& err);
int RunSummary(const std::string& capture, ReadOptions& options, bool csv, std::ostream& out, std::ostream& err);
// |output| "-" writes the document to standard output (and the closing line to |err|).
int RunExport(const std::string& capture, ReadOptions& options, const std::string& output, std::ostream& out,
              std::ostream& err);
int RunTimeline(const std::string& capture, ReadOptions& options, const std::string& output, std::ostream& out,
                std::ostream& err);

// Dispatches a reading command with its options (args without the program name).
int RunFileCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The shared reading options (filters, --utc, --skip-bad) and the listing's line options,
// registered with a command's parser.
void AddReadOptions(support::OptionParser& parser, ReadOptions& read);
void AddLineOptions(support::OptionParser& parser, LineOptions& line);
// The program's usage: one line per command.
std::string Usage();

}  // namespace qtrace
