#include "tests/bed/record_file.h"

#include <charconv>
#include <string_view>

#include "support/wait_until.h"

namespace bed {

std::optional<DWORD> ParseHex(std::string_view text) {
  DWORD value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value, 16);
  if (text.size() > 8 || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::string ReadSharedFile(const std::string& path) {
  std::string data;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return data;
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) data.append(buffer, n);
  CloseHandle(file);
  return data;
}

std::vector<std::string_view> CompleteLines(std::string_view data) {
  std::vector<std::string_view> lines;
  for (size_t nl; (nl = data.find('\n')) != std::string_view::npos; data.remove_prefix(nl + 1)) {
    lines.push_back(data.substr(0, nl));
  }
  return lines;
}

std::vector<RecordLine> ReadRecord(const std::string& path) {
  const std::string data = ReadSharedFile(path);
  std::vector<RecordLine> lines;
  for (std::string_view line : CompleteLines(data)) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    RecordLine record;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), record.tick);
    if (error == std::errc() && end < line.data() + line.size() && *end == ' ') {
      line.remove_prefix(static_cast<size_t>(end - line.data()) + 1);
    } else {
      record.tick = 0;
    }
    record.text = std::string(line);
    lines.push_back(std::move(record));
  }
  return lines;
}

std::vector<std::string> RecordTexts(const std::vector<RecordLine>& lines, size_t from) {
  std::vector<std::string> texts;
  for (size_t i = from; i < lines.size(); ++i) texts.push_back(lines[i].text);
  return texts;
}

std::vector<RecordLine> WaitForRecord(const std::string& path,
                                      const std::function<bool(const std::vector<RecordLine>&)>& done,
                                      DWORD timeoutMs) {
  std::vector<RecordLine> lines;
  support::WaitUntil([&] { return done(lines = ReadRecord(path)); }, timeoutMs);
  return lines;
}

}  // namespace bed
