// Reads a capture file line by line (one message per line) and parses each line, with
// bounded memory: one buffer of at most kMaxLineBytes plus the read chunk. A line that is
// not a message, a line cut short at the end of the file or an over-long line stops the
// reading with "FILE:LINE: reason".
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
  TraceReader(std::FILE* file, std::string name) : m_file(file), m_name(std::move(name)) {}
  // The next message; false at the end of the file or on an error (then Error() is set).
  // The views of |message| stay valid until the next call.
  bool Next(TraceMessage& message);
  const std::string& Error() const { return m_error; }
  uint64_t LineNumber() const { return m_line; }
  uint64_t Messages() const { return m_messages; }

 private:
  bool NextLine(std::string_view& line);
  bool Fail(const std::string& reason);

  std::FILE* m_file;
  std::string m_name;
  std::vector<char> m_buffer;
  size_t m_begin = 0, m_end = 0;  // unread bytes of m_buffer
  bool m_eof = false;
  uint64_t m_line = 0;
  uint64_t m_messages = 0;
  std::string m_error;
};

}  // namespace qtrace
