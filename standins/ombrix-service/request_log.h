// One line per request the NKO server received, written before the reply goes out so a
// client that holds its reply finds the line already there:
//   <request text> TAB <reply text>
// Both texts are escaped so that a line stays one line: backslash as "\\", line feed,
// carriage return and tab as "\n", "\r", "\t", any other byte outside 0x20..0x7E as
// "\xHH". A request that never got a reply shows "(dropped)" in place of the reply, one
// held by a silent server "(silent)".
#pragma once

#include <windows.h>

#include <mutex>
#include <string>
#include <string_view>

#include "base/unique.h"

namespace ombrix {

std::string EscapeLogText(std::string_view text);

class RequestLog {
 public:
  RequestLog() = default;
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // "-" writes to standard output; anything else names a file that is created afresh
  // and stays readable by others while the server runs.
  bool Open(const std::string& target, std::string& error);
  bool IsOpen() const { return m_handle != nullptr; }
  void Write(std::string_view request, std::string_view reply);

 private:
  std::mutex m_mutex;
  UniqueFile m_file;          // the log file, when it is one
  HANDLE m_handle = nullptr;  // m_file's handle or the borrowed standard output
};

}  // namespace ombrix
