#include "shell/close_request.h"

#include "base/bounded_text.h"
#include "base/results.h"
#include "base/unique.h"
#include "kobj/nko_handle.h"
#include "kobj/object_names.h"

bool BuildCloseRequestName(const char* path, char* name, size_t size) {
  if (size > 0) name[0] = '\0';
  // Attributes only, sharing everything: the file may be running or about to be replaced.
  const UniqueFile file(CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !GetFileInformationByHandle(file.Get(), &info)) return false;
  char baseName[kCloseRequestNameSize];
  FormatBounded(baseName, sizeof baseName, "%s%08lX_%08lX%08lX", kCloseRequestBaseName, info.dwVolumeSerialNumber,
                info.nFileIndexHigh, info.nFileIndexLow);
  return BuildObjectName(1, baseName, name, static_cast<int>(size)) != nullptr;
}

void CloseOnRequest(HWND window) {
  // Worked out on every tick (a few calls every 5 s) rather than kept in process state.
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  char name[kCloseRequestNameSize];
  if (length == 0 || length >= MAX_PATH || !BuildCloseRequestName(path, name, sizeof name)) return;
  // Opened afresh on every tick and never kept: the request lives only while the
  // installer holds it, so a request left behind by an installer that died cannot close
  // a Quorvel started later.
  const UniqueNko request(NkoOpenEvent(SYNCHRONIZE, FALSE, name));
  if (request && WaitForSingleObject(NkoGetHandle(request.Get()), 0) == WAIT_OBJECT_0) {
    // A lost post is made up by the next tick.
    IgnoreResult(PostMessageA(window, WM_CLOSE, 0, 0));
  }
}
