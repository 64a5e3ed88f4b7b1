#include "tools/quorvel-trace/capture_input.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "base/results.h"
#include "tools/quorvel-trace/trace_reader.h"

namespace qtrace {
namespace {

std::FILE* BinaryStdin() {
#ifdef _WIN32
  IgnoreResult(_setmode(_fileno(stdin), _O_BINARY));
#endif
  return stdin;
}

}  // namespace

CaptureInput::~CaptureInput() {
  if (m_file != nullptr && m_file != stdin) IgnoreResult(std::fclose(m_file));  // read only: nothing to lose
}

bool CaptureInput::Open(const std::string& path, std::ostream& err) {
  m_path = path;
  if (path == "-") {
    m_file = BinaryStdin();
  } else {
    m_file = std::fopen(path.c_str(), "rb");
  }
  if (m_file == nullptr) {
    err << "quorvel-trace: error: cannot open " << (path == "-" ? "standard input" : path) << ": "
        << std::strerror(errno) << "\n";
    return false;
  }
  return true;
}

bool CaptureInput::ForEachCall(ReadOptions& options, bool keepParameters, const OnMessage& onMessage,
                               const OnCall& onCall, std::ostream& err) {
  TraceReader reader(m_file, m_path == "-" ? "(standard input)" : m_path, options.skipBad);
  const CallMatcher* self = nullptr;
  CallMatcher matcher([&](const MatchedCall& call) { onCall(call, *self); }, keepParameters);
  self = &matcher;
  m_span = {};
  TraceMessage message;
  while (reader.Next(message)) {
    if (!m_span.any) options.filter.Begin(message.timestamp);
    m_span.Add(message.timestamp);
    if (onMessage) onMessage(message);
    matcher.Feed(message);
  }
  if (!reader.Error().empty()) {
    err << "quorvel-trace: error: " << reader.Error() << "\n";
    return false;
  }
  matcher.Finish();
  if (!reader.Warning().empty()) err << "quorvel-trace: warning: " << reader.Warning() << "\n";
  if (reader.Skipped() > 0) {
    err << "quorvel-trace: warning: " << reader.Skipped() << " damaged lines skipped\n";
  }
  return true;
}

}  // namespace qtrace
