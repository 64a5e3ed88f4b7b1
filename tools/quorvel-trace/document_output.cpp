#include "tools/quorvel-trace/document_output.h"

#include "tools/quorvel-trace/trace_commands.h"

namespace qtrace {

bool OpenDocument(const std::string& capture, const std::string& output, OutputFile& file, CaptureInput& input,
                  std::ostream& err) {
  std::string error;
  if (!file.Open(output, {capture}, error)) {
    err << "quorvel-trace: error: " << error << "\n";
    return false;
  }
  return input.Open(capture, err);
}

int FinishDocument(OutputFile& file, bool written, const std::string& what, const CallTally& tally,
                   std::ostream& out, std::ostream& err) {
  std::string error;
  if (!written || !file.Commit(error)) {
    err << "quorvel-trace: error: " << (error.empty() ? "cannot write the " + what : error) << "\n";
    return kExitFailed;
  }
  (file.IsStandardOutput() ? err : out) << tally.Line();
  return kExitOk;
}

}  // namespace qtrace
