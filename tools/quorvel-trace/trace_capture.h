// "quorvel-trace capture": plays the trace viewer's side of the link (status memory,
// connection handshake, pipe) with tracing wanted, writes every message the relay sends
// to a capture file, and on Ctrl-C, after the given time or when the stop event is set
// switches tracing off, waits for the relay to let go, and says how many it kept.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace qtrace {

// args[0] is "capture".
int RunCapture(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace qtrace
