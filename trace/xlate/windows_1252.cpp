#include <array>

#include "trace/xlate/narrow_code_page.h"

namespace quorvel::xlate {
namespace {

constexpr char16_t kHigh80To9F[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr std::array<char16_t, 256> MakeTable() {
  std::array<char16_t, 256> table{};
  for (unsigned b = 0; b < 256; ++b) table[b] = static_cast<char16_t>(b);  // Latin-1 elsewhere
  for (unsigned b = 0; b < 32; ++b) table[0x80 + b] = kHigh80To9F[b];
  return table;
}

constexpr std::array<char16_t, 256> kTable = MakeTable();

}  // namespace

const NarrowCodePage& Windows1252CodePage() noexcept {
  static constexpr NarrowCodePage kCodePage{kTable.data(), nullptr};
  return kCodePage;
}

}  // namespace quorvel::xlate
