// quorvel-trace: records the instrument calls that the relay sends to the trace viewer,
// without the viewer, and examines such recordings: a per-call listing, a summary table, a
// Trace Event Format export and an SVG timeline. Recording needs Windows; the rest runs
// anywhere.
#include <iostream>
#include <string>
#include <vector>

#include "tools/quorvel-trace/trace_commands.h"
#ifdef _WIN32
#include "tools/quorvel-trace/trace_capture.h"
#endif

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "capture") {
#ifdef _WIN32
    return qtrace::RunCapture(args, std::cout, std::cerr);
#else
    std::cerr << "quorvel-trace: error: capture needs Windows (the viewer link is made of Windows kernel objects)\n";
    return qtrace::kExitUsage;
#endif
  }
  return qtrace::RunFileCommand(args, std::cout, std::cerr);
}
