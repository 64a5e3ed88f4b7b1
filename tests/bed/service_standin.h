// The suite service stand-in (ombrix-service.exe) as a test fixture: started with the
// given options, ready when the constructor returns, stopped through its own stop event
// when the object goes (its exit code must then be 0, or the test fails).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/bed/child_process.h"

namespace bed {

class ServiceStandIn {
 public:
  struct Request {
    std::string text;   // the request exactly as received (its NUL not included)
    std::string reply;  // the reply text, "(dropped)" when none was sent
  };

  // Starts ombrix-service.exe with |options| (see its --help) plus a unique stop event,
  // ready event and request log of its own. Returns once
  // the stand-in is ready: everything not deliberately delayed is published and the
  // pipe serves. Throws std::runtime_error when it exits or is not ready in time.
  explicit ServiceStandIn(std::vector<std::string> options = {}, DWORD readyTimeoutMs = 20000);
  ServiceStandIn(const ServiceStandIn&) = delete;
  ServiceStandIn& operator=(const ServiceStandIn&) = delete;
  ~ServiceStandIn();

  // The requests received so far, in order.
  std::vector<Request> Requests() const;

  // Sets the stop event and waits for the exit; returns the exit code. Throws
  // std::runtime_error when the stand-in does not stop in time (it is killed then).
  DWORD Stop(DWORD timeoutMs = 15000);

 private:
  HANDLE m_stopEvent = nullptr;
  std::string m_requestLog;
  bool m_stopped = false;
  std::unique_ptr<ChildProcess> m_process;
};

// Undoes the escaping of the stand-in's request log (\\ \n \r \t \xHH).
std::string UnescapeRequestLog(std::string_view text);

}  // namespace bed
