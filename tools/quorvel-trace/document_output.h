// What the commands that write a document (export, timeline, report) share: the output is
// opened before the capture, so that an output that is the capture itself is refused before
// anything is read, and the finished document is put in place with the closing line.
#pragma once

#include <ostream>
#include <string>

#include "tools/quorvel-trace/call_tally.h"
#include "tools/quorvel-trace/capture_input.h"
#include "tools/quorvel-trace/output_file.h"

namespace qtrace {

// False, with the reason on |err|, when either cannot be opened.
bool OpenDocument(const std::string& capture, const std::string& output, OutputFile& file, CaptureInput& input,
                  std::ostream& err);

// Puts the document in place when |written| and says so with the closing line: on |out|, or
// on |err| when the document itself went to standard output. Returns the exit code.
int FinishDocument(OutputFile& file, bool written, const std::string& what, const CallTally& tally,
                   std::ostream& out, std::ostream& err);

}  // namespace qtrace
