#pragma once
// One connection attempt to the trace viewer at a time, run on a thread of its own, so
// that a viewer that is slow to answer its handshake (up to about 26 s) never keeps the
// relay from answering the libraries, which wait for every reply. The relay waits on
// Done() beside its other events and then takes the pipe with End().
#include <windows.h>

#include "base/unique.h"

class ViewerConnector {
 public:
  ViewerConnector();
  // Gives a running attempt up and joins it; a pipe it still yields is closed.
  ~ViewerConnector();
  ViewerConnector(const ViewerConnector&) = delete;
  ViewerConnector& operator=(const ViewerConnector&) = delete;

  // Manual reset: set once the running attempt has ended.
  HANDLE Done() const { return m_done.Get(); }
  bool Connecting() const { return static_cast<bool>(m_thread); }
  // Starts an attempt; when its thread cannot start, Connecting() stays false.
  void Begin();
  // Joins the ended (or given up) attempt and hands over its pipe, empty when it failed.
  UniqueFile End();

 private:
  static DWORD WINAPI Run(LPVOID self);

  UniqueHandle m_done;
  UniqueHandle m_cancel;  // manual reset: give the attempt up
  UniqueHandle m_thread;
  UniqueFile m_result;    // the attempt's thread writes it before it sets m_done
};
