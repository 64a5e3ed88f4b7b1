// The transport floor: a server of its own event pipe that takes each message off the
// pipe and answers "ack" at once, translating and writing nothing. It waits with plain
// WaitForMultipleObjects, the cheapest wait there is.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <thread>

#include "base/unique.h"
#include "trace/named_pipe_m.h"

class FloorServer {
 public:
  // Creates the pipe under baseName and starts answering; Ok() tells whether it could.
  explicit FloorServer(std::string baseName);
  ~FloorServer();  // stops the thread before the pipe and the event close
  FloorServer(const FloorServer&) = delete;
  FloorServer& operator=(const FloorServer&) = delete;

  bool Ok() const { return static_cast<bool>(m_pipe); }
  const std::string& Name() const { return m_name; }

 private:
  void Serve();

  std::string m_name;
  UniqueNamedPipeM m_pipe;
  UniqueHandle m_stop;
  std::unique_ptr<uint8_t[]> m_buffer;
  std::thread m_thread;
};
