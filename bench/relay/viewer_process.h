// The trace viewer stand-in (sightline.exe) run for the benchmark: no capture file (a
// 64 KiB array turns into hundreds of kilobytes of text per message), commands through
// its standard input, its output collected for the answers.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class ViewerProcess {
 public:
  // Starts the viewer with the status byte and array limit; returns once it is ready.
  // Throws std::runtime_error when it cannot be started or does not get ready.
  ViewerProcess(int status, uint32_t arrayLimit);
  ~ViewerProcess();
  ViewerProcess(const ViewerProcess&) = delete;
  ViewerProcess& operator=(const ViewerProcess&) = delete;

  // Sends one command and waits for its "ok"; false when it was not taken in time.
  bool Command(const std::string& command);
  // The number of messages the viewer has received so far; -1 when it did not answer.
  int64_t Messages();
  bool WaitForOutput(const std::string& text, DWORD timeoutMs, size_t occurrences = 1) const;
  // Quits and waits for the exit; the exit code (999 when it did not exit in time).
  DWORD Quit();

 private:
  void Send(const std::string& line);
  void ReadOutput();
  size_t Count(const std::string& text) const;

  HANDLE m_process = nullptr;
  HANDLE m_stdin = nullptr;
  HANDLE m_stdout = nullptr;
  std::thread m_reader;
  mutable std::mutex m_lock;
  mutable std::condition_variable m_changed;
  std::string m_output;
};
