// Helpers shared by the translator tests: run a message through the translator and
// compare the result as UTF-8.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "trace/xlate/event_translator.h"
#include "support/trace_record_builder.h"
#ifdef _WIN32
#include "trace/xlate/event_translator_win32.h"
#endif

namespace quorvel::xlate::testing {

// The code page the golden vectors are written for. On Windows with the ANSI code page
// 1252 it is the one built from MultiByteToWideChar, which checks that against the
// native build's table.
inline const NarrowCodePage& GoldenCodePage() {
#ifdef _WIN32
  if (GetACP() == 1252) return AnsiCodePage();
#endif
  return Windows1252CodePage();
}

// The translator never writes surrogate pairs (every code page it uses maps a byte to
// one unit), so each unit becomes one to three bytes.
inline std::string ToUtf8(std::u16string_view text) {
  std::string out;
  for (const char16_t c : text) {
    if (c >= 0x800) out += static_cast<char>(0xE0 | (c >> 12));
    if (c >= 0x80) out += static_cast<char>(c >= 0x800 ? 0x80 | ((c >> 6) & 0x3F) : 0xC0 | (c >> 6));
    out += static_cast<char>(c >= 0x80 ? 0x80 | (c & 0x3F) : c);
  }
  return out;
}

// The translation as UTF-8, or std::nullopt for no output.
inline std::optional<std::string> Translate(const std::vector<std::uint8_t>& message,
                                            const NarrowCodePage& codePage = GoldenCodePage()) {
  EventTranslator translator(codePage);
  const auto text = translator.TranslateEvent(message.data(), message.data() + message.size());
  if (!text) return std::nullopt;
  return ToUtf8(*text);
}

// A typical enter and exit record for tests that vary something else.
inline MethodEnterFields SampleEnter() {
  return {.processId = 988, .threadId = 412, .appName = "demo.exe", .methodName = "viClear",
          .address = "GPIB0::7::INSTR", .timestamp = 512};
}
inline MethodExitFields SampleExit() {
  return {.processId = 988, .threadId = 412, .elapsedNs = 1500, .status = 0, .address = "GPIB0::7::INSTR",
          .timestamp = 2012};
}
inline TraceMessageBuilder Enter(std::string_view key = "VISA") {
  return std::move(TraceMessageBuilder(key).Enter(SampleEnter()));
}
inline TraceMessageBuilder Exit(std::string_view key = "VISA") {
  return std::move(TraceMessageBuilder(key).Exit(SampleExit()));
}

}  // namespace quorvel::xlate::testing
