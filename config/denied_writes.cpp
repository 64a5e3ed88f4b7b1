#include "config/denied_writes.h"

#include <array>
#include <cstring>

#include "base/bounded_text.h"
#include "base/event_log.h"

namespace {

constexpr size_t kNameSize = 64;
// More names than the program writes; once full, further names are not logged.
constexpr size_t kMaxNames = 32;
constexpr size_t kLineSize = 1024;

// The value names already logged. Writers run on the main thread and in a second
// instance's one thread, but the lock keeps a stray writer from corrupting the table.
class DeniedNames {
 public:
  // True the first time a name is offered while there is room for it.
  bool Add(const char* name) {
    AcquireSRWLockExclusive(&m_lock);
    bool added = false;
    if (!Contains(name) && m_count < m_names.size()) {
      CopyBounded(m_names[m_count++].data(), kNameSize, name);
      added = true;
    }
    ReleaseSRWLockExclusive(&m_lock);
    return added;
  }

 private:
  bool Contains(const char* name) const {
    for (size_t i = 0; i < m_count; ++i) {
      if (strncmp(m_names[i].data(), name, kNameSize - 1) == 0) return true;
    }
    return false;
  }

  SRWLOCK m_lock = SRWLOCK_INIT;
  std::array<std::array<char, kNameSize>, kMaxNames> m_names{};
  size_t m_count = 0;
};

constinit DeniedNames g_denied;

}  // namespace

void ReportDeniedWrite(const char* key, const char* valueName, LONG status) {
  if (status != ERROR_ACCESS_DENIED || !g_denied.Add(valueName)) return;
  char line[kLineSize];
  FormatBounded(line, sizeof line,
                "Cannot write the registry value '%s' of HKLM\\%s: access is denied (error 5). "
                "The value keeps what it holds; later writes of it are not logged.",
                valueName, key);
  WriteEventLog(line);
}
