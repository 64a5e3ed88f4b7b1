// The listing: one line per call, in the order of the enters (or, live, as each call
// ends), with optional context calls of the same thread around each chosen call.
//
// A call is written once every call entered before it has ended, so lines are held back
// while an earlier call is still open. The number held back is bounded (kMaxHeldCalls), so
// that a call that never returns cannot make memory grow with the file: past the bound the
// oldest held lines are written, and the late call's line follows when it ends.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>

#include "tools/quorvel-trace/call_filter.h"
#include "tools/quorvel-trace/call_line.h"
#include "tools/quorvel-trace/call_tally.h"

namespace qtrace {

inline constexpr size_t kMaxHeldCalls = 1u << 16;

// How a listing writes a call and a break between groups of context: the listing's own
// line and "--" unless another view (the HTML report) gives its own.
struct ListingRender {
  std::function<void(const MatchedCall& call, const CallMatcher& matcher, std::string& out)> call;
  std::string gap = "--\n";
};

class CallListing {
 public:
  using Write = std::function<void(std::string_view text)>;
  enum class Order { Enter, Exit };

  CallListing(const CallFilter& filter, const LineOptions& options, size_t context, Order order, Write write,
              ListingRender render = {})
      : m_filter(filter),
        m_options(options),
        m_context(context),
        m_order(order),
        m_write(std::move(write)),
        m_render(std::move(render)) {}

  // Every message, before the matcher sees it.
  void Message(const TraceMessage& message);
  // Every call the matcher reports.
  void Call(const MatchedCall& call, const CallMatcher& matcher);
  // After the matcher's Finish: writes what is still held.
  void Finish();
  const CallTally& Tally() const { return m_tally; }

 private:
  struct Held {
    uint64_t thread = 0;
    bool chosen = false;
    std::string line;
  };
  struct ThreadContext {
    std::deque<Held> before;  // the last unchosen calls, up to m_context
    size_t after = 0;         // calls still to write after a chosen one
    bool skipped = false;     // calls left out since the thread's last written line
  };
  void Release(bool all);
  void Emit(Held& held);
  void WriteLine(const std::string& line, bool newGroup);

  const CallFilter& m_filter;
  LineOptions m_options;
  size_t m_context;
  Order m_order;
  Write m_write;
  ListingRender m_render;
  CallTally m_tally;
  CallFields m_fields;
  uint64_t m_messages = 0;
  std::set<uint64_t> m_open;        // sequences of enters not yet reported
  std::map<uint64_t, Held> m_held;  // reported calls waiting for earlier ones
  std::unordered_map<uint64_t, ThreadContext> m_threads;
  bool m_wroteAny = false;
};

}  // namespace qtrace
