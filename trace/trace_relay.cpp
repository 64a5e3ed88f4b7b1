#include "trace/trace_relay.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <memory>

#include "base/bounded_text.h"
#include "base/event_log.h"
#include "kobj/nko_handle.h"
#include "kobj/object_names.h"
#include "base/os_class.h"
#include "trace/named_pipe_m.h"
#include "trace/trace_control.h"
#include "base/main_window.h"
#include "trace/viewer_link.h"
#include "trace/xlate/event_translator_win32.h"

namespace {


constexpr char kAck[kTraceReplySize] = "ack";
constexpr char kNack[kTraceReplySize] = "nack";
// The relay waits for the poller this long at its end; the poller wakes at once.
constexpr DWORD kPollerJoinMs = 5000;

// A connection attempt to the viewer runs on a thread of its own, so that a viewer that
// is slow to answer its handshake (up to 26 s) never keeps the relay from answering the
// libraries, which wait for every reply.
struct ViewerConnector {
  HANDLE thread = nullptr;
  HANDLE done = nullptr;    // manual reset: the attempt has ended
  HANDLE cancel = nullptr;  // manual reset: give the attempt up
  HANDLE result = INVALID_HANDLE_VALUE;
};

struct RelayState {
  NkoHandle* shutdownEvent = nullptr;   // stop request to the relay thread
  NkoHandle* traceInfoEvent = nullptr;  // the poller's tick
  HANDLE pollerStop = nullptr;          // manual reset: wakes the poller for good
  HANDLE relayThread = nullptr;
  HANDLE pollerThread = nullptr;
  std::atomic<int> stopFlag{0};

  // Relay thread only.
  NamedPipeM* eventPipe = nullptr;
  HANDLE m_tracingNamedPipeHandle = INVALID_HANDLE_VALUE;
  HANDLE writeDone = nullptr;  // manual reset: the pending write to the viewer has ended
  // 1 from the switch-on until the viewer's status is seen at 0. A connection given up
  // because the viewer stopped reading keeps it at 1 with the pipe closed, so that the
  // relay does not connect to that viewer again until it asks afresh.
  int tracingOn = 0;
  unsigned long messagesNotTaken = 0;  // on the current connection
  std::unique_ptr<uint8_t[]> buffer;
  ViewerConnector connector;
};

RelayState g_relay;

void Reply(const char (&word)[kTraceReplySize]) { WriteNamedPipeM(g_relay.eventPipe, word, kTraceReplySize, nullptr); }

DWORD WINAPI ConnectorThread(LPVOID) {
  g_relay.connector.result = ConnectTraceViewerCancellable(g_relay.connector.cancel, FILE_FLAG_OVERLAPPED);
  SetEvent(g_relay.connector.done);
  return 0;
}

bool Connecting() { return g_relay.connector.thread != nullptr; }

void BeginConnect() {
  ViewerConnector& c = g_relay.connector;
  ResetEvent(c.done);
  ResetEvent(c.cancel);
  c.result = INVALID_HANDLE_VALUE;
  c.thread = CreateThread(nullptr, 0, ConnectorThread, nullptr, 0, nullptr);
}

// Joins the finished (or cancelled) attempt and hands over its handle.
HANDLE EndConnect() {
  ViewerConnector& c = g_relay.connector;
  WaitForSingleObject(c.thread, INFINITE);
  CloseHandle(c.thread);
  c.thread = nullptr;
  ResetEvent(c.done);
  HANDLE pipe = c.result;
  c.result = INVALID_HANDLE_VALUE;
  return pipe;
}

void SwitchTracingOn(HANDLE viewerPipe) {
  g_relay.m_tracingNamedPipeHandle = viewerPipe;
  g_relay.tracingOn = 1;
  g_relay.messagesNotTaken = 0;
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
void ReleaseViewer() {
  if (TraceControlBlock* block = GetTraceControlView()) {
    StoreTraceFlag(block->enabled, 0);
    StoreTraceFlag(block->viewerEnabled, 0);
  }
  if (g_relay.m_tracingNamedPipeHandle != INVALID_HANDLE_VALUE) {
    CloseHandle(g_relay.m_tracingNamedPipeHandle);
    g_relay.m_tracingNamedPipeHandle = INVALID_HANDLE_VALUE;
  }
}

void SwitchTracingOff() {
  ReleaseViewer();
  g_relay.tracingOn = 0;
  TraceEventsLog("UpdateTraceInfo: tracing has been disabled.");
}

// A viewer that does not take a message within the limit has stopped reading; every
// traced call on the machine would wait for it, so its connection is given up.
void GiveUpViewer(DWORD bytes, DWORD limitMs) {
  ReleaseViewer();
  TraceEventsLog("WriteViewer: the viewer has not taken a message of %lu bytes within %lu ms; its connection is "
                 "given up, messages given up: %lu.",
                 static_cast<unsigned long>(bytes), static_cast<unsigned long>(limitMs), g_relay.messagesNotTaken);
}

void OnViewerConnected() {
  HANDLE pipe = EndConnect();
  if (pipe == INVALID_HANDLE_VALUE) return;  // tried again at the next tick
  if (g_relay.tracingOn) {
    CloseHandle(pipe);
    return;
  }
  SwitchTracingOn(pipe);
}

void HandleMessage(quorvel::xlate::EventTranslator& translator) {
  uint8_t* buffer = g_relay.buffer.get();
  uint32_t length = 0;
  if (ReadNamedPipeM(g_relay.eventPipe, buffer, kTraceEventPipeCapacity, &length) == 2) {
    Reply(kNack);
    return;
  }
  if (g_relay.m_tracingNamedPipeHandle == INVALID_HANDLE_VALUE) {
    Reply(kAck);
    return;
  }
  bool produced = false;
  try {
    // The first 4 bytes of a message belong to the writer; the trace message follows.
    if (GetViewerTraceStatus() == 1 && length > 4) {
      const auto text = translator.TranslateEvent(buffer + 4, buffer + length);
      if (text) {
        produced = true;
        // One write per message: the text with its 16-bit NUL, which is the framing.
        const auto bytes = static_cast<DWORD>((text->size() + 1) * sizeof(char16_t));
        const DWORD limitMs = ViewerWriteLimitMs(bytes);
        const ViewerWrite written = WriteViewerPipeBounded(g_relay.m_tracingNamedPipeHandle, g_relay.writeDone,
                                                           text->data(), bytes, limitMs);
        if (written != ViewerWrite::kWritten) ++g_relay.messagesNotTaken;
        if (written == ViewerWrite::kTimedOut) GiveUpViewer(bytes, limitMs);
        Sleep(0);
      }
    }
  } catch (const std::exception&) {
    TraceEventsLog(produced ? "ERROR - exception thrown by WriteFile(m_tracingNamedPipeHandle ...)"
                            : "ERROR - exception thrown by EventTranslator::TranslateEvent()");
  }
  Reply(kAck);
}

// Takes everything in this thread's message queue; false once WM_QUIT came.
bool PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) return false;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return true;
}

