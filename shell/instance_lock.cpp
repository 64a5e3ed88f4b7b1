#include "shell/instance_lock.h"

#include "base/event_log.h"
#include "base/window_identity.h"
#include "base/os_class.h"
#include "base/results.h"
#include "kobj/object_names.h"

namespace {
constexpr int kLockNameSize = 260;
}

UniqueNko CreateInstanceLock(bool& alreadyRunning) {
  char name[kLockNameSize];
  BuildObjectName(0, kInstanceLockBaseName, name, kLockNameSize);
  UniqueNko lock(NkoCreateEvent(GetNullDaclSecurityAttributes(), TRUE, FALSE, name));
  // Read at once: any later call may overwrite it.
  alreadyRunning = GetLastError() == ERROR_ALREADY_EXISTS;
  return lock;
}

bool InstanceLockExists() {
  char name[kLockNameSize];
  BuildObjectName(0, kInstanceLockBaseName, name, kLockNameSize);
  return static_cast<bool>(UniqueHandle(OpenEventA(SYNCHRONIZE, FALSE, name)));
}

void ReportInstanceLockFailure() {
  // The box has only an OK button: the program ends once it is closed.
  IgnoreResult(MessageBoxA(nullptr,
                           "The Korvane Quorvel could not start.\n\n"
                           "Restart your computer and if the problem persists,\n"
                           "contact Korvane Technologies.",
                           kMessageBoxCaption, MB_ICONERROR));
  WriteEventLog("Unable to create Quorvel lock event.  Quorvel cannot continue.");
}
