#pragma once
// An NKO server played by a thread of the test process: it serves the NKO pipe with as
// many instances as asked, records every request and answers with what the test scripts.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/unique.h"

struct FakeNkoReply {
  std::string text;         // the reply text
  uint32_t count = 0;       // the announced count; 0 means text.size()
  bool drop = false;        // close the connection without replying
  bool silent = false;      // never reply: hold the connection until the client closes it
  bool silentAfterCount = false;  // send the count only, then hold the connection
};

class FakeNkoServer {
 public:
  using Handler = std::function<FakeNkoReply(const std::string& request)>;

  // Answers every request with reply.
  explicit FakeNkoServer(std::string reply, int instances = 4);
  explicit FakeNkoServer(Handler handler, int instances = 4);
  ~FakeNkoServer();
  FakeNkoServer(const FakeNkoServer&) = delete;
  FakeNkoServer& operator=(const FakeNkoServer&) = delete;

  // The request texts received, without their terminating NUL.
  std::vector<std::string> Requests() const;
  // How many requests arrived without the NUL that the frame's count includes.
  int UnterminatedRequests() const;
  // From now on every connection is accepted and held without reading anything, until
  // ResumeReading; a held connection then takes what is left and sees the client's close.
  void StopReading() { m_readNothing = true; }
  void ResumeReading() { m_readNothing = false; }
  // How many held connections the client closed (a silent server learns of it so).
  int ClosedByClient() const { return m_closedByClient.load(); }

 private:
  // Serves one pipe instance until the server stops.
  void Serve(const UniqueFile& pipe);
  void Answer(HANDLE pipe);
  // Waits until the client closes its end or the server stops.
  void Hold(HANDLE pipe);

  Handler m_handler;
  int m_instances;
  std::atomic<bool> m_stopping{false};
  std::atomic<bool> m_readNothing{false};
  std::atomic<int> m_closedByClient{0};
  UniqueHandle m_stopEvent;
  std::vector<std::thread> m_threads;
  mutable std::mutex m_lock;
  std::vector<std::string> m_requests;
  int m_unterminated = 0;
};

// Uses up the process's first NKO request against a server that answers at once, so
// that later requests make one attempt instead of ten.
void SpendFirstNkoRequest();
