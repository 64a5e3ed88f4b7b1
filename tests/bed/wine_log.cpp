#include "tests/bed/wine_log.h"

#include <algorithm>
#include <cstdlib>

#include "tests/bed/record_file.h"
#include "support/wait_until.h"

namespace bed {
namespace {

constexpr DWORD kPollMs = 50;

// Stores the value of |text| in |value|; false when it is not hexadecimal.
bool ParseHex(std::string_view text, DWORD& value) {
  const std::optional<DWORD> parsed = bed::ParseHex(text);
  value = parsed.value_or(value);
  return parsed.has_value();
}

std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

std::string WineLogPath() {
  const char* unixPath = std::getenv("QUORVEL_WINE_LOG");
  if (!unixPath || !*unixPath) return {};
  std::string path = std::string("Z:") + unixPath;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::optional<std::wstring> UnescapeWineString(std::string_view escaped) {
  std::wstring out;
  for (size_t i = 0; i < escaped.size(); ++i) {
    char c = escaped[i];
    if (c != '\\') {
      out += static_cast<wchar_t>(static_cast<unsigned char>(c));
      continue;
    }
    if (++i == escaped.size()) return std::nullopt;
    switch (escaped[i]) {
      case 'n': out += L'\n'; break;
      case 'r': out += L'\r'; break;
      case 't': out += L'\t'; break;
      case '"': out += L'"'; break;
      case '\\': out += L'\\'; break;
      default: {
        DWORD code = 0;
        if (i + 4 > escaped.size() || !ParseHex(escaped.substr(i, 4), code)) return std::nullopt;
        out += static_cast<wchar_t>(code);
        i += 3;
      }
    }
  }
  return out;
}

std::optional<WineLogEntry> ParseWineLogLine(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  static constexpr std::string_view kMarker = ":eventlog:ReportEventW L\"";
  size_t marker = line.find(kMarker);
  if (marker == std::string_view::npos) return std::nullopt;

  // The head is "[timestamp:][pid:]tid:class"; read it from the right.
  std::vector<std::string_view> fields;
  std::string_view head = line.substr(0, marker);
  for (size_t colon; (colon = head.rfind(':')) != std::string_view::npos;) {
    fields.push_back(head.substr(colon + 1));
    head = head.substr(0, colon);
  }
  fields.push_back(head);
  WineLogEntry entry;
  if (fields.size() < 2 || !ParseHex(fields[1], entry.tid)) return std::nullopt;
  entry.level = std::string(fields[0]);
  if (fields.size() >= 3 && fields[2].find('.') == std::string_view::npos && !ParseHex(fields[2], entry.pid)) {
    return std::nullopt;
  }

  // The body ends at the last quote; only "..." may follow it.
  std::string_view rest = line.substr(marker + kMarker.size());
  size_t close = rest.rfind('"');
  if (close == std::string_view::npos) return std::nullopt;
  std::string_view tail = rest.substr(close + 1);
  if (tail == "...") {
    entry.truncated = true;
  } else if (!tail.empty()) {
    return std::nullopt;
  }
  std::optional<std::wstring> text = UnescapeWineString(rest.substr(0, close));
  if (!text) return std::nullopt;
  entry.text = ToAnsi(*text);
  return entry;
}

std::vector<WineLogEntry> WineLogEntries(std::optional<DWORD> pid) {
  std::vector<WineLogEntry> entries;
  std::string path = WineLogPath();
  if (path.empty()) return entries;
  const std::string data = ReadSharedFile(path);
  for (const std::string_view line : CompleteLines(data)) {
    if (auto entry = ParseWineLogLine(line); entry && (!pid || entry->pid == *pid)) entries.push_back(std::move(*entry));
  }
  return entries;
}

std::vector<WineLogEntry> WaitForWineLogEntries(DWORD pid, size_t count, DWORD timeoutMs) {
  std::vector<WineLogEntry> entries;
  support::WaitUntil([&] { return (entries = WineLogEntries(pid)).size() >= count; }, timeoutMs, kPollMs);
  return entries;
}

std::optional<WineLogEntry> WaitForWineLogEntry(DWORD pid, const std::function<bool(const WineLogEntry&)>& match,
                                                DWORD timeoutMs) {
  std::optional<WineLogEntry> found;
  support::WaitUntil(
      [&] {
        for (WineLogEntry& entry : WineLogEntries(pid)) {
          if (match(entry)) return (found = std::move(entry)).has_value();
        }
        return false;
      },
      timeoutMs, kPollMs);
  return found;
}

}  // namespace bed
