#include "shell/startup_checks.h"

#include "base/event_log.h"
#include "shell/service_info.h"
#include "shell/service_status.h"

bool PassStartupChecks() {
  WriteEventLog("Quorvel is starting");
  if (ReadServiceInfo()) {
    // The service's box runs on its own thread; the program ends once the user closed it.
    WaitForServiceMessageClosed();
    return false;
  }
  if (!CheckServiceStatus()) {
    WriteEventLog("NkoServer is not running.  Quorvel cannot continue.");
    return false;
  }
  return true;
}
