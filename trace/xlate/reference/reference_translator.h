// A second, straightforward implementation of the translator: each piece of narrow text
// composed with std::ostringstream, escaped in a std::string, then widened through the
// code page table, one allocation after another. It is written for obviousness, not
// speed, and serves as the benchmark's baseline and the oracle of the differential tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "trace/xlate/narrow_code_page.h"

namespace quorvel::xlate::reference {

// Same contract as EventTranslator::TranslateEvent, for single-byte code pages.
std::optional<std::u16string> TranslateEvent(const std::uint8_t* begin, const std::uint8_t* end,
                                             const NarrowCodePage& codePage = Windows1252CodePage());

// The general floating format with 6 significant digits and a three-digit exponent,
// through the stream's own %g-like formatting.
std::string FormatGeneral(double value);

}  // namespace quorvel::xlate::reference
