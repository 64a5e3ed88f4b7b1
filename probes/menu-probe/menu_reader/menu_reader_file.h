// The result file of the injected menu reader, shared by the reader and the prober:
//   reader <thread id>                         the thread that wrote it (ends right after)
//   popup <window> <menu> <depth> <lines>      per open popup, the tracked menu first,
//   <lines lines of the menu's canonical text>   deeper submenus after it
#pragma once

#include <windows.h>

#include <string>

namespace menu_reader {

inline constexpr char kDllName[] = "menu_reader.dll";
inline constexpr char kReaderLine[] = "reader";
inline constexpr char kPopupLine[] = "popup";

// A visible popup menu window (class "#32768") of process pid.
inline bool IsPopupWindowOf(HWND window, DWORD pid) {
  char className[16] = {};
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  return owner == pid && IsWindowVisible(window) && GetClassNameA(window, className, sizeof className) != 0 &&
         lstrcmpA(className, "#32768") == 0;
}

// One file per process read, in the temporary folder both processes share.
inline std::string ResultPath(DWORD pid) {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  return std::string(temp) + "menu_reader_" + std::to_string(pid) + ".txt";
}

}  // namespace menu_reader
