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

 private:
  // Serves one pipe instance until the server stops.
  void Serve(const UniqueFile& pipe);
  void Answer(HANDLE pipe);

  Handler m_handler;
  int m_instances;
  std::atomic<bool> m_stopping{false};
  UniqueHandle m_stopEvent;
  std::vector<std::thread> m_threads;
  mutable std::mutex m_lock;
  std::vector<std::string> m_requests;
  int m_unterminated = 0;
};

// Uses up the process's first NKO request against a server that answers at once, so
// that later requests make one attempt instead of ten.
void SpendFirstNkoRequest();
