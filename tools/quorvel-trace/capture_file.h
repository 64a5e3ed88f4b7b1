// The file a capture writes: one message per line (support/capture_line.h). Each
// message is written whole with one write; a write that fails (disk full) is taken back
// to the end of the last whole message, so what was kept stays readable.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

#include "base/unique.h"

namespace qtrace {

class CaptureFile {
 public:
  // Creates (or empties) |path|; false with the reason in Error().
  bool Open(const std::string& path);
  // Appends one message; false with the reason in Error() once a write failed.
  bool Write(const char16_t* text, size_t length);
  uint64_t Messages() const { return m_messages; }
  // The message last written, as its line without the line end.
  std::string_view LastLine() const { return std::string_view(m_line).substr(0, m_line.empty() ? 0 : m_line.size() - 1); }
  const std::string& Error() const { return m_error; }

 private:
  UniqueFile m_file;
  std::string m_path;
  std::string m_line;  // reused for every message
  uint64_t m_kept = 0;  // bytes of whole messages in the file
  uint64_t m_messages = 0;
  std::string m_error;
};

}  // namespace qtrace
