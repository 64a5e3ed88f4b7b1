// Reads a capture file line by line (one message per line) and parses each line, with
// bounded memory: one buffer of at most kMaxLineBytes plus the read chunk. A line that is
// not a message or an over-long line stops the reading with "FILE:LINE: reason", unless
// damaged lines are to be skipped (then they are counted). A last line cut short (the
// recording station crashed or lost power) is left out with a warning and everything
// before it is used.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/quorvel-trace/trace_message.h"

namespace qtrace {

// Longer than any text the relay can write for one event-pipe message.
inline constexpr size_t kMaxLineBytes = 16u << 20;

class TraceReader {
 public:
  // Reads |file| (not owned); |name| is used in messages.
  TraceReader(std::FILE* file, std::string name, bool skipBad = false)
      : m_file(file), m_name(std::move(name)), m_skipBad(skipBad) {}
  // The next message; false at the end of the file or on an error (then Error() is set).
  // The views of |message| stay valid until the next call.
  bool Next(TraceMessage& message);
  const std::string& Error() const { return m_error; }
  // "FILE:LINE: ..." when the last line was cut short and left out, else empty.
  const std::string& Warning() const { return m_warning; }
  uint64_t Skipped() const { return m_skipped; }
  uint64_t LineNumber() const { return m_line; }
  uint64_t Messages() const { return m_messages; }

 private:
  bool NextLine(std::string_view& line);
  bool Fail(const std::string& reason);

  std::FILE* m_file;
  std::string m_name;
  std::vector<char> m_buffer;
  size_t m_begin = 0, m_end = 0;  // unread bytes of m_buffer
  bool m_skipBad;
  bool m_eof = false;
  bool m_lastLineCut = false;  // the line just read ended at the end of the file, without a line end
  uint64_t m_skipped = 0;
  std::string m_warning;
  uint64_t m_line = 0;
  uint64_t m_messages = 0;
  std::string m_error;
};

}  // namespace qtrace
