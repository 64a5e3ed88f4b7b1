#pragma once
// One message as a line of a capture file, the format quorvel-trace and the viewer stand-in
// both write: UTF-8, a carriage return or line feed inside the message written as
// &#13; / &#10;, so that a line is always one message.
#include <string>

namespace support {

// Appends |length| UTF-16 units of |text| as one line, with its line end, to |out|.
void AppendCaptureLine(std::string& out, const char16_t* text, size_t length);

}  // namespace support
