#include "trace/viewer_connector.h"

#include <utility>

#include "base/results.h"
#include "trace/viewer_link.h"

// The events are reset and set only by this object, which owns them; a failure of those
// calls on a valid event handle does not occur.
ViewerConnector::ViewerConnector()
    : m_done(CreateEventA(nullptr, TRUE, FALSE, nullptr)), m_cancel(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

ViewerConnector::~ViewerConnector() {
  if (!Connecting()) return;
  IgnoreResult(SetEvent(m_cancel.Get()));
  End().Reset();
}

DWORD WINAPI ViewerConnector::Run(LPVOID self) {
  auto* connector = static_cast<ViewerConnector*>(self);
  connector->m_result = ConnectTraceViewerCancellable(connector->m_cancel.Get(), FILE_FLAG_OVERLAPPED);
  IgnoreResult(SetEvent(connector->m_done.Get()));
  return 0;
}

void ViewerConnector::Begin() {
  IgnoreResult(ResetEvent(m_done.Get()));
  IgnoreResult(ResetEvent(m_cancel.Get()));
  m_result.Reset();
  m_thread.Reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
}

UniqueFile ViewerConnector::End() {
  // Without a time limit the wait ends only with the attempt's thread.
  IgnoreResult(WaitForSingleObject(m_thread.Get(), INFINITE));
  m_thread.Reset();
  IgnoreResult(ResetEvent(m_done.Get()));
  return std::move(m_result);
}
