#pragma once
// The viewer's status memory as the viewer publishes it, made by the test itself.
#include <windows.h>

#include <cstdint>
#include <cstring>

#include "base/unique.h"
#include "trace/viewer_link.h"

class ViewerStatusMemory {
 public:
  ViewerStatusMemory(uint8_t status, uint32_t arrayLimit)
      : m_mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kViewerStatusMemorySize,
                                     kViewerStatusMemoryName)) {
    if (m_mapping) m_view.Reset(MapViewOfFile(m_mapping.Get(), FILE_MAP_WRITE, 0, 0, 0));
    if (!m_view) return;
    SetStatus(status);
    std::memcpy(ViewAs<uint8_t>(m_view) + kViewerArraySizeLimitOffset, &arrayLimit, sizeof arrayLimit);
  }

  bool Ok() const { return static_cast<bool>(m_view); }
  void SetStatus(uint8_t status) { ViewAs<uint8_t>(m_view)[kViewerTraceStatusOffset] = status; }

 private:
  UniqueHandle m_mapping;
  UniqueView m_view;  // unmapped before the mapping closes
};
