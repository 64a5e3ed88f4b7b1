#pragma once
// Tells when the trace viewer asks for tracing afresh after the relay has let go of it
// while its status may still say 1: a connection given up (a viewer that stopped reading,
// broke its pipe or ended), or tracing stopped by another process. The viewer asks afresh
// when its status has been seen at 0 and is 1 again, or when the viewer that was served
// has ended and a viewer runs (a new one) with the status at 1.
//
// The new viewer is recognised by the viewer's objects, not by its status: this process
// keeps the status memory mapped, so a new viewer takes it over and writes 1 into it
// without a 0 ever being seen.
#include <windows.h>

#include "base/unique.h"

class ViewerRequestWatch {
 public:
  // Starts a watch at the viewer's status then. viewer: the process of the viewer that was
  // served (signalled once it has ended), or empty when none was served or the system
  // could not tell; then the viewer counts as ended once its objects have been seen gone.
  void Arm(int status, UniqueHandle viewer);
  // One look, at each tick of the relay: true once the viewer asks afresh.
  bool AskedAfresh(int status);

 private:
  bool ServedViewerEnded();

  UniqueHandle m_viewer;
  bool m_sawOff = false;
  bool m_sawNoViewer = false;
};
