#include "trace/named_pipe_m.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <new>
#include <utility>

#include "base/os_class.h"
#include "base/results.h"
#include "kobj/object_names.h"
#include "trace/viewer_link.h"

namespace {

constexpr int kNameBufferSize = 300;

// Diagnostics of pipe creation go to the program's diagnostic output, which writes
// nothing in this program; the texts stay here for builds that route them somewhere.
void PipeDiagnostic(const char* format, DWORD error) {
  char text[128];
  std::snprintf(text, sizeof text, format, static_cast<int>(error));
  (void)text;
}

// The global object name of base + suffix; the base is cut so that the suffix always fits.
void BuildPipeObjectName(const char* baseName, const char* suffix, char (&name)[kNameBufferSize]) {
  const int room = kNameBufferSize - static_cast<int>(std::strlen(suffix));
  if (BuildObjectName(1, baseName, name, room) == nullptr) name[0] = '\0';
  strcat_s(name, sizeof name, suffix);
}

bool IsUsable(NkoHandle* h) { return NkoIsValid(h); }

// Frees a pipe object: the pipe's own closer, for its raw shared-layout members. The view
// goes first, then the four objects (null ones are skipped), then the object.
void Release(NamedPipeM* pipe) {
  if (pipe->view != nullptr) IgnoreResult(UnmapViewOfFile(pipe->view));
  for (NkoHandle* object : {pipe->mapping, pipe->mutex, pipe->replyEvent, pipe->messageEvent}) {
    IgnoreResult(NkoClose(object));
  }
  delete pipe;
}

// A pipe object under construction: discarded when its creation ends early, with the
// failure's last error kept for the caller.
struct DiscardPipe {
  void operator()(NamedPipeM* pipe) const {
    const DWORD error = GetLastError();
    Release(pipe);
    SetLastError(error);
  }
};
using PartialPipe = std::unique_ptr<NamedPipeM, DiscardPipe>;

PartialPipe NewPipe() {
  PartialPipe pipe(new (std::nothrow) NamedPipeM{});
  if (pipe) pipe->mapping = pipe->mutex = pipe->replyEvent = pipe->messageEvent = InvalidNkoHandle;
  return pipe;
}

// The capacity the mapped view really offers: a block whose capacity field claims more
// than its mapping holds (a hostile or broken creator) must not make us write past it.
uint32_t UsableCapacity(const uint8_t* view, uint32_t claimed) {
  MEMORY_BASIC_INFORMATION info{};
  if (VirtualQuery(view, &info, sizeof info) == 0 || info.RegionSize < kNamedPipeMHeaderSize) return 0;
  const SIZE_T room = info.RegionSize - kNamedPipeMHeaderSize;
  return claimed <= room ? claimed : static_cast<uint32_t>(room);
}

// The finished object, handed to the caller.
NamedPipeM* Complete(PartialPipe pipe) {
  pipe->data = pipe->view + kNamedPipeMHeaderSize;
  pipe->length = reinterpret_cast<volatile uint32_t*>(pipe->view + 4);
  return pipe.release();
}

}  // namespace

