// The viewer side of the trace link: the status memory, the connection handshake
// (mutex, request event, ready event) and one inbound pipe instance per connection,
// whose UTF-16 texts are captured one per line in UTF-8.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/unique.h"

namespace viewer_side {

struct ViewerOptions {
  uint8_t status = 0;
  uint32_t arrayLimit = 1024;
  std::string capturePath;  // empty: no capture file
  bool echo = false;        // print every message to standard output
  bool stallReady = false;  // never set the ready event
  // Takes every message (UTF-16, without its NUL) instead of the capture file, one call
  // at a time; false stops the delivery of further messages.
  std::function<bool(const char16_t* text, size_t length)> sink;
  bool pauseReading = false;  // leave every connection's data unread in its pipe
  DWORD readDelayMs = 0;      // pause before every read of a connection (a slow viewer)
};

class ViewerServer {
 public:
  ViewerServer(ViewerOptions options, HANDLE stop) : m_options(std::move(options)), m_stop(stop) {}
  ~ViewerServer();
  ViewerServer(const ViewerServer&) = delete;
  ViewerServer& operator=(const ViewerServer&) = delete;

  // Creates every object; false (with the reason) when one exists already or fails. A
  // status memory left behind by an ended viewer (a relay keeps it while mapped) is taken
  // over; one whose viewer still answers requests is not.
  bool Publish(std::string& error);
  // Answers connection requests until the stop event is set.
  void Serve();

  void SetStatus(uint8_t status);
  void SetArrayLimit(uint32_t limit);
  void SetStallReady(bool stall) { m_stall = stall; }
  void SetPauseReading(bool pause) { m_pauseReading = pause; }
  void SetReadDelay(DWORD ms) { m_readDelayMs = ms; }
  // Disconnects every current connection; the writer's next write fails.
  void DropConnections();
  uint64_t Messages() const { return m_messages.load(); }
  // True when Publish took over a status memory left behind by an ended viewer.
  bool TookOver() const { return m_tookOver; }
  int Connections() const;

 private:
  // Its reader is joined before its handles close (DropConnections).
  struct Connection {
    UniqueFile pipe;
    UniqueHandle drop;  // manual reset: set to end the reader
    std::thread reader;
    std::atomic<bool> open{true};
  };

  void AcceptRequest();
  void Read(Connection* connection);
  void Deliver(const char16_t* text, size_t length);
  // Holds a reader while reading is paused and for the read delay; false once the
  // connection is dropped or the viewer stops.
  bool ReadWhenAllowed(const Connection* connection) const;

  ViewerOptions m_options;
  HANDLE m_stop;  // borrowed from the owner of the server
  UniqueHandle m_memory;
  UniqueView m_view;
  UniqueHandle m_mutex;
  UniqueHandle m_request;
  UniqueHandle m_ready;
  std::atomic<bool> m_stall{false};
  std::atomic<bool> m_pauseReading{false};
  std::atomic<DWORD> m_readDelayMs{0};
  std::atomic<uint64_t> m_messages{0};
  bool m_sinkFailed = false;
  bool m_tookOver = false;
  UniqueFile m_capture;
  std::mutex m_captureLock;
  mutable std::mutex m_connectionsLock;
  std::vector<std::unique_ptr<Connection>> m_connections;
};

}  // namespace viewer_side
