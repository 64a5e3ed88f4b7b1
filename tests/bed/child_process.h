// Child processes for tests: programs of the build's bin/ folder started with arguments
// and extra environment variables, optionally with their standard output captured and
// their standard input fed by the test.
#pragma once

#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/unique.h"

namespace bed {

// The folder of the running test executable (every executable of the build is in it),
// without a trailing backslash.
std::string BinDir();
// BinDir() + "\" + file.
std::string BinPath(const std::string& file);
// A name unique to this process and call: "<stem>_<pid>_<n>".
std::string UniqueName(const std::string& stem);
// A path in the temporary folder named UniqueName(stem) + suffix (nothing is created).
std::string TempPath(const std::string& stem, const std::string& suffix = "");
// One argument quoted for a Windows command line, so that the C runtime of the child
// gives it back unchanged.
std::string QuoteArgument(const std::string& arg);

struct ChildOptions {
  // Variables set (or replaced) in the child's environment; an empty value removes one.
  // Example: {"WINEDEBUG", "-all,+pid,+eventlog"} makes the child's event-log entries
  // appear in the test run's Wine log.
  std::vector<std::pair<std::string, std::string>> environment;
  // Collect the child's standard output (Output(), WaitForOutput()); otherwise it goes
  // to the test's own standard output.
  bool captureOutput = false;
  // Give the child a pipe as standard input, written with WriteInput(); otherwise it
  // reads from NUL.
  bool pipeInput = false;
};

class ChildProcess {
 public:
  // Starts |program| (a bare file name is looked up in BinDir()). Throws
  // std::runtime_error when the process cannot be started.
  ChildProcess(const std::string& program, const std::vector<std::string>& args, ChildOptions options = {});
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Kills the process if it still runs and waits for it.
  ~ChildProcess();

  DWORD Pid() const { return m_process.ProcessId(); }
  HANDLE Handle() const { return m_process.Process(); }
  const std::string& CommandLine() const { return m_commandLine; }

  bool Running() const;
  // True once the process has exited (within |timeoutMs|).
  bool Wait(DWORD timeoutMs) const;
  // STILL_ACTIVE (259) while running.
  DWORD ExitCode() const;
  // Waits for the exit and returns the exit code; throws std::runtime_error on time-out.
  DWORD WaitExitCode(DWORD timeoutMs) const;
  void Kill(UINT exitCode = 999);

  // Writes |text| to the child's standard input; false unless pipeInput was set and the
  // whole text was written (the child may have ended).
  bool WriteInput(const std::string& text);

  // Captured standard output so far (complete once the process has exited and Wait
  // returned); empty unless captureOutput was set.
  std::string Output() const;
  // How often |text| occurs in the captured output so far (non-overlapping).
  size_t OutputCount(const std::string& text) const;
  // Waits until the captured output contains |text| at least |occurrences| times; false
  // on time-out or when the output ended short of that.
  bool WaitForOutput(const std::string& text, DWORD timeoutMs, size_t occurrences = 1) const;

 private:
  void ReadOutput(UniqueHandle pipe);

  std::string m_commandLine;
  UniqueProcess m_process;
  UniqueHandle m_input;  // our end of the child's standard input, when piped
  std::thread m_reader;
  mutable std::mutex m_outputMutex;
  mutable std::condition_variable m_outputChanged;
  std::string m_output;
  bool m_outputEnded = false;
};

}  // namespace bed
