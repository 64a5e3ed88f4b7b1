#include "standins/ombrix-service/request_log.h"

namespace ombrix {

std::string EscapeLogText(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c > 0x7E) {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 15];
        } else {
          out += ch;
        }
    }
  }
  return out;
}

RequestLog::~RequestLog() {
  if (m_ownsHandle) CloseHandle(m_handle);
}

bool RequestLog::Open(const std::string& target, std::string& error) {
  if (target == "-") {
    m_handle = GetStdHandle(STD_OUTPUT_HANDLE);
    return true;
  }
  HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = "cannot create the request log \"" + target + "\" (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  m_handle = file;
  m_ownsHandle = true;
  return true;
}

void RequestLog::Write(std::string_view request, std::string_view reply) {
  if (!m_handle) return;
  std::string line = EscapeLogText(request) + "\t" + EscapeLogText(reply) + "\n";
  std::lock_guard lock(m_mutex);
  DWORD written = 0;
  WriteFile(m_handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace ombrix
