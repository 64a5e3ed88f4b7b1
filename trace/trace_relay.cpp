#include "trace/trace_relay.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string_view>

#include "base/bounded_text.h"
#include "base/event_log.h"
#include "base/window_identity.h"
#include "base/os_class.h"
#include "base/results.h"
#include "kobj/nko_handle.h"
#include "kobj/object_names.h"
#include "trace/named_pipe_m.h"
#include "trace/trace_control.h"
#include "trace/viewer_connector.h"
#include "trace/viewer_link.h"
#include "trace/viewer_request_watch.h"
#include "trace/xlate/event_translator_win32.h"

namespace {

constexpr char kAck[kTraceReplySize] = "ack";
constexpr char kNack[kTraceReplySize] = "nack";
// The relay waits for the poller this long at its end; the poller wakes at once.
constexpr DWORD kPollerJoinMs = 5000;

// The relay thread and the poller thread of the process's relay; the parameter is unused.
DWORD WINAPI TraceEventsThread(LPVOID);
DWORD WINAPI TraceStatusThread(LPVOID);

// The relay of this process: its two threads and everything they use. Start makes the
// events and threads; the relay thread makes and releases its own part (Setup, Cleanup)
// once per session; Stop joins the threads before it releases what they read.
//
// A session ends for good when this process stops the relay, through a stop event of its
// own. The machine-wide stop event that other programs may set ends only the session:
// the relay switches tracing off, lets everything go and starts again when a viewer asks
// for tracing afresh, so that no other process can switch tracing off for good.
class TraceRelay {
 public:
  void Start();
  bool Stop(DWORD timeoutMs);
  DWORD RunRelay();
  DWORD RunPoller();
  void UpdateTraceInfo();

 private:
  enum class SessionEnd { kStopped, kOutsideStop };

  void StartPoller();
  SessionEnd RunSession(quorvel::xlate::EventTranslator& translator);
  bool AwaitViewerRequest();
  void Setup();
  void Cleanup();
  void Reply(const char (&word)[kTraceReplySize]);
  void HandleMessage(quorvel::xlate::EventTranslator& translator);
  void WriteViewer(std::u16string_view text);
  void OnViewerConnected();
  void SwitchTracingOn(UniqueFile viewerPipe);
  void SwitchTracingOff();
  void ReleaseViewer();
  void GiveUpViewer(const char* why);
  bool ViewerEnded() const;
  void LetGoOfViewer();

  // From Start to Stop.
  UniqueHandle m_privateStop;  // manual reset: this process's stop request
  // The machine-wide stop event, which other programs may set; never set by this process.
  UniqueNko m_shutdownEvent;
  UniqueNko m_traceInfoEvent;  // the poller's tick; the poller releases it at its end
  UniqueHandle m_pollerStop;   // manual reset: wakes the poller for good
  UniqueHandle m_pollerThread;
  UniqueHandle m_relayThread;
  std::atomic<int> m_stopFlag{0};

  // Relay thread only, from Setup to Cleanup.
  UniqueNamedPipeM m_eventPipe;
  std::optional<ViewerConnector> m_connector;
  UniqueHandle m_writeDone;  // manual reset: the pending write to the viewer has ended
  UniqueFile m_tracingNamedPipeHandle;
  // 1 from the switch-on until the viewer's status is seen at 0. A connection given up
  // (the viewer stopped reading, broke its pipe or ended) keeps it at 1 with the pipe
  // closed, so that the relay does not connect to that viewer again until it asks afresh.
  int m_tracingOn = 0;
  unsigned long m_messagesNotTaken = 0;  // on the current connection
  UniqueHandle m_viewerProcess;          // the connected viewer's, when known

