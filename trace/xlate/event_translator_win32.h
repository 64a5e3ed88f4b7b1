// The translator on Windows: narrow text decoded with the ANSI code page.
#pragma once

#include <windows.h>

#include "trace/xlate/event_translator.h"

namespace quorvel::xlate {

// The process's ANSI code page (CP_ACP). A single-byte code page becomes a table built
// once from MultiByteToWideChar, which converts such a code page byte by byte anyway;
// others go through MultiByteToWideChar for each text value.
const NarrowCodePage& AnsiCodePage() noexcept;

}  // namespace quorvel::xlate
