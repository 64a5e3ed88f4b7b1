// libFuzzer target for the trace event translator. Every input is a trace message as it
// arrives from another process. Besides the sanitizers' checks, each translation must
// equal the straightforward reference's and stay within the size its input allows.
#include <cstdint>
#include <cstdlib>

#include "trace/xlate/event_translator.h"
#include "trace/xlate/reference/reference_translator.h"

using namespace quorvel::xlate;

namespace {

// The longest text one input byte can produce: an element of a pointer array with a
// one-byte stride, "<Element Value=\"UNDEFINED\"/>".
constexpr std::size_t kMaxUnitsPerByte = 28;
constexpr std::size_t kMaxFixedUnits = 4096;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One translator for the whole run, as in the relay: its buffer is reused.
  static EventTranslator translator;
  const auto text = translator.TranslateEvent(data, data + size);
  const auto expected = reference::TranslateEvent(data, data + size);
  if (text.has_value() != expected.has_value() || (text && *text != *expected)) std::abort();
  if (text && text->size() > kMaxUnitsPerByte * size + kMaxFixedUnits) std::abort();
  return 0;
}
