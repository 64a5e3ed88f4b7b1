#pragma once
// An NKO server inside the test process that really creates the objects it is asked for
// (the NKO request parser and object table the service stand-in serves, behind the scripted
// in-process server), so that Global\ objects work in unit tests without a service.
#include <atomic>
#include <memory>
#include <string>

#include "kobj/testing/fake_nko_server.h"
#include "kobj/nko_client.h"
#include "support/nko_request.h"
#include "support/nko_object_table.h"

class NkoObjectServer {
 public:
  NkoObjectServer() {
    m_server = std::make_unique<FakeNkoServer>([this](const std::string& text) { return Answer(text); });
    // The first request of a process retries for seconds when no server answers; make
    // sure that one has been spent on a server that is there.
    NkoRequest("<CloseHandle ProcId=\"0\" Handle=\"0\"/>");
  }
  ~NkoObjectServer() { m_server.reset(); }

  // Create requests for semaphores fail with access denied while set.
  void RefuseSemaphores(bool refuse) { m_refuseSemaphores = refuse; }

 private:
  FakeNkoReply Answer(const std::string& text) {
    const auto request = ombrix::ParseNkoRequest(text);
    if (!request) return {"0,87"};
    if (m_refuseSemaphores && request->kind == ombrix::RequestKind::CreateSemaphore) return {"0,5"};
    return {m_objects.Execute(*request, false)};
  }

  ombrix::ObjectTable m_objects;
  std::atomic<bool> m_refuseSemaphores{false};
  std::unique_ptr<FakeNkoServer> m_server;
};
