// The viewer the relay writes to during a benchmark run: the viewer stand-in, or
// quorvel-trace capturing to a file, each a process of its own.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

#include "tests/bed/child_process.h"
#include "tests/bed/viewer_standin.h"

enum class ViewerKind { StandIn, TraceCapture };
const char* ViewerKindName(ViewerKind kind);

class BenchViewer {
 public:
  // Starts the viewer with tracing wanted; throws std::runtime_error when it does not
  // get ready.
  BenchViewer(ViewerKind kind, uint32_t arrayLimit);
  ~BenchViewer();
  BenchViewer(const BenchViewer&) = delete;
  BenchViewer& operator=(const BenchViewer&) = delete;

  ViewerKind Kind() const { return m_kind; }
  // Whether the status can be set to 2 (connected, nothing written); only the stand-in.
  bool HasStatusCommand() const { return m_standIn != nullptr; }
  bool SetStatus(int status);
  bool Connected(DWORD timeoutMs) const;
  // Ends the viewer; the number of messages it received (-1 when it did not say).
  int64_t Finish(int64_t expected, DWORD timeoutMs);

 private:
  ViewerKind m_kind;
  std::unique_ptr<bed::ViewerStandIn> m_standIn;
  std::unique_ptr<bed::ChildProcess> m_capture;
  std::string m_capturePath;
  HANDLE m_stop = nullptr;
};
