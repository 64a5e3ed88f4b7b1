#include "bench/relay/floor_server.h"

#include <utility>

#include "base/results.h"

FloorServer::FloorServer(std::string baseName) : m_name(std::move(baseName)) {
  m_pipe.Reset(CreateNamedPipeM(m_name.c_str(), kTraceEventPipeCapacity));
  if (!m_pipe) return;
  m_stop.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!m_stop) {
    m_pipe.Reset();  // not Ok(): a server that could not be stopped is not started
    return;
  }
  // The same copy off the pipe as the relay makes, into a buffer of the same size.
  m_buffer.reset(new uint8_t[kTraceEventPipeCapacity]);
  m_thread = std::thread([this] { Serve(); });
}

FloorServer::~FloorServer() {
  if (m_thread.joinable()) {
    IgnoreResult(SetEvent(m_stop.Get()));  // cannot fail for the server's own event
    m_thread.join();
  }
}

void FloorServer::Serve() {
  static constexpr char kAck[8] = "ack";
  const HANDLE waits[2] = {m_stop.Get(), NkoGetHandle(GetNamedPipeMEvent(m_pipe.Get()))};
  while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    // A message cut to the buffer is still answered, as the relay answers it; the bench
    // client counts what it gets back.
    uint32_t length = 0;
    IgnoreResult(ReadNamedPipeM(m_pipe.Get(), m_buffer.get(), kTraceEventPipeCapacity, &length));
    IgnoreResult(WriteNamedPipeM(m_pipe.Get(), kAck, sizeof kAck, nullptr));
  }
}
