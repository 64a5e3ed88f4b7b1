// One captured trace message, read back from its line in a capture file: the method
// element's attributes and the raw parameters section. The text is the relay's, which is
// not always well-formed XML (parameter names and some values are written unescaped), so
// it is read piece by piece in the fixed order the relay writes, never by an XML parser.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qtrace {

enum class MessageKind { Enter, Exit, Error };

struct TraceMessage {
  MessageKind kind = MessageKind::Enter;
  std::string_view method;   // enter: "KEY::name", exit: the source key alone (escaped)
  std::string_view appName;  // enter only (escaped)
  std::string_view address;  // escaped
  std::string_view source;
  int64_t timestamp = 0;     // nanoseconds on the trace clock
  double elapsedNs = 0;      // exit only
  uint32_t threadId = 0;
  uint32_t processId = 0;
  uint32_t paramCount = 0;
  int32_t hresult = 0;       // exit only
  std::string_view parameters;  // "<Parameters>...</Parameters>" or empty
};

// Reads one line (without its line end). False with a reason in |error| when the line is
// not a trace message; views in |out| point into |line|.
bool ParseTraceMessage(std::string_view line, TraceMessage& out, std::string& error);

struct Parameter {
  std::string_view name;  // unescaped, as written
  std::string_view type;  // "uint32", "array_int16", ...
  bool retVal = false, in = false, out = false;
  std::string_view elements;  // the <Element .../> run
};
// Calls |each| for every parameter of a parameters section; false with a reason when the
// section does not have the relay's shape.
bool ForEachParameter(std::string_view section, const std::function<void(const Parameter&)>& each,
                      std::string& error);
// The values of an element run, "1,2,3" or the hexadecimal run, at most |limit| bytes
// (then ending with "...").
std::string ElementValues(std::string_view elements, size_t limit);
// The same, replacing the contents of |out| (whose buffer is reused).
void ElementValues(std::string_view elements, size_t limit, std::string& out);

// Undoes the attribute escaping and the capture's line-end escaping (&amp; &lt; &gt;
// &quot; &#13; &#10;); anything else stays as it is.
std::string Unescape(std::string_view text);
// The same, replacing the contents of |out| (whose buffer is reused).
void Unescape(std::string_view text, std::string& out);

}  // namespace qtrace
