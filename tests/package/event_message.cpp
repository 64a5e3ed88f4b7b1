// Formats an event-log entry of an installed source the way Event Viewer does: the
// source's key names the message file, whose message table gives the text of the
// entry's identifier with its strings inserted.
//   event-message.exe SOURCE TEXT
// Prints "0xID: <formatted text>" for every identifier the program writes, or
// "0xID: no text (error N)"; exits 1 when the source or a text is missing.
#include <windows.h>

#include <cstdio>
#include <string>

#include "base/event_log.h"
#include "base/results.h"
#include "base/unique.h"

namespace {

constexpr char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
// Every identifier that Quorvel and its kernel object layer write.
constexpr DWORD kIdentifiers[] = {kEventLogEntryId};

std::string MessageFile(const char* source) {
  char path[MAX_PATH] = {};
  DWORD size = sizeof path;
  const std::string key = std::string(kSourcesKey) + source;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, key.c_str(), "EventMessageFile",
                   RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, path, &size) != ERROR_SUCCESS) {
    return {};
  }
  char expanded[MAX_PATH];
  const DWORD length = ExpandEnvironmentStringsA(path, expanded, MAX_PATH);
  return length > 0 && length <= MAX_PATH ? expanded : path;
}

bool PrintText(HMODULE file, DWORD id, const char* text) {
  const DWORD_PTR inserts[] = {reinterpret_cast<DWORD_PTR>(text)};
  char* formatted = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY, file, id, 0,
      reinterpret_cast<char*>(&formatted), 0, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts)));
  if (length == 0) {
    std::printf("0x%08lX: no text (error %lu)\n", id, GetLastError());
    return false;
  }
  std::printf("0x%08lX: %s\n", id, formatted);
  IgnoreResult(LocalFree(formatted));  // the text FormatMessage allocated; nothing to do if freeing fails
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: event-message SOURCE TEXT\n", stderr);
    return 2;
  }
  const std::string path = MessageFile(argv[1]);
  if (path.empty()) {
    std::printf("no message file registered for \"%s\"\n", argv[1]);
    return 1;
  }
  const UniqueModule file(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!file) {
    std::printf("cannot load %s (error %lu)\n", path.c_str(), GetLastError());
    return 1;
  }
  bool all = true;
  for (const DWORD id : kIdentifiers) all = PrintText(file.Get(), id, argv[2]) && all;
  return all ? 0 : 1;
}
