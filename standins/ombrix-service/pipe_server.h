// The NKO server's message-type pipe: a fixed number of instances, each served by a
// thread of its own, one request per connection.
//   client -> server: 4-byte little-endian count N, then N bytes (request text + NUL)
//   server -> client: 4-byte little-endian count M, then M bytes (reply text + NUL)
// Tests inject faults through ServerFaults.
#pragma once

#include <windows.h>

#include "kobj/nko_protocol.h"  // the pipe name and frame sizes, shared with the client

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/unique.h"
#include "support/nko_object_table.h"
#include "standins/ombrix-service/request_log.h"

namespace ombrix {

struct ServerFaults {
  bool refuseCreate = false;              // every create request: "0,5"
  DWORD replyDelayMs = 0;                 // wait this long before each reply
  bool dropReply = false;                 // read the request, close without a reply
  bool garbageReply = false;              // reply with text that is no number
  std::optional<std::string> replyText;   // reply with this text and carry out nothing
  uint32_t oversizedCount = 0;            // announce this reply count: the reply, then filler
  int64_t faultLimit = -1;                // faults hit only the first N requests (-1: all)
  // A silent server: it reads a request and never answers, holding the connection until
  // the client closes it. Silent from request number silentAfter on (0: from the start,
  // -1: never), and from the moment silentEvent (borrowed; may be null) is set.
  int64_t silentAfter = -1;
  HANDLE silentEvent = nullptr;
};

struct ServerOptions {
  std::string pipeName = kNkoPipeName;
  int instances = 4;
  ServerFaults faults;
  DWORD ioTimeoutMs = 10000;  // a client silent for this long loses its connection
};

class PipeServer {
 public:
  PipeServer(ServerOptions options, ObjectTable& objects, RequestLog& log, HANDLE stopEvent);
  PipeServer(const PipeServer&) = delete;
  PipeServer& operator=(const PipeServer&) = delete;
  ~PipeServer() { Join(); }

  // Creates every pipe instance (so that clients can connect once this returns) and
  // starts their threads. Fails when another server already owns the pipe name.
  bool Start(std::string& error);
  // Waits for the threads; they end once the stop event is set.
  void Join();

  bool Started() const { return !m_threads.empty(); }
  uint64_t Served() const { return m_served.load(); }

 private:
  void Serve(HANDLE pipe);
  void ServeConnection(HANDLE pipe, HANDLE ioEvent);
  std::string Answer(const std::vector<char>& body, bool faulted);
  bool Silent(uint64_t sequence) const;
  // Reads and drops whatever comes until the client closes its end or the server stops.
  void HoldUntilClosed(HANDLE pipe, HANDLE ioEvent);

  ServerOptions m_options;
  ObjectTable& m_objects;
  RequestLog& m_log;
  HANDLE m_stop;
  std::vector<UniqueFile> m_pipes;  // served by m_threads, closed after they end
  std::vector<std::thread> m_threads;
  std::atomic<uint64_t> m_served{0};
};

}  // namespace ombrix