  // Relay thread only, from Start to Stop.
  ViewerRequestWatch m_request;  // armed whenever the relay lets go of a viewer
  std::unique_ptr<uint8_t[]> m_buffer;
};

// Never destroyed: a relay whose stop timed out may still run while the process exits.
TraceRelay& Relay() {
  static TraceRelay& relay = *new TraceRelay;
  return relay;
}

// A pipe whose first creator gave it less than 8 bytes carries what fits; nothing more can
// be done for its clients.
void TraceRelay::Reply(const char (&word)[kTraceReplySize]) {
  IgnoreResult(WriteNamedPipeM(m_eventPipe.Get(), word, kTraceReplySize, nullptr));
}

void TraceRelay::SwitchTracingOn(UniqueFile viewerPipe) {
  m_tracingNamedPipeHandle = std::move(viewerPipe);
  m_tracingOn = 1;
  m_messagesNotTaken = 0;
  if (TraceControlBlock* block = GetTraceControlView()) {
    StoreTraceFlag(block->maxArraySize, static_cast<int32_t>(GetViewerArraySizeLimit()));
    StoreTraceFlag(block->visaEnabled, 1);
    StoreTraceFlag(block->trilTopEnabled, 1);
    StoreTraceFlag(block->trilBottomEnabled, 1);
    StoreTraceFlag(block->enabled, 1);
    StoreTraceFlag(block->viewerEnabled, 1);
  }
  TraceEventsLog("UpdateTraceInfo: tracing has been enabled.");
}

// Switches the libraries off and closes the relay's end of the viewer pipe.
void TraceRelay::ReleaseViewer() {
  if (TraceControlBlock* block = GetTraceControlView()) {
    StoreTraceFlag(block->enabled, 0);
    StoreTraceFlag(block->viewerEnabled, 0);
  }
  m_tracingNamedPipeHandle.Reset();
}

void TraceRelay::SwitchTracingOff() {
  ReleaseViewer();
  m_tracingOn = 0;
  TraceEventsLog("UpdateTraceInfo: tracing has been disabled.");
}

// Ends a connection that the viewer no longer serves: the libraries are switched off and
// the pipe closed at once, and the relay waits until the viewer asks afresh (its status 0
// and then 1, or a new viewer). why opens the one log line.
void TraceRelay::GiveUpViewer(const char* why) {
  ReleaseViewer();
  m_request.Arm(GetViewerTraceStatus(), std::move(m_viewerProcess));
  TraceEventsLog("%s; its connection is given up, messages given up: %lu.", why, m_messagesNotTaken);
}

bool TraceRelay::ViewerEnded() const {
  return m_viewerProcess && WaitForSingleObject(m_viewerProcess.Get(), 0) == WAIT_OBJECT_0;
}

void TraceRelay::OnViewerConnected() {
  UniqueFile pipe = m_connector->End();
  if (!pipe) return;           // tried again at the next tick
  if (m_tracingOn) return;     // already connected: the new pipe closes here
  m_viewerProcess = OpenViewerProcess(pipe.Get());
  SwitchTracingOn(std::move(pipe));
}

// A viewer that does not take a message within the limit has stopped reading, and every
// traced call on the machine would wait for it; a write that fails means the viewer has
// gone or broken its pipe, and every later write would fail too. Either way the
// connection is given up at once rather than kept until the viewer's status falls to 0,
// so that a new viewer can be served.
void TraceRelay::WriteViewer(std::u16string_view text) {
  // One write per message: the text with its 16-bit NUL, which is the framing.
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
  const DWORD limitMs = ViewerWriteLimitMs(bytes);
  const ViewerWrite written =
      WriteViewerPipeBounded(m_tracingNamedPipeHandle.Get(), m_writeDone.Get(), text.data(), bytes, limitMs);
  if (written == ViewerWrite::kWritten) return;
  const unsigned long error = GetLastError();
  ++m_messagesNotTaken;
  char why[160];
  if (written == ViewerWrite::kTimedOut) {
    FormatBounded(why, sizeof why, "WriteViewer: the viewer has not taken a message of %lu bytes within %lu ms",
                  static_cast<unsigned long>(bytes), static_cast<unsigned long>(limitMs));
  } else {
    FormatBounded(why, sizeof why, "WriteViewer: a write to the viewer failed (error %lu)", error);
  }
  GiveUpViewer(why);
}

void TraceRelay::HandleMessage(quorvel::xlate::EventTranslator& translator) {
  uint8_t* buffer = m_buffer.get();
  uint32_t length = 0;
  if (ReadNamedPipeM(m_eventPipe.Get(), buffer, kTraceEventPipeCapacity, &length) == kPipeMReadCut) {
    Reply(kNack);
    return;
  }
  // The first 4 bytes of a message belong to the writer; the trace message follows.
  if (m_tracingNamedPipeHandle && GetViewerTraceStatus() == kViewerTracingOn && length > 4) {
    if (const auto text = translator.TranslateEvent(buffer + 4, buffer + length)) {
      WriteViewer(*text);
      Sleep(0);
    }
  }
  Reply(kAck);
}

// Takes everything in this thread's message queue; false once WM_QUIT came.
bool PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return false;
    IgnoreResult(TranslateMessage(&msg));
    IgnoreResult(DispatchMessageA(&msg));
  }
  return true;
}

