#include "trace/trace_relay.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

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
#include "trace/xlate/event_translator_win32.h"

namespace {

constexpr char kAck[kTraceReplySize] = "ack";
constexpr char kNack[kTraceReplySize] = "nack";
// The relay waits for the poller this long at its end; the poller wakes at once.
constexpr DWORD kPollerJoinMs = 5000;

// The relay of this process: its two threads and everything they use. Start makes the
// events and threads; the relay thread makes and releases its own part (Setup, Cleanup);
// Stop joins the threads before it releases what they read.
class TraceRelay {
 public:
  void Start(HINSTANCE instance);
  bool Stop(DWORD timeoutMs);
  DWORD RunRelay();
  DWORD RunPoller();
  void UpdateTraceInfo();

 private:
  void Setup();
  void Cleanup();
  void Reply(const char (&word)[kTraceReplySize]);
  void HandleMessage(quorvel::xlate::EventTranslator& translator);
  void OnViewerConnected();
  void SwitchTracingOn(UniqueFile viewerPipe);
  void SwitchTracingOff();
  void ReleaseViewer();
  void GiveUpViewer(DWORD bytes, DWORD limitMs);

  // From Start to Stop.
  UniqueNko m_shutdownEvent;   // stop request to the relay thread
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
  // because the viewer stopped reading keeps it at 1 with the pipe closed, so that the
  // relay does not connect to that viewer again until it asks afresh.
  int m_tracingOn = 0;
  unsigned long m_messagesNotTaken = 0;  // on the current connection
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

// A viewer that does not take a message within the limit has stopped reading; every
// traced call on the machine would wait for it, so its connection is given up.
void TraceRelay::GiveUpViewer(DWORD bytes, DWORD limitMs) {
  ReleaseViewer();
  TraceEventsLog("WriteViewer: the viewer has not taken a message of %lu bytes within %lu ms; its connection is "
                 "given up, messages given up: %lu.",
                 static_cast<unsigned long>(bytes), static_cast<unsigned long>(limitMs), m_messagesNotTaken);
}

void TraceRelay::OnViewerConnected() {
  UniqueFile pipe = m_connector->End();
  if (!pipe) return;           // tried again at the next tick
  if (m_tracingOn) return;     // already connected: the new pipe closes here
  SwitchTracingOn(std::move(pipe));
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
      // One write per message: the text with its 16-bit NUL, which is the framing.
      const auto bytes = static_cast<DWORD>((text->size() + 1) * sizeof(char16_t));
      const DWORD limitMs = ViewerWriteLimitMs(bytes);
      const ViewerWrite written =
          WriteViewerPipeBounded(m_tracingNamedPipeHandle.Get(), m_writeDone.Get(), text->data(), bytes, limitMs);
      if (written != ViewerWrite::kWritten) ++m_messagesNotTaken;
      if (written == ViewerWrite::kTimedOut) GiveUpViewer(bytes, limitMs);
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
  ShutdownTraceControl();
  CloseViewerStatusMemory();
  m_tracingNamedPipeHandle.Reset();
  m_tracingOn = 0;
  m_writeDone.Reset();
  DeleteTraceStatusLock();
}

void TraceRelay::UpdateTraceInfo() {
  if (GetViewerTraceStatus() == kViewerTracingOn && m_tracingOn == 0 && m_connector && !m_connector->Connecting()) {
    m_connector->Begin();
  }
  // A connection given up ends like any other once the viewer's status falls to 0, or
  // once that viewer has gone, so that a new one is connected.
  const bool givenUp = m_tracingOn == 1 && !m_tracingNamedPipeHandle;
  if (m_tracingOn == 1 && (GetViewerTraceStatus() == kViewerTracingOff || (givenUp && !ViewerRunning()))) SwitchTracingOff();
}

DWORD TraceRelay::RunRelay() {
  m_buffer.reset(new (std::nothrow) uint8_t[kTraceEventPipeCapacity]);
  Setup();
  quorvel::xlate::EventTranslator translator(quorvel::xlate::AnsiCodePage());

  enum { kShutdown, kTraceInfo, kConnected, kMessage };
  HANDLE waits[4] = {NkoGetHandle(m_shutdownEvent.Get()), NkoGetHandle(m_traceInfoEvent.Get()), m_connector->Done(),
                     nullptr};
  // Without an event pipe (or a buffer) there is nothing to relay; the thread still
  // follows the viewer and stops on request.
  DWORD count = 3;
  if (m_eventPipe && m_buffer) waits[count++] = NkoGetHandle(GetNamedPipeMEvent(m_eventPipe.Get()));

  while (m_stopFlag.load() == 0) {
    const DWORD result = MsgWaitForMultipleObjects(count, waits, FALSE, INFINITE, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0 + kShutdown) {
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

  Cleanup();
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

void TraceRelay::Start(HINSTANCE instance) {
  if (m_relayThread) return;
  char name[260];
  BuildObjectName(1, kTraceShutdownEventName, name, sizeof name);
  m_shutdownEvent.Reset(NkoCreateEvent(GetNullDaclSecurityAttributes(), FALSE, FALSE, name));
  if (!m_shutdownEvent) {
    // Without the NKO server the shared name is out of reach; a private event still
    // lets this process stop its own relay.
    m_shutdownEvent.Reset(NkoCreateEvent(nullptr, FALSE, FALSE, nullptr));
  }
  m_traceInfoEvent.Reset(NkoCreateEvent(nullptr, FALSE, FALSE, nullptr));
  m_pollerStop.Reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  m_stopFlag = 0;
  m_pollerThread.Reset(CreateThread(nullptr, 0, TraceStatusThread, instance, 0, nullptr));
  m_relayThread.Reset(CreateThread(nullptr, 0, TraceEventsThread, instance, 0, nullptr));
}

bool TraceRelay::Stop(DWORD timeoutMs) {
  if (!m_relayThread) return true;
  // The request and the answer are kept apart: the request is the shutdown event, the
  // answer is the relay thread's end, so the request can never be taken back here.
  IgnoreResult(SetEvent(NkoGetHandle(m_shutdownEvent.Get())));
  if (WaitForSingleObject(m_relayThread.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
  // Released in this order: the relay thread, the poller (joined first), its stop event,
  // then the shutdown event.
  m_relayThread.Reset();
  if (m_pollerThread) IgnoreResult(WaitForSingleObject(m_pollerThread.Get(), kPollerJoinMs));
  m_pollerThread.Reset();
  m_pollerStop.Reset();
  m_shutdownEvent.Reset();
  return true;
}

}  // namespace

void StartTraceEvents(HINSTANCE instance) { Relay().Start(instance); }
bool StopTraceEvents(DWORD timeoutMs) { return Relay().Stop(timeoutMs); }
DWORD WINAPI TraceEventsThread(LPVOID) { return Relay().RunRelay(); }
DWORD WINAPI TraceStatusThread(LPVOID) { return Relay().RunPoller(); }
void UpdateTraceInfo(HINSTANCE) { Relay().UpdateTraceInfo(); }

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
