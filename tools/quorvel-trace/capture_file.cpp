#include "tools/quorvel-trace/capture_file.h"

#include "support/report.h"

namespace qtrace {

void AppendCaptureLine(std::string& out, const char16_t* text, size_t length) {
  const size_t start = out.size();
  if (length > 0) {
    const auto* wide = reinterpret_cast<const wchar_t*>(text);
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    out.resize(start + static_cast<size_t>(n));
    WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), out.data() + start, n, nullptr, nullptr);
  }
  // In UTF-8 the bytes 13 and 10 stand only for themselves, so they can be replaced in place.
  for (size_t i = start; i < out.size(); ++i) {
    if (out[i] == '\r' || out[i] == '\n') {
      const char* entity = out[i] == '\r' ? "&#13;" : "&#10;";
      out.replace(i, 1, entity);
      i += 4;
    }
  }
  out += '\n';
}

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
  AppendCaptureLine(m_line, text, length);
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