void TraceEventsSetup() {
  InitTraceControl();
  g_relay.eventPipe = CreateNamedPipeM(kTraceEventPipeName, kTraceEventPipeCapacity);
  InitTraceStatusLock();
  g_relay.connector.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_relay.connector.cancel = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_relay.writeDone = CreateEventA(nullptr, TRUE, FALSE, nullptr);
}

// Stops the poller before anything it reads (the control block, the viewer status
// memory) is released, then releases in order.
void TraceEventsCleanup() {
  SetEvent(g_relay.pollerStop);
  if (g_relay.pollerThread != nullptr) WaitForSingleObject(g_relay.pollerThread, kPollerJoinMs);
  if (Connecting()) {
    SetEvent(g_relay.connector.cancel);
    HANDLE pipe = EndConnect();
    if (pipe != INVALID_HANDLE_VALUE) CloseHandle(pipe);
  }
  CloseHandle(g_relay.connector.done);
  CloseHandle(g_relay.connector.cancel);
  g_relay.connector = {};

  CloseNamedPipeM(g_relay.eventPipe);
  g_relay.eventPipe = nullptr;
  ShutdownTraceControl();
  CloseViewerStatusMemory();
  if (g_relay.m_tracingNamedPipeHandle != INVALID_HANDLE_VALUE) {
    CloseHandle(g_relay.m_tracingNamedPipeHandle);
    g_relay.m_tracingNamedPipeHandle = INVALID_HANDLE_VALUE;
  }
  g_relay.tracingOn = 0;
  CloseHandle(g_relay.writeDone);
  g_relay.writeDone = nullptr;
  DeleteTraceStatusLock();
}

}  // namespace

void UpdateTraceInfo(HINSTANCE) {
  if (GetViewerTraceStatus() == 1 && g_relay.tracingOn == 0 && !Connecting()) BeginConnect();
  // A connection given up ends like any other once the viewer's status falls to 0, or
  // once that viewer has gone, so that a new one is connected.
  const bool givenUp = g_relay.tracingOn == 1 && g_relay.m_tracingNamedPipeHandle == INVALID_HANDLE_VALUE;
  if (g_relay.tracingOn == 1 && (GetViewerTraceStatus() == 0 || (givenUp && !ViewerRunning()))) SwitchTracingOff();
}

