#pragma once
// A message pipe made of named kernel objects, for one message or one reply at a time:
// a shared memory block (capacity, length, data), a mutex that clients hold for a whole
// exchange, an auto-reset "message waiting" event and a manual-reset "reply ready" event.
// The relay is the server of the trace event pipe; instrument libraries are its clients.
//
// Shared memory layout (little-endian): [0] capacity, [4] length, [8] data (capacity bytes).
#include <windows.h>

#include <cstdint>

#include "kobj/nko_handle.h"

inline constexpr char kTraceEventPipeName[] = "IOTrace_Event_Pipe_011030";
inline constexpr uint32_t kTraceEventPipeCapacity = 262144;
inline constexpr uint32_t kNamedPipeMHeaderSize = 8;
// A client waits for its reply in slices of this length.
inline constexpr DWORD kNamedPipeMReplySliceMs = 500;

// The shared layout of one pipe handle; its members are released only by CloseNamedPipeM.
struct NamedPipeM {
  NkoHandle* mapping;       // "_t_shm"
  NkoHandle* mutex;         // "_t_sem"
  NkoHandle* replyEvent;    // "_t_in", server to client
  NkoHandle* messageEvent;  // "_t_out", client to server
  uint8_t* view;
  uint8_t* data;
  volatile uint32_t* length;
  uint32_t capacity;
};

// What ReadNamedPipeM, WriteNamedPipeM and TransactNamedPipeM return.
enum NamedPipeMRead : int { kPipeMReadWhole = 0, kPipeMReadCut = 2 };
enum NamedPipeMWrite : int { kPipeMWrittenWhole = 0, kPipeMWriteCut = 1 };
enum NamedPipeMTransact : int { kPipeMReplied = 0, kPipeMNoReply = 1 };

// Server side. Creates (or opens, when it exists) the four objects and maps the memory;
// the first creator's capacity wins over the argument. Null on failure.
NamedPipeM* CreateNamedPipeM(const char* baseName, uint32_t capacity);
// The message event's holder (null for a null pipe); the server waits on it.
NkoHandle* GetNamedPipeMEvent(const NamedPipeM* pipe);
// Copies the waiting message: kPipeMReadWhole, or kPipeMReadCut when it was longer than the buffer (or than the
// pipe's capacity) and was cut.
NamedPipeMRead ReadNamedPipeM(NamedPipeM* pipe, void* buffer, uint32_t bufferSize, uint32_t* lengthOut);
// Stores the reply and signals it: kPipeMWrittenWhole, or kPipeMWriteCut when it was longer than the capacity and was cut.
NamedPipeMWrite WriteNamedPipeM(NamedPipeM* pipe, const void* reply, uint32_t replyLength, uint32_t* lengthOut);
// Unmaps and closes everything and frees the object; nothing for null.
void CloseNamedPipeM(NamedPipeM* pipe);

// Client side. Opens the existing objects; the capacity comes from the block.
NamedPipeM* OpenNamedPipeM(const char* baseName);
// One exchange: kPipeMReplied when a reply arrived, kPipeMNoReply when none did within timeoutMs (or the trace
// viewer does not have tracing active). Without a reply the reply buffer is zeroed and
// *replyLengthOut is 0. Other out-parameters may be null.
NamedPipeMTransact TransactNamedPipeM(NamedPipeM* pipe, const void* message, uint32_t messageLength,
                                      uint32_t* sentOut, void* replyBuffer, uint32_t replySize,
                                      uint32_t* replyLengthOut, DWORD timeoutMs);

namespace unique_traits {
struct PipeM {
  using Type = NamedPipeM*;
  static NamedPipeM* Invalid() { return nullptr; }
  static bool IsValid(NamedPipeM* p) { return p != nullptr; }
  static void Close(NamedPipeM* p) { CloseNamedPipeM(p); }
};
}  // namespace unique_traits

// Owns one pipe handle from CreateNamedPipeM or OpenNamedPipeM.
using UniqueNamedPipeM = UniqueAny<unique_traits::PipeM>;
