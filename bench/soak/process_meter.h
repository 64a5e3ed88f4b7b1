// What a leak check can read of another process from outside: its handle count (from the
// system's handle table, counted per process id) and its working set.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

namespace soak {

struct ProcessSample {
  long handles = -1;          // -1: the handle table could not be read
  uint64_t workingSet = 0;    // bytes; 0: not readable
};

class ProcessMeter {
 public:
  // process: a handle with query rights; pid: its id.
  ProcessMeter(HANDLE process, DWORD pid) : m_process(process), m_pid(pid) {}
  ProcessSample Sample();
  // Samples until two samples kTickMs apart agree (the process has settled after the
  // last activity), at most timeoutMs; the last sample.
  ProcessSample SettledSample(DWORD timeoutMs);

 private:
  long HandleCount();

  HANDLE m_process;
  DWORD m_pid;
  std::vector<uint8_t> m_table;  // reused between samples; grows to the table's size
};

}  // namespace soak
