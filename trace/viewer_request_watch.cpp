#include "trace/viewer_request_watch.h"

#include <utility>

#include "trace/viewer_link.h"

void ViewerRequestWatch::Arm(int status, UniqueHandle viewer) {
  m_viewer = std::move(viewer);
  m_sawOff = status == kViewerTracingOff;
  m_sawNoViewer = false;
}

bool ViewerRequestWatch::ServedViewerEnded() {
  if (m_viewer && WaitForSingleObject(m_viewer.Get(), 0) == WAIT_OBJECT_0) return true;
  return m_sawNoViewer;
}

bool ViewerRequestWatch::AskedAfresh(int status) {
  const bool running = ViewerRunning();
  if (!running) m_sawNoViewer = true;
  // Other values than 0 and 1 leave things as they are.
  if (status == kViewerTracingOff) m_sawOff = true;
  if (status != kViewerTracingOn) return false;
  return m_sawOff || (running && ServedViewerEnded());
}
