#include "bench/relay/floor_server.h"

#include <utility>

FloorServer::FloorServer(std::string baseName) : m_name(std::move(baseName)) {
  m_pipe = CreateNamedPipeM(m_name.c_str(), kTraceEventPipeCapacity);
  if (m_pipe == nullptr) return;
  m_stop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // The same copy off the pipe as the relay makes, into a buffer of the same size.
  m_buffer.reset(new uint8_t[kTraceEventPipeCapacity]);
  m_thread = std::thread([this] { Serve(); });
}

FloorServer::~FloorServer() {
  if (m_thread.joinable()) {
    SetEvent(m_stop);
    m_thread.join();
  }
  if (m_stop != nullptr) CloseHandle(m_stop);
  CloseNamedPipeM(m_pipe);
}

void FloorServer::Serve() {
  static constexpr char kAck[8] = "ack";
  const HANDLE waits[2] = {m_stop, NkoGetHandle(GetNamedPipeMEvent(m_pipe))};
  while (WaitForMultipleObjects(2, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    uint32_t length = 0;
    ReadNamedPipeM(m_pipe, m_buffer.get(), kTraceEventPipeCapacity, &length);
    WriteNamedPipeM(m_pipe, kAck, sizeof kAck, nullptr);
  }
}