void TraceRelay::Setup() {
  IgnoreResult(InitTraceControl());  // without the blocks the relay still answers every message
  m_eventPipe.Reset(CreateNamedPipeM(kTraceEventPipeName, kTraceEventPipeCapacity));
  InitTraceStatusLock();
  m_connector.emplace();
  m_writeDone.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
}

// Stops the poller before anything it reads (the control block, the viewer status
// memory) is released, then releases in this order: a connection attempt still under
// way, the event pipe, the trace control blocks, the viewer status memory, the viewer
// pipe, the write event and the status lock.
void TraceRelay::Cleanup() {
  // The poller also stops on its own at its next tick once the stop flag is set.
  IgnoreResult(SetEvent(m_pollerStop.Get()));
  if (m_pollerThread) IgnoreResult(WaitForSingleObject(m_pollerThread.Get(), kPollerJoinMs));
  m_connector.reset();
  m_eventPipe.Reset();
  // The libraries stop tracing with the relay: no one would take their messages any more.
  if (m_tracingOn != 0) ReleaseViewer();
  ShutdownTraceControl();
  CloseViewerStatusMemory();
  m_tracingNamedPipeHandle.Reset();
  m_viewerProcess.Reset();
  m_tracingOn = 0;
  m_writeDone.Reset();
  DeleteTraceStatusLock();
}

void TraceRelay::UpdateTraceInfo() {
  const int status = GetViewerTraceStatus();
  // A viewer that ended while no write was under way is given up just as one whose
  // write failed, so that a new viewer is served without waiting for a message.
  if (m_tracingNamedPipeHandle && ViewerEnded()) GiveUpViewer("UpdateTraceInfo: the viewer has ended");
  // A connection given up ends once the viewer asks afresh; a new viewer is connected
  // at once, without its status falling to 0 first.
  if (m_tracingOn == 1 && !m_tracingNamedPipeHandle && m_request.AskedAfresh(status)) m_tracingOn = 0;
  if (status == kViewerTracingOn && m_tracingOn == 0 && m_connector && !m_connector->Connecting()) {
    m_connector->Begin();
  }
  if (m_tracingOn == 1 && GetViewerTraceStatus() == kViewerTracingOff) SwitchTracingOff();
}

// The relay lets go of the viewer when another process stops it: the libraries are
// switched off, so that none waits for replies that nobody gives, and the watch for the
// viewer's next request starts (a connection given up has started it already).
void TraceRelay::LetGoOfViewer() {
  if (m_tracingNamedPipeHandle) {
    ReleaseViewer();
    m_request.Arm(GetViewerTraceStatus(), std::move(m_viewerProcess));
  } else if (m_tracingOn == 0) {
    m_request.Arm(GetViewerTraceStatus(), UniqueHandle());
  }
}

