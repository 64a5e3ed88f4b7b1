#include "trace/xlate/event_translator_win32.h"

#include <array>
#include <climits>

namespace quorvel::xlate {
namespace {

std::ptrdiff_t ConvertAnsi(const char* text, std::size_t n, char16_t* out) {
  if (n > INT_MAX) return -1;
  const int units = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(n), reinterpret_cast<wchar_t*>(out),
                                        static_cast<int>(n));
  return units > 0 ? units : -1;
}

// The ANSI code page and the table it may point into, built together once.
class AnsiCodePageHolder {
 public:
  AnsiCodePageHolder() {
    CPINFO info{};
    if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) {
      m_codePage = NarrowCodePage{nullptr, &ConvertAnsi};
      return;
    }
    for (unsigned b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      wchar_t unit = 0;
      m_table[b] = MultiByteToWideChar(CP_ACP, 0, &byte, 1, &unit, 1) == 1 ? static_cast<char16_t>(unit)
                                                                           : static_cast<char16_t>(b);
    }
    m_codePage = NarrowCodePage{m_table.data(), nullptr};
  }
  AnsiCodePageHolder(const AnsiCodePageHolder&) = delete;
  AnsiCodePageHolder& operator=(const AnsiCodePageHolder&) = delete;
  const NarrowCodePage& Get() const noexcept { return m_codePage; }

 private:
  std::array<char16_t, 256> m_table{};
  NarrowCodePage m_codePage;
};

}  // namespace

const NarrowCodePage& AnsiCodePage() noexcept {
  static const AnsiCodePageHolder holder;
  return holder.Get();
}

}  // namespace quorvel::xlate
