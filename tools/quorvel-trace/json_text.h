// JSON string literals from captured text, which may hold any bytes: control characters
// are written as \u escapes and bytes that are not valid UTF-8 as U+FFFD, so the output
// is always valid JSON.
#pragma once

#include <string>
#include <string_view>

namespace qtrace {

void AppendJsonString(std::string& out, std::string_view text);
// The same for captured attribute text: its entities (see Unescape) are undone first.
void AppendJsonText(std::string& out, std::string_view text);

}  // namespace qtrace
