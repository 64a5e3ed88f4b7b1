// The trace viewer stand-in (sightline.exe) driven by a test: started with a capture file
// of its own, commanded through its standard input, its output and capture read back.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SightlineDriver {
 public:
  // Starts the viewer with status, array limit and extra options; returns once it is ready.
  explicit SightlineDriver(int status = 0, unsigned arrayLimit = 1024, const std::vector<std::string>& extra = {});
  ~SightlineDriver();
  SightlineDriver(const SightlineDriver&) = delete;
  SightlineDriver& operator=(const SightlineDriver&) = delete;

  // Sends one command line and waits for its "ok".
  void Command(const std::string& command);
  bool WaitForOutput(const std::string& text, DWORD timeoutMs, size_t occurrences = 1) const;
  std::string Output() const;
  // The captured messages so far, one per line.
  std::vector<std::string> Capture() const;
  // Polls until the capture holds at least count messages; returns them.
  std::vector<std::string> WaitForCapture(size_t count, DWORD timeoutMs) const;
  // Quits and waits for the exit; the exit code.
  DWORD Quit();

 private:
  void ReadOutput();

  std::string m_capturePath;
  HANDLE m_process = nullptr;
  HANDLE m_stdin = nullptr;
  HANDLE m_stdout = nullptr;
  std::thread m_reader;
  mutable std::mutex m_lock;
  mutable std::condition_variable m_changed;
  std::string m_output;
};

// Occurrences of needle in haystack.
size_t CountOccurrences(const std::string& haystack, const std::string& needle);
