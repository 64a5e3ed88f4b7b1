// Text made safe for an HTML page or an SVG picture: markup characters and quotes as entities, bytes that
// are not UTF-8 and control characters as U+FFFD, so that a capture's texts can never
// open an element, end an attribute or break the page's encoding.
#pragma once

#include <string>
#include <string_view>

namespace qtrace {

// Appends |text| to |out|, escaped for element content and quoted attribute values alike.
void AppendHtml(std::string& out, std::string_view text);
std::string Html(std::string_view text);

}  // namespace qtrace
