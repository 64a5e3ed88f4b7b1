#include "kobj/nko_handle.h"

#include <memory>
#include <new>
#include <utility>

#include "base/results.h"
#include "kobj/nko_client.h"
#include "kobj/object_names.h"

namespace {

// Constant-initialised, so it exists before any dynamic initialiser of the program runs.
constinit NkoHandle g_invalidHolder{};

bool IsRealHandle(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }

// A holder under construction; handed to the caller with release() once it holds an object.
using NewHolder = std::unique_ptr<NkoHandle>;

NewHolder AllocateHolder() { return NewHolder(new (std::nothrow) NkoHandle{}); }

// Frees the holder of a failed creation, keeping the failing step's last error.
NkoHandle* Fail(NewHolder holder) {
  const DWORD error = GetLastError();
  holder.reset();
  SetLastError(error);
  return InvalidNkoHandle;
}

// The holder for the caller once it has its handle; else the failure.
NkoHandle* Finish(NewHolder holder) {
  return holder->handle != nullptr ? holder.release() : Fail(std::move(holder));
}

// One creation, on the server path for Global\ names and locally for the rest.
// serverCreate asks the server; open opens the server's object by name with full
// access; localCreate is the plain Win32 creation.
template <typename ServerCreate, typename Open, typename LocalCreate>
NkoHandle* Create(const char* name, ServerCreate serverCreate, Open open, LocalCreate localCreate) {
  NewHolder holder = AllocateHolder();
  if (holder == nullptr) return nullptr;

  if (!IsGlobalObjectName(name)) {
    holder->handle = localCreate();
    return Finish(std::move(holder));
  }

  const intptr_t serverHandle = serverCreate();
  if (serverHandle == 0) return Fail(std::move(holder));
  holder->serverHandle = serverHandle;
  const DWORD serverError = GetLastError();
  holder->handle = open();
  const DWORD openError = GetLastError();
  // The server drops its own handle at once: the object lives on through ours alone. A
  // failed drop is the server's to log; the creation stands or falls by the open.
  IgnoreResult(NkoServerCloseHandle(holder->serverHandle));
  SetLastError(openError);
  holder->serverHandle = 0;
  if (holder->handle != nullptr && serverError == ERROR_ALREADY_EXISTS) SetLastError(ERROR_ALREADY_EXISTS);
  return Finish(std::move(holder));
}

template <typename LocalOpen>
NkoHandle* Open(LocalOpen localOpen) {
  NewHolder holder = AllocateHolder();
  if (holder == nullptr) return nullptr;
  holder->handle = localOpen();
  return Finish(std::move(holder));
}

}  // namespace

NkoHandle* const InvalidNkoHandle = &g_invalidHolder;

NkoHandle* NkoCreateEvent(SECURITY_ATTRIBUTES* sa, BOOL manualReset, BOOL initialState, const char* name) {
  return Create(
      name, [&] { return NkoServerCreateEvent(sa, manualReset, initialState, name); },
      [&] { return OpenEventA(EVENT_ALL_ACCESS, FALSE, name); },
      [&] { return CreateEventA(sa, manualReset, initialState, name); });
}

NkoHandle* NkoCreateMutex(SECURITY_ATTRIBUTES* sa, BOOL initialOwner, const char* name) {
  return Create(
      name, [&] { return NkoServerCreateMutex(sa, initialOwner, name); },
      [&] { return OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name); },
      [&] { return CreateMutexA(sa, initialOwner, name); });
}

NkoHandle* NkoCreateSemaphore(SECURITY_ATTRIBUTES* sa, LONG initialCount, LONG maximumCount, const char* name) {
  return Create(
      name, [&] { return NkoServerCreateSemaphore(sa, initialCount, maximumCount, name); },
      [&] { return OpenSemaphoreA(SEMAPHORE_ALL_ACCESS, FALSE, name); },
      [&] { return CreateSemaphoreA(sa, initialCount, maximumCount, name); });
}

NkoHandle* NkoCreateFileMapping(HANDLE file, SECURITY_ATTRIBUTES* sa, DWORD protect, DWORD maximumSizeHigh,
                                DWORD maximumSizeLow, const char* name) {
  return Create(
      name, [&] { return NkoServerCreateFileMapping(file, sa, protect, maximumSizeHigh, maximumSizeLow, name); },
      [&] { return OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name); },
      [&] { return CreateFileMappingA(file, sa, protect, maximumSizeHigh, maximumSizeLow, name); });
}

NkoHandle* NkoOpenEvent(DWORD access, BOOL inherit, const char* name) {
  return Open([&] { return OpenEventA(access, inherit, name); });
}

NkoHandle* NkoOpenMutex(DWORD access, BOOL inherit, const char* name) {
  return Open([&] { return OpenMutexA(access, inherit, name); });
}

NkoHandle* NkoOpenFileMapping(DWORD access, BOOL inherit, const char* name) {
  return Open([&] { return OpenFileMappingA(access, inherit, name); });
}

bool NkoIsValid(const NkoHandle* h) {
  if (h == nullptr || reinterpret_cast<uintptr_t>(h) == ~uintptr_t{0}) return false;
  return IsRealHandle(h->handle);
}

HANDLE NkoGetHandle(const NkoHandle* h) { return h != nullptr ? h->handle : nullptr; }

HANDLE NkoDetach(NkoHandle* h) {
  if (h == nullptr || h == InvalidNkoHandle) return nullptr;
  HANDLE handle = h->handle;
  h->handle = nullptr;
  // Sends nothing for a holder handed to a caller (its server handle is always 0).
  IgnoreResult(NkoServerCloseHandle(h->serverHandle));
  h->serverHandle = 0;
  delete h;
  return handle;
}

BOOL NkoClose(NkoHandle* h) {
  HANDLE handle = NkoDetach(h);
  // The handle object's defined release: UniqueNko's traits come through here.
  return IsRealHandle(handle) ? CloseHandle(handle) : FALSE;
}
