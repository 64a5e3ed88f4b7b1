#include "tools/quorvel-trace/capture_file.h"

#include "support/capture_line.h"
#include "support/report.h"

namespace qtrace {

bool CaptureFile::Open(const std::string& path) {
  m_path = path;
  m_file.Reset(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!m_file) {
    m_error = "cannot create " + path + ": " + support::DescribeError(GetLastError());
    return false;
  }
  return true;
}

bool CaptureFile::Write(const char16_t* text, size_t length) {
  if (!m_error.empty()) return false;
  m_line.clear();
  support::AppendCaptureLine(m_line, text, length);
  DWORD written = 0;
  const BOOL wrote = WriteFile(m_file.Get(), m_line.data(), static_cast<DWORD>(m_line.size()), &written, nullptr);
  if (wrote && written == m_line.size()) {
    m_kept += written;
    ++m_messages;
    return true;
  }
  // A write that succeeds short of the whole message leaves no error code: the disk is full.
  const DWORD error = wrote ? ERROR_DISK_FULL : GetLastError();
  // Cut the partly written message off again, so the file ends with a whole line.
  LARGE_INTEGER kept;
  kept.QuadPart = static_cast<LONGLONG>(m_kept);
  if (SetFilePointerEx(m_file.Get(), kept, nullptr, FILE_BEGIN)) SetEndOfFile(m_file.Get());
  m_error = "cannot write " + m_path + ": " + support::DescribeError(error);
  return false;
}

}  // namespace qtrace
