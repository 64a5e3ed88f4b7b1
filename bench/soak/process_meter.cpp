#include "bench/soak/process_meter.h"

#include <psapi.h>

#include <algorithm>
#include <cstddef>

namespace soak {
namespace {

constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);
// Longer than the relay's status tick, so a settled sample has seen one tick go by.
constexpr DWORD kTickMs = 700;

// The layout of the system's handle table (class 16): a count, then one entry per handle.
struct HandleEntry {
  USHORT ownerPid;
  USHORT creatorBackTraceIndex;
  UCHAR objectTypeIndex;
  UCHAR attributes;
  USHORT value;
  void* object;
  ULONG grantedAccess;
};
struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};

using QueryFn = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);

QueryFn Query() {
  static const auto fn = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation")));
  return fn;
}

}  // namespace

long ProcessMeter::HandleCount() {
  if (Query() == nullptr) return -1;
  if (m_table.empty()) m_table.resize(256 * 1024);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status = Query()(kSystemHandleInformation, m_table.data(), static_cast<ULONG>(m_table.size()), &needed);
    if (status == kStatusInfoLengthMismatch) {
      m_table.resize(std::max<size_t>(m_table.size() * 2, needed + 64 * 1024));
      continue;
    }
    if (status < 0) return -1;
    const auto* table = reinterpret_cast<const HandleTable*>(m_table.data());
    const size_t fit = (m_table.size() - offsetof(HandleTable, entries)) / sizeof(HandleEntry);
    long count = 0;
    for (ULONG i = 0; i < table->count && i < fit; ++i) {
      count += table->entries[i].ownerPid == static_cast<USHORT>(m_pid);
    }
    return count;
  }
  return -1;
}

ProcessSample ProcessMeter::Sample() {
  ProcessSample s;
  s.handles = HandleCount();
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(m_process, &counters, sizeof counters)) s.workingSet = counters.WorkingSetSize;
  return s;
}

ProcessSample ProcessMeter::SettledSample(DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  ProcessSample last = Sample();
  while (GetTickCount64() < deadline) {
    Sleep(kTickMs);
    const ProcessSample next = Sample();
    const bool settled = next.handles == last.handles;
    last = next;
    if (settled) break;
  }
  return last;
}

}  // namespace soak
