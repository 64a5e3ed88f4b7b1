#pragma once
// Whether another thread can take a mutex now (the thread that holds it could even while
// holding it, so the test asks from a thread of its own).
#include <windows.h>

#include <thread>

inline bool FreeForOthers(HANDLE mutex) {
  DWORD taken = WAIT_FAILED;
  std::thread([&] {
    taken = WaitForSingleObject(mutex, 0);
    if (taken == WAIT_OBJECT_0) ReleaseMutex(mutex);
  }).join();
  return taken == WAIT_OBJECT_0;
}