TraceRelay::SessionEnd TraceRelay::RunSession(quorvel::xlate::EventTranslator& translator) {
  Setup();
  enum { kStop, kOutsideStop, kTraceInfo, kConnected, kMessage };
  HANDLE waits[5] = {m_privateStop.Get(), NkoGetHandle(m_shutdownEvent.Get()), NkoGetHandle(m_traceInfoEvent.Get()),
                     m_connector->Done(), nullptr};
  // Without an event pipe (or a buffer) there is nothing to relay; the thread still
  // follows the viewer and stops on request.
  DWORD count = 4;
  if (m_eventPipe && m_buffer) waits[count++] = NkoGetHandle(GetNamedPipeMEvent(m_eventPipe.Get()));

  SessionEnd end = SessionEnd::kStopped;
  while (m_stopFlag.load() == 0) {
    const DWORD result = MsgWaitForMultipleObjects(count, waits, FALSE, INFINITE, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0 + kStop) {
      m_stopFlag = 1;
    } else if (result == WAIT_OBJECT_0 + kOutsideStop) {
      end = SessionEnd::kOutsideStop;
      m_stopFlag = 1;
    } else if (result == WAIT_OBJECT_0 + kTraceInfo) {
      UpdateTraceInfo();
    } else if (result == WAIT_OBJECT_0 + kConnected) {
      OnViewerConnected();
    } else if (result == WAIT_OBJECT_0 + kMessage && count > kMessage) {
      HandleMessage(translator);
    } else if (result == WAIT_OBJECT_0 + count) {
      if (!PumpMessages()) m_stopFlag = 1;
    } else if (result == WAIT_FAILED) {
      Sleep(10);  // a persistent failure must not spin a core
    }
  }
  if (end == SessionEnd::kOutsideStop) LetGoOfViewer();
  Cleanup();
  return end;
}

// Tells the main window that tracing has changed; the poller, which does it otherwise,
// has stopped with the session.
void PostTracingChanged() {
  HWND window = FindWindowA(kMainWindowClass, kMainWindowTitle);
  if (window != nullptr) IgnoreResult(PostMessageA(window, WM_USER_SHOW_ICON, 0, 0));
}

// Between sessions: looks at the viewer every tick until it asks for tracing afresh
// (true) or this process stops the relay (false).
bool TraceRelay::AwaitViewerRequest() {
  HANDLE stop = m_privateStop.Get();
  bool asked = false;
  while (!asked) {
    const DWORD result = MsgWaitForMultipleObjects(1, &stop, FALSE, kTraceStatusTickMs, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0) break;
    if (result == WAIT_OBJECT_0 + 1 && !PumpMessages()) break;
    if (result == WAIT_FAILED) Sleep(kTraceStatusTickMs);  // a persistent failure must not spin a core
    asked = m_request.AskedAfresh(GetViewerTraceStatus());
  }
  // The looks opened the status memory and its lock again: a relay that ends here
  // releases them, one that starts again keeps them for its session.
  if (!asked) {
    CloseViewerStatusMemory();
    DeleteTraceStatusLock();
    return false;
  }
  // A stop that another process asked for while the relay stood still has been done.
  if (m_shutdownEvent) IgnoreResult(WaitForSingleObject(NkoGetHandle(m_shutdownEvent.Get()), 0));
  TraceEventsLog("TraceEventsThread: a viewer asks for tracing; the relay starts again.");
  return true;
}

DWORD TraceRelay::RunRelay() {
  m_buffer.reset(new (std::nothrow) uint8_t[kTraceEventPipeCapacity]);
  quorvel::xlate::EventTranslator translator(quorvel::xlate::AnsiCodePage());
  while (RunSession(translator) == SessionEnd::kOutsideStop) {
    TraceEventsLog(
        "TraceEventsThread: the stop event was set by another process; tracing is off until a viewer asks for it "
        "again.");
    PostTracingChanged();
    if (!AwaitViewerRequest()) break;
    // The last session's poller woke at once on its stop event; it releases the tick
    // event at its end, so it must have ended before a new tick event is made.
    IgnoreResult(WaitForSingleObject(m_pollerThread.Get(), INFINITE));
    m_stopFlag = 0;
    StartPoller();
  }
  m_buffer.reset();
  return 0;
}

