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

NarrowCodePage MakeAnsiCodePage() {
  CPINFO info{};
  if (!GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return NarrowCodePage{nullptr, &ConvertAnsi};
  static std::array<char16_t, 256> table;
  for (unsigned b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    wchar_t unit = 0;
    table[b] = MultiByteToWideChar(CP_ACP, 0, &byte, 1, &unit, 1) == 1 ? static_cast<char16_t>(unit)
                                                                        : static_cast<char16_t>(b);
  }
  return NarrowCodePage{table.data(), nullptr};
}

}  // namespace

const NarrowCodePage& AnsiCodePage() noexcept {
  static const NarrowCodePage codePage = MakeAnsiCodePage();
  return codePage;
}

}  // namespace quorvel::xlate
