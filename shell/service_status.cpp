#include "shell/service_status.h"

#include "base/bounded_text.h"
#include "base/event_log.h"
#include "base/window_identity.h"
#include "base/os_class.h"
#include "base/results.h"
#include "base/unique.h"
#include "config/startup_timeouts.h"
#include "kobj/nko_handle.h"
#include "shell/instance_lock.h"
#include "shell/service_info.h"

namespace {

constexpr DWORD kServiceTryPauseMs = 5000;
// Added to the NKO start-up time-out when the service event exists but is not yet set.
constexpr DWORD kServiceEventGraceMs = 5000;
constexpr size_t kSummarySize = 1024;

// The three facts the status summary shows.
struct ServiceStatus {
  int serviceStatus = 0;
  int nkoStatus = 0;
  int nkoWorking = 0;
};

int ProbeService() {
  // Rounded to tries of 5 s each: the default 240000 ms gives 48.
  const int tries = static_cast<int>((static_cast<unsigned>(GetProcessStartupTimeoutMs()) + 2500u) / 5000u);
  int status = kProbeAbsent;
  for (int left = tries; left >= 1 && !IsServiceInfoMissing(); --left) {
    status = ProbeEvent(kServiceRunningEventName, 0);
    if (status == kProbeWaiting) {
      status = ProbeEvent(kServiceRunningEventName,
                          static_cast<DWORD>(GetProcessNkoStartupTimeoutMs()) + kServiceEventGraceMs);
      break;
    }
    if (status == kProbeSignalled) break;
    Sleep(kServiceTryPauseMs);
  }
  return status;
}

// The test event is made through the server and closed again at once.
bool NkoServerCreatesObjects() {
  const UniqueNko test(NkoCreateEvent(GetNullDaclSecurityAttributes(), TRUE, FALSE, kNkoTestEventName));
  return NkoIsValid(test.Get());
}

ServiceStatus ProbeServiceStatus() {
  ServiceStatus status;
  status.serviceStatus = ProbeService();
  if (status.serviceStatus == kProbeSignalled) {
    status.nkoStatus = ProbeEvent(kNkoRunningEventName, 0);
    // A second instance leaves the test object to the instance that runs: that one proved
    // the server at its own start, and an option such as "-x" must reach it even while
    // the server does not answer. Beyond the prescribed checks on purpose: so a second
    // instance makes no NKO exchange at all before it forwards its option.
    if (status.nkoStatus == kProbeSignalled && (InstanceLockExists() || NkoServerCreatesObjects())) {
      status.nkoWorking = 1;
    }
  }
  return status;
}

void FormatSummary(const ServiceStatus& status, char* buffer, size_t size) {
  FormatBounded(buffer, size,
                "The Korvane Quorvel could not start because there was a problem \n"
                "communicating with the Korvane Ombrix Service.\n\n"
                "Status Summary:\n"
                "    %d = KorvaneOmbrixService status\n"
                "    %d = NkoServer status\n"
                "    %d = NkoServer working\n\n"
                "Restart your computer and if the problem persists,\n"
                "contact Korvane Technologies.",
                status.serviceStatus, status.nkoStatus, status.nkoWorking);
}

}  // namespace

int ProbeEvent(const char* name, DWORD timeoutMs) {
  const UniqueHandle event(OpenEventA(SYNCHRONIZE, FALSE, name));
  if (!event) return kProbeAbsent;
  return WaitForSingleObject(event.Get(), timeoutMs) == WAIT_OBJECT_0 ? kProbeSignalled : kProbeWaiting;
}

bool CheckServiceStatus() {
  const ServiceStatus status = ProbeServiceStatus();
  if (status.serviceStatus == kProbeSignalled && status.nkoStatus == kProbeSignalled && status.nkoWorking == 1) {
    return true;
  }
  char summary[kSummarySize];
  FormatSummary(status, summary, sizeof summary);
  WriteEventLog(summary);
  // The box has only an OK button: start-up ends once it is closed.
  IgnoreResult(MessageBoxA(nullptr, summary, kMessageBoxCaption, MB_ICONERROR));
  return false;
}
