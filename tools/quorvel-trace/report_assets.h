// The style sheet and the script of the report page, written into the page itself so that
// it opens offline and from an e-mail attachment, with nothing fetched.
#pragma once

namespace qtrace {

extern const char kReportStyle[];
// Sorts the summary tables on a click on a column head; filters the call list by the text
// box and "errors only", keeping that state in the address's fragment (#q=...&errors=1)
// so that a link opens the same view; shows a buffer's hex on a click; and scrolls the
// list to a call clicked in the timeline.
extern const char kReportScript[];

}  // namespace qtrace