NamedPipeM* CreateNamedPipeM(const char* baseName, uint32_t capacity) {
  PartialPipe pipe = NewPipe();
  if (!pipe) return nullptr;
  SECURITY_ATTRIBUTES* sa = GetNullDaclSecurityAttributes();
  char name[kNameBufferSize];

  BuildPipeObjectName(baseName, "_t_sem", name);
  pipe->mutex = NkoCreateMutex(sa, FALSE, name);
  if (!IsUsable(pipe->mutex)) {
    PipeDiagnostic("ERROR, CreateNamedPipeM, NkoCreateMutex failed, error = %d\n", GetLastError());
    return nullptr;
  }
  BuildPipeObjectName(baseName, "_t_out", name);
  pipe->messageEvent = NkoCreateEvent(sa, FALSE, FALSE, name);
  if (!IsUsable(pipe->messageEvent)) {
    PipeDiagnostic("ERROR, CreateNamedPipeM, NkoCreateEvent 'out' failed, error = %d\n", GetLastError());
    return nullptr;
  }
  BuildPipeObjectName(baseName, "_t_in", name);
  pipe->replyEvent = NkoCreateEvent(sa, TRUE, FALSE, name);
  if (!IsUsable(pipe->replyEvent)) {
    PipeDiagnostic("ERROR, CreateNamedPipeM, NkoCreateEvent 'in' failed, error = %d\n", GetLastError());
    return nullptr;
  }
  BuildPipeObjectName(baseName, "_t_shm", name);
  SetLastError(0);
  pipe->mapping = NkoCreateFileMapping(INVALID_HANDLE_VALUE, sa, PAGE_READWRITE, 0,
                                       capacity + kNamedPipeMHeaderSize, name);
  const DWORD mappingError = GetLastError();
  if (!IsUsable(pipe->mapping)) {
    PipeDiagnostic("ERROR, CreateNamedPipeM, NkoCreateFileMapping failed, error = %d\n", mappingError);
    return nullptr;
  }
  const bool created = mappingError == 0;
  if (mappingError != 0 && mappingError != ERROR_ALREADY_EXISTS) {
    PipeDiagnostic("ERROR, CreateNamedPipeM, NkoCreateFileMapping returned error = %d\n", mappingError);
  }
  pipe->view = static_cast<uint8_t*>(MapViewOfFile(NkoGetHandle(pipe->mapping), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
  if (pipe->view == nullptr) {
    PipeDiagnostic("ERROR, CreateNamedPipeM, MapViewOfFile failed, error = %d\n", GetLastError());
    return nullptr;
  }
  auto* capacityField = reinterpret_cast<volatile uint32_t*>(pipe->view);
  if (created) *capacityField = capacity;
  pipe->capacity = UsableCapacity(pipe->view, *capacityField);
  return Complete(std::move(pipe));
}

NamedPipeM* OpenNamedPipeM(const char* baseName) {
  PartialPipe pipe = NewPipe();
  if (!pipe) return nullptr;
  char name[kNameBufferSize];

  BuildPipeObjectName(baseName, "_t_sem", name);
  pipe->mutex = NkoOpenMutex(MUTEX_ALL_ACCESS, TRUE, name);
  if (!IsUsable(pipe->mutex)) {
    PipeDiagnostic("ERROR, OpenNamedPipeM, NkoOpenMutex failed, error = %d\n", GetLastError());
    return nullptr;
  }
  BuildPipeObjectName(baseName, "_t_out", name);
  pipe->messageEvent = NkoOpenEvent(EVENT_ALL_ACCESS, TRUE, name);
  BuildPipeObjectName(baseName, "_t_in", name);
  if (IsUsable(pipe->messageEvent)) pipe->replyEvent = NkoOpenEvent(EVENT_ALL_ACCESS, TRUE, name);
  if (!IsUsable(pipe->messageEvent) || !IsUsable(pipe->replyEvent)) {
    PipeDiagnostic("ERROR, OpenNamedPipeM, NkoOpenEvent failed, error = %d\n", GetLastError());
    return nullptr;
  }
  BuildPipeObjectName(baseName, "_t_shm", name);
  pipe->mapping = NkoOpenFileMapping(FILE_MAP_WRITE, FALSE, name);
  if (!IsUsable(pipe->mapping)) {
    PipeDiagnostic("ERROR, OpenNamedPipeM, NkoOpenFileMapping failed, error = %d\n", GetLastError());
    return nullptr;
  }
  pipe->view = static_cast<uint8_t*>(MapViewOfFile(NkoGetHandle(pipe->mapping), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, 0));
  if (pipe->view == nullptr) {
    PipeDiagnostic("ERROR, OpenNamedPipeM, MapViewOfFile failed, error = %d\n", GetLastError());
    return nullptr;
  }
  pipe->capacity = UsableCapacity(pipe->view, *reinterpret_cast<volatile uint32_t*>(pipe->view));
  return Complete(std::move(pipe));
}

NkoHandle* GetNamedPipeMEvent(const NamedPipeM* pipe) { return pipe != nullptr ? pipe->messageEvent : nullptr; }

NamedPipeMRead ReadNamedPipeM(NamedPipeM* pipe, void* buffer, uint32_t bufferSize, uint32_t* lengthOut) {
  uint32_t n = *pipe->length;
  NamedPipeMRead result = kPipeMReadWhole;
  // The length field is written by another process: never read past the data area.
  const uint32_t limit = bufferSize < pipe->capacity ? bufferSize : pipe->capacity;
  if (n > limit) {
    n = limit;
    result = kPipeMReadCut;
  }
  IgnoreResult(ResetEvent(NkoGetHandle(pipe->messageEvent)));
  std::memcpy(buffer, pipe->data, n);
  if (lengthOut != nullptr) *lengthOut = n;
  return result;
}

NamedPipeMWrite WriteNamedPipeM(NamedPipeM* pipe, const void* reply, uint32_t replyLength, uint32_t* lengthOut) {
  uint32_t n = replyLength;
  NamedPipeMWrite result = kPipeMWrittenWhole;
  if (n > pipe->capacity) {
    n = pipe->capacity;
    result = kPipeMWriteCut;
  }
  std::memcpy(pipe->data, reply, n);
  *pipe->length = n;
  if (lengthOut != nullptr) *lengthOut = n;
  IgnoreResult(SetEvent(NkoGetHandle(pipe->replyEvent)));
  return result;
}

void CloseNamedPipeM(NamedPipeM* pipe) {
  if (pipe != nullptr) Release(pipe);
}

NamedPipeMTransact TransactNamedPipeM(NamedPipeM* pipe, const void* message, uint32_t messageLength,
                                      uint32_t* sentOut, void* replyBuffer, uint32_t replySize,
                                      uint32_t* replyLengthOut, DWORD timeoutMs) {
  const DWORD taken = WaitForSingleObject(NkoGetHandle(pipe->mutex), timeoutMs);
  if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) {
    // Another client holds the pipe past our time-out: no exchange, no reply.
    if (sentOut != nullptr) *sentOut = 0;
    if (replySize > 0) std::memset(replyBuffer, 0, replySize);
    if (replyLengthOut != nullptr) *replyLengthOut = 0;
    return kPipeMNoReply;
  }
  HANDLE replyEvent = NkoGetHandle(pipe->replyEvent);
  IgnoreResult(ResetEvent(replyEvent));
  const uint32_t n = messageLength < pipe->capacity ? messageLength : pipe->capacity;
  std::memcpy(pipe->data, message, n);
  *pipe->length = n;
  if (sentOut != nullptr) *sentOut = n;
  IgnoreResult(SetEvent(NkoGetHandle(pipe->messageEvent)));

  // The reply is awaited in whole slices while the viewer has tracing active, so that a
  // client notices within one slice that nobody will relay its message any more.
  bool replied = false;
  DWORD remaining = timeoutMs;
  while (!replied && remaining > 0 && GetViewerTraceStatus() != kViewerTracingOff) {
    replied = WaitForSingleObject(replyEvent, kNamedPipeMReplySliceMs) == WAIT_OBJECT_0;
    remaining = remaining > kNamedPipeMReplySliceMs ? remaining - kNamedPipeMReplySliceMs : 0;
  }
  IgnoreResult(ResetEvent(replyEvent));
  if (replied) {
    uint32_t r = *pipe->length;
    if (r > pipe->capacity) r = pipe->capacity;
    if (r > replySize) r = replySize;
    std::memcpy(replyBuffer, pipe->data, r);
    if (replyLengthOut != nullptr) *replyLengthOut = r;
  } else {
    if (replySize > 0) std::memset(replyBuffer, 0, replySize);
    if (replyLengthOut != nullptr) *replyLengthOut = 0;
  }
  // Held since the wait above, so giving it back cannot fail.
  IgnoreResult(ReleaseMutex(NkoGetHandle(pipe->mutex)));
  return replied ? kPipeMReplied : kPipeMNoReply;
}
