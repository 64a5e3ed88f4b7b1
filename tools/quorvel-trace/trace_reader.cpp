#include "tools/quorvel-trace/trace_reader.h"

#include <cstring>

namespace qtrace {
namespace {
constexpr size_t kChunk = 1u << 16;
}

bool TraceReader::Fail(const std::string& reason) {
  m_error = m_name + ":" + std::to_string(m_line) + ": " + reason;
  return false;
}

bool TraceReader::NextLine(std::string_view& line) {
  for (size_t scanned = m_begin;;) {
    const void* nl = m_end > scanned ? std::memchr(m_buffer.data() + scanned, '\n', m_end - scanned) : nullptr;
    if (nl != nullptr) {
      const size_t at = static_cast<size_t>(static_cast<const char*>(nl) - m_buffer.data());
      line = std::string_view(m_buffer.data() + m_begin, at - m_begin);
      m_begin = at + 1;
      ++m_line;
      return true;
    }
    scanned = m_end;
    if (m_end - m_begin > kMaxLineBytes) {
      ++m_line;
      return Fail("line longer than " + std::to_string(kMaxLineBytes) + " bytes (not a capture file?)");
    }
    if (m_eof) {
      if (m_begin == m_end) return false;
      line = std::string_view(m_buffer.data() + m_begin, m_end - m_begin);
      m_begin = m_end;
      m_lastLineCut = true;
      ++m_line;
      return true;
    }
    // Move what is left to the front and read more.
    if (m_begin > 0) {
      std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
      scanned -= m_begin;
      m_end -= m_begin;
      m_begin = 0;
    }
    if (m_buffer.size() < m_end + kChunk) m_buffer.resize(m_end + kChunk);
    const size_t n = std::fread(m_buffer.data() + m_end, 1, kChunk, m_file);
    if (n == 0) {
      if (std::ferror(m_file)) return Fail("read error");
      m_eof = true;
    }
    m_end += n;
  }
}

bool TraceReader::Next(TraceMessage& message) {
  std::string_view line;
  while (m_error.empty() && NextLine(line)) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    // The relay writes an empty text when a message converts to nothing.
    if (line.empty()) continue;
    std::string reason;
    if (!ParseTraceMessage(line, message, reason)) {
      if (m_lastLineCut) {
        m_warning = m_name + ":" + std::to_string(m_line) +
                    ": the last line is cut short (the capture was interrupted); it was left out";
        return false;
      }
      if (m_skipBad) {
        ++m_skipped;
        continue;
      }
      return Fail(reason);
    }
    ++m_messages;
    return true;
  }
  return false;
}

}  // namespace qtrace
