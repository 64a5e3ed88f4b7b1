#include "support/nko_object_table.h"

#include "support/stop_signal.h"

namespace ombrix {
namespace {

std::string Failure(DWORD error) { return "0," + std::to_string(error); }

}  // namespace

std::string ObjectTable::Execute(const NkoRequest& request, bool refuseCreate) {
  if (request.kind == RequestKind::CloseHandle) return Close(request);
  if (refuseCreate) return Failure(ERROR_ACCESS_DENIED);
  return Create(request);
}

std::string ObjectTable::Create(const NkoRequest& r) {
  // The client's own security attributes never travel; every object gets a NULL DACL so
  // that the requesting user can open it with full access.
  SECURITY_ATTRIBUTES* sa = support::NullDaclAttributes();
  const char* name = r.name.c_str();
  SetLastError(ERROR_SUCCESS);
  HANDLE handle = nullptr;
  switch (r.kind) {
    case RequestKind::CreateEvent:
      handle = CreateEventA(sa, r.args[0] != 0, r.args[1] != 0, name);
      break;
    case RequestKind::CreateMutex:
      handle = CreateMutexA(sa, r.args[0] != 0, name);
      break;
    case RequestKind::CreateSemaphore:
      handle = CreateSemaphoreA(sa, r.args[0], r.args[1], name);
      break;
    case RequestKind::CreateFileMapping:
      // A file handle of another process means nothing here; only the page file works.
      if (r.args[0] != -1) return Failure(ERROR_INVALID_HANDLE);
      handle = CreateFileMappingA(INVALID_HANDLE_VALUE, sa, static_cast<DWORD>(r.args[1]),
                                  static_cast<DWORD>(r.args[2]), static_cast<DWORD>(r.args[3]), name);
      break;
    case RequestKind::CloseHandle:
      break;
  }
  DWORD error = GetLastError();
  if (!handle) return Failure(error ? error : ERROR_GEN_FAILURE);

  // Handle values are small multiples of four, so the 32-bit value names the handle.
  auto value = static_cast<int32_t>(reinterpret_cast<intptr_t>(handle));
  {
    std::lock_guard lock(m_mutex);
    m_handles[{r.procId, value}] = handle;
  }
  std::string reply = std::to_string(value);
  if (error == ERROR_ALREADY_EXISTS) reply += ",183";
  return reply;
}

std::string ObjectTable::Close(const NkoRequest& r) {
  HANDLE handle = nullptr;
  {
    std::lock_guard lock(m_mutex);
    auto it = m_handles.find({r.procId, r.args[0]});
    if (it == m_handles.end()) return Failure(ERROR_INVALID_HANDLE);
    handle = it->second;
    m_handles.erase(it);
  }
  CloseHandle(handle);
  return "1";
}

size_t ObjectTable::Held() const {
  std::lock_guard lock(m_mutex);
  return m_handles.size();
}

void ObjectTable::CloseAll() {
  std::lock_guard lock(m_mutex);
  for (auto& [key, handle] : m_handles) CloseHandle(handle);
  m_handles.clear();
}

}  // namespace ombrix
