#include "config/service_status_line.h"

namespace {
const char* (*g_statusLineSource)() = nullptr;
}  // namespace

void SetServiceStatusLineSource(const char* (*source)()) { g_statusLineSource = source; }

const char* ServiceStatusLine() {
  const char* line = g_statusLineSource != nullptr ? g_statusLineSource() : nullptr;
  return line != nullptr ? line : "";
}