DWORD WINAPI TraceEventsThread(LPVOID instance) {
  g_relay.buffer.reset(new (std::nothrow) uint8_t[kTraceEventPipeCapacity]);
  TraceEventsSetup();
  quorvel::xlate::EventTranslator translator(quorvel::xlate::AnsiCodePage());

  enum { kShutdown, kTraceInfo, kConnected, kMessage };
  HANDLE waits[4] = {NkoGetHandle(g_relay.shutdownEvent), NkoGetHandle(g_relay.traceInfoEvent),
                     g_relay.connector.done, nullptr};
  // Without an event pipe (or a buffer) there is nothing to relay; the thread still
  // follows the viewer and stops on request.
  DWORD count = 3;
  if (g_relay.eventPipe != nullptr && g_relay.buffer) waits[count++] = NkoGetHandle(GetNamedPipeMEvent(g_relay.eventPipe));

  while (g_relay.stopFlag.load() == 0) {
    const DWORD result = MsgWaitForMultipleObjects(count, waits, FALSE, INFINITE, QS_ALLINPUT);
    if (result == WAIT_OBJECT_0 + kShutdown) {
      g_relay.stopFlag = 1;
    } else if (result == WAIT_OBJECT_0 + kTraceInfo) {
      UpdateTraceInfo(static_cast<HINSTANCE>(instance));
    } else if (result == WAIT_OBJECT_0 + kConnected) {
      OnViewerConnected();
    } else if (result == WAIT_OBJECT_0 + kMessage && count > kMessage) {
      HandleMessage(translator);
    } else if (result == WAIT_OBJECT_0 + count) {
      if (!PumpMessages()) g_relay.stopFlag = 1;
    } else if (result == WAIT_FAILED) {
      Sleep(10);  // a persistent failure must not spin a core
    }
  }

  TraceEventsCleanup();
  g_relay.buffer.reset();
  return 0;
}

DWORD WINAPI TraceStatusThread(LPVOID) {
  const TraceControlBlock* start = GetTraceControlView();
  int previous = start != nullptr ? LoadTraceFlag(start->enabled) : 0;
  int current = previous;
  HWND window = nullptr;
  while (g_relay.stopFlag.load() == 0) {
    SetEvent(NkoGetHandle(g_relay.traceInfoEvent));
    if (WaitForSingleObject(g_relay.pollerStop, kTraceStatusTickMs) == WAIT_OBJECT_0) break;
    if (TraceControlBlock* block = GetTraceControlView()) {
      // The libraries stop tracing as soon as the viewer's status leaves 1, even before
      // the relay disconnects.
      if (LoadTraceFlag(block->viewerEnabled) == 1 && GetViewerTraceStatus() != 1) {
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
  NkoClose(g_relay.traceInfoEvent);
  g_relay.traceInfoEvent = nullptr;
  return 0;
}

void StartTraceEvents(HINSTANCE instance) {
  if (g_relay.relayThread != nullptr) return;
  char name[260];
  BuildObjectName(1, kTraceShutdownEventName, name, sizeof name);
  g_relay.shutdownEvent = NkoCreateEvent(GetNullDaclSecurityAttributes(), FALSE, FALSE, name);
  if (!NkoIsValid(g_relay.shutdownEvent)) {
    // Without the NKO server the shared name is out of reach; a private event still
    // lets this process stop its own relay.
    g_relay.shutdownEvent = NkoCreateEvent(nullptr, FALSE, FALSE, nullptr);
  }
  g_relay.traceInfoEvent = NkoCreateEvent(nullptr, FALSE, FALSE, nullptr);
  g_relay.pollerStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  g_relay.stopFlag = 0;
  g_relay.pollerThread = CreateThread(nullptr, 0, TraceStatusThread, instance, 0, nullptr);
  g_relay.relayThread = CreateThread(nullptr, 0, TraceEventsThread, instance, 0, nullptr);
}

bool StopTraceEvents() {
  if (g_relay.relayThread == nullptr) return true;
  // The request and the answer are kept apart: the request is the shutdown event, the
  // answer is the relay thread's end, so the request can never be taken back here.
  SetEvent(NkoGetHandle(g_relay.shutdownEvent));
  if (WaitForSingleObject(g_relay.relayThread, kTraceStopTimeoutMs) != WAIT_OBJECT_0) return false;
  CloseHandle(g_relay.relayThread);
  g_relay.relayThread = nullptr;
  if (g_relay.pollerThread != nullptr) {
    WaitForSingleObject(g_relay.pollerThread, kPollerJoinMs);
    CloseHandle(g_relay.pollerThread);
    g_relay.pollerThread = nullptr;
  }
  CloseHandle(g_relay.pollerStop);
  g_relay.pollerStop = nullptr;
  NkoClose(g_relay.shutdownEvent);
  g_relay.shutdownEvent = nullptr;
  return true;
}

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
