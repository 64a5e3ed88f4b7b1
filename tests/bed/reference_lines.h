// What a capture must hold for the trace messages the instrument-library stand-in dumped:
// each message put through the reference translator (written independently of the relay's)
// with the ANSI code page, as the relay translates, and written as a capture line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "support/capture_line.h"
#include "trace/xlate/event_translator_win32.h"
#include "trace/xlate/reference/reference_translator.h"

namespace bed {

// The capture line (without its line end) of one trace message; nullopt for a message the
// relay writes nothing for.
inline std::optional<std::string> ReferenceLine(const std::vector<uint8_t>& traceMessage) {
  const auto text = quorvel::xlate::reference::TranslateEvent(
      traceMessage.data(), traceMessage.data() + traceMessage.size(), quorvel::xlate::AnsiCodePage());
  if (!text) return std::nullopt;
  std::string line;
  support::AppendCaptureLine(line, text->data(), text->size());
  line.pop_back();
  return line;
}

// Reads a dump (each message as a 32-bit length and its bytes, in the order posted) and
// hands the reference line of every message with output to |take|. The number of messages
// read, or -1 when the file cannot be opened.
template <typename Take>
int64_t ForEachDumpedLine(const std::string& dumpPath, Take take) {
  std::ifstream in(dumpPath, std::ios::binary);
  if (!in) return -1;
  int64_t count = 0;
  std::vector<uint8_t> message;
  for (uint32_t n = 0; in.read(reinterpret_cast<char*>(&n), sizeof n); ++count) {
    message.resize(n);
    in.read(reinterpret_cast<char*>(message.data()), n);
    if (auto line = ReferenceLine(message)) take(std::move(*line));
  }
  return count;
}

}  // namespace bed