DWORD TraceRelay::RunPoller() {
  const TraceControlBlock* start = GetTraceControlView();
  int previous = start != nullptr ? LoadTraceFlag(start->enabled) : 0;
  int current = previous;
  HWND window = nullptr;
  while (m_stopFlag.load() == 0) {
    // The relay takes the tick at its next wait; a lost tick is made up 500 ms later.
    IgnoreResult(SetEvent(NkoGetHandle(m_traceInfoEvent.Get())));
    if (WaitForSingleObject(m_pollerStop.Get(), kTraceStatusTickMs) == WAIT_OBJECT_0) break;
    if (TraceControlBlock* block = GetTraceControlView()) {
      // The libraries stop tracing as soon as the viewer's status leaves 1, even before
      // the relay disconnects.
      if (LoadTraceFlag(block->viewerEnabled) == 1 && GetViewerTraceStatus() != kViewerTracingOn) {
        StoreTraceFlag(block->viewerEnabled, 0);
        StoreTraceFlag(block->enabled, 0);
      }
      current = LoadTraceFlag(block->enabled);
    }
    if (current != previous) {
      if (window == nullptr) window = FindWindowA(kMainWindowClass, kMainWindowTitle);
      if (window != nullptr && PostMessageA(window, WM_USER_SHOW_ICON, 0, 0)) {
        previous = current;
      } else {
        window = nullptr;  // not there yet, or gone: looked up again at the next tick
      }
    }
  }
  m_traceInfoEvent.Reset();
  return 0;
}

void TraceRelay::StartPoller() {
  m_traceInfoEvent.Reset(NkoCreateEvent(nullptr, FALSE, FALSE, nullptr));
  m_pollerStop.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  m_pollerThread.Reset(CreateThread(nullptr, 0, TraceStatusThread, nullptr, 0, nullptr));
}

void TraceRelay::Start() {
  if (m_relayThread) return;
  // Other programs may still stop the relay through the machine-wide event; this process
  // never sets it, because every relay on the machine waits on it and the one that takes
  // the signal need not be this one.
  char name[260];
  BuildObjectName(1, kTraceShutdownEventName, name, sizeof name);
  m_shutdownEvent.Reset(NkoCreateEvent(GetNullDaclSecurityAttributes(), FALSE, FALSE, name));
  if (!m_shutdownEvent) {
    // Without the NKO server the shared name is out of reach; an unnamed event, which
    // nobody sets, keeps the relay's wait set whole.
    m_shutdownEvent.Reset(NkoCreateEvent(nullptr, FALSE, FALSE, nullptr));
  }
  m_privateStop.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  m_stopFlag = 0;
  StartPoller();
  m_relayThread.Reset(CreateThread(nullptr, 0, TraceEventsThread, nullptr, 0, nullptr));
}

bool TraceRelay::Stop(DWORD timeoutMs) {
  if (!m_relayThread) return true;
  // The request and the answer are kept apart: the request is this process's own stop
  // event, the answer is the relay thread's end.
  IgnoreResult(SetEvent(m_privateStop.Get()));
  if (WaitForSingleObject(m_relayThread.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  // Released in this order: the relay thread, the poller (joined first), its stop event,
  // then the stop events.
  m_relayThread.Reset();
  if (m_pollerThread) IgnoreResult(WaitForSingleObject(m_pollerThread.Get(), kPollerJoinMs));
  m_pollerThread.Reset();
  m_pollerStop.Reset();
  m_privateStop.Reset();
  m_shutdownEvent.Reset();
  return true;
}

DWORD WINAPI TraceEventsThread(LPVOID) { return Relay().RunRelay(); }
DWORD WINAPI TraceStatusThread(LPVOID) { return Relay().RunPoller(); }

}  // namespace

void StartTraceEvents(HINSTANCE) { Relay().Start(); }
bool StopTraceEvents(DWORD timeoutMs) { return Relay().Stop(timeoutMs); }

void TraceEventsLog(const char* format, ...) {
  char text[1024];
  FormatBounded(text, sizeof text, "traceEvents(pid=%d): ", static_cast<int>(GetCurrentProcessId()));
  const size_t prefix = std::strlen(text);
  va_list args;
  va_start(args, format);
  FormatBoundedV(text + prefix, sizeof text - prefix, format, args);
  va_end(args);
  WriteEventLog(text, kTraceLogSource);
}
