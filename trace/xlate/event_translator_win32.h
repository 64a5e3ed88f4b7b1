// The translator on Windows: narrow text decoded with the ANSI code page, results as
// OLE Automation strings for the relay.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <cstdint>

#include "trace/xlate/event_translator.h"

namespace quorvel::xlate {

// The process's ANSI code page (CP_ACP). A single-byte code page becomes a table built
// once from MultiByteToWideChar, which converts such a code page byte by byte anyway;
// others go through MultiByteToWideChar for each text value.
const NarrowCodePage& AnsiCodePage() noexcept;

// Translates one trace message into a string from SysAllocString, which the caller
// frees with SysFreeString; nullptr when the message yields no output (or when the
// string cannot be allocated).
BSTR TranslateEventToBstr(EventTranslator& translator, const std::uint8_t* begin, const std::uint8_t* end) noexcept;

}  // namespace quorvel::xlate
