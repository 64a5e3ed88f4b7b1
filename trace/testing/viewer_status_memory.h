#pragma once
// The viewer's status memory as the viewer publishes it, made by the test itself.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "trace/viewer_link.h"

class ViewerStatusMemory {
 public:
  ViewerStatusMemory(uint8_t status, uint32_t arrayLimit)
      : m_mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kViewerStatusMemorySize,
                                     kViewerStatusMemoryName)),
        m_view(m_mapping ? static_cast<uint8_t*>(MapViewOfFile(m_mapping, FILE_MAP_WRITE, 0, 0, 0)) : nullptr) {
    if (m_view == nullptr) return;
    SetStatus(status);
    std::memcpy(m_view + kViewerArraySizeLimitOffset, &arrayLimit, sizeof arrayLimit);
  }
  ~ViewerStatusMemory() {
    if (m_view != nullptr) UnmapViewOfFile(m_view);
    if (m_mapping != nullptr) CloseHandle(m_mapping);
  }
  ViewerStatusMemory(const ViewerStatusMemory&) = delete;
  ViewerStatusMemory& operator=(const ViewerStatusMemory&) = delete;

  bool Ok() const { return m_view != nullptr; }
  void SetStatus(uint8_t status) { m_view[kViewerTraceStatusOffset] = status; }

 private:
  HANDLE m_mapping;
  uint8_t* m_view;
};
