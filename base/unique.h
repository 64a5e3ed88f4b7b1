#pragma once
// Move-only owners for what the program opens from Windows or the C runtime: each closes
// its resource when it goes out of scope, unless the resource was released to a new owner
// first. A raw HANDLE, HKEY, HMENU, view pointer or FILE* anywhere else is a borrowed one.
// The FILE* owner is platform-free, for the tools' native build as well.
//
// Names follow one pattern: Get() borrows, Release() gives the resource up without
// closing it, Reset() closes what is held (and optionally takes a new one), Receive()
// closes what is held and returns the address for an out-parameter.
#include <cstdio>
#include <utility>
#ifdef _WIN32
#include <windows.h>
#endif

// Traits: `Type`, `Invalid()` (the value a fresh owner holds), `IsValid(v)` (whether
// the value needs closing; may accept more than one invalid value) and `Close(v)`.
template <typename Traits>
class UniqueAny {
 public:
  using Type = typename Traits::Type;

  UniqueAny() = default;
  explicit UniqueAny(Type value) : m_value(value) {}
  ~UniqueAny() { Reset(); }
  UniqueAny(UniqueAny&& other) noexcept : m_value(other.Release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  Type Get() const { return m_value; }
  explicit operator bool() const { return Traits::IsValid(m_value); }

  // Closes what is held and takes value.
  void Reset(Type value = Traits::Invalid()) {
    const Type old = std::exchange(m_value, value);
    if (Traits::IsValid(old)) Traits::Close(old);
  }
  // Gives the value up to the caller, who now owns it.
  [[nodiscard]] Type Release() { return std::exchange(m_value, Traits::Invalid()); }
  // For the out-parameter of an opening function; closes what was held first.
  Type* Receive() {
    Reset();
    return &m_value;
  }

 private:
  Type m_value = Traits::Invalid();
};

namespace unique_traits {

// C runtime streams (fopen). A stream whose writes matter is closed with an explicit
// fclose that is checked; this one is for reading and for giving up on failure.
struct CFile {
  using Type = std::FILE*;
  static std::FILE* Invalid() { return nullptr; }
  static bool IsValid(std::FILE* f) { return f != nullptr; }
  static void Close(std::FILE* f) { std::fclose(f); }
};

}  // namespace unique_traits

using UniqueCFile = UniqueAny<unique_traits::CFile>;

#ifdef _WIN32
namespace unique_traits {

// Kernel handles that are null when absent (events, mutexes, mappings, threads, processes).
struct Handle {
  using Type = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};

// Kernel handles that are INVALID_HANDLE_VALUE when absent (files, pipes, snapshots).
struct FileHandle : Handle {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
};

struct Key {
  using Type = HKEY;
  static HKEY Invalid() { return nullptr; }
  static bool IsValid(HKEY k) { return k != nullptr; }
  static void Close(HKEY k) { RegCloseKey(k); }
};

struct Menu {
  using Type = HMENU;
  static HMENU Invalid() { return nullptr; }
  static bool IsValid(HMENU m) { return m != nullptr; }
  static void Close(HMENU m) { DestroyMenu(m); }
};

struct View {
  using Type = void*;
  static void* Invalid() { return nullptr; }
  static bool IsValid(void* v) { return v != nullptr; }
  static void Close(void* v) { UnmapViewOfFile(v); }
};

// Modules loaded with LoadLibrary/LoadLibraryEx (also as data files).
struct Module {
  using Type = HMODULE;
  static HMODULE Invalid() { return nullptr; }
  static bool IsValid(HMODULE m) { return m != nullptr; }
  static void Close(HMODULE m) { FreeLibrary(m); }
};

struct EventSource {
  using Type = HANDLE;
  static HANDLE Invalid() { return nullptr; }
  static bool IsValid(HANDLE h) { return h != nullptr; }
  static void Close(HANDLE h) { DeregisterEventSource(h); }
};

}  // namespace unique_traits

using UniqueHandle = UniqueAny<unique_traits::Handle>;
using UniqueFile = UniqueAny<unique_traits::FileHandle>;
using UniqueKey = UniqueAny<unique_traits::Key>;
// A menu that is attached to a parent is destroyed with it: hand it over with Release().
using UniqueMenu = UniqueAny<unique_traits::Menu>;
using UniqueView = UniqueAny<unique_traits::View>;
using UniqueEventSource = UniqueAny<unique_traits::EventSource>;
using UniqueModule = UniqueAny<unique_traits::Module>;

// A mapped view seen as T.
template <typename T>
T* ViewAs(const UniqueView& view) {
  return static_cast<T*>(view.Get());
}

// A started process: owns both handles of its PROCESS_INFORMATION and keeps the ids.
class UniqueProcess {
 public:
  UniqueProcess() = default;
  explicit UniqueProcess(const PROCESS_INFORMATION& info)
      : m_process(info.hProcess), m_thread(info.hThread), m_processId(info.dwProcessId), m_threadId(info.dwThreadId) {}

  HANDLE Process() const { return m_process.Get(); }
  HANDLE Thread() const { return m_thread.Get(); }
  DWORD ProcessId() const { return m_processId; }
  DWORD ThreadId() const { return m_threadId; }
  explicit operator bool() const { return static_cast<bool>(m_process); }

  // Closes both handles (the process itself runs on) and forgets the ids.
  void Reset() {
    m_thread.Reset();
    m_process.Reset();
    m_processId = 0;
    m_threadId = 0;
  }

 private:
  UniqueHandle m_process;
  UniqueHandle m_thread;
  DWORD m_processId = 0;
  DWORD m_threadId = 0;
};
#endif  // _WIN32
