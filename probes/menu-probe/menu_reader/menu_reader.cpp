// Injected into a process that shows a popup menu (LoadLibraryA in a remote thread). Menus
// belong to their process, so only code inside it can walk them. On load a thread of its
// own finds the visible popup menu windows of this process, walks each one's menu and
// writes them to the result file of this process id (written aside, then renamed into
// place, so the reader never sees half a file); then it unloads the library, so the next
// load runs DllMain again.
#include <windows.h>

#include <string>
#include <vector>

#include "probes/menu-probe/menu_reader/menu_reader_file.h"
#include "probes/menu-probe/menu_tree.h"

namespace {

constexpr UINT kGetMenuHandle = 0x1E1;  // MN_GETHMENU
constexpr DWORD kSendTimeoutMs = 2000;

struct Popup {
  HWND window = nullptr;
  HMENU menu = nullptr;
  int depth = 0;
};

BOOL CALLBACK CollectPopup(HWND window, LPARAM context) {
  if (!menu_reader::IsPopupWindowOf(window, GetCurrentProcessId())) return TRUE;
  DWORD_PTR menu = 0;
  if (SendMessageTimeoutA(window, kGetMenuHandle, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &menu) && menu != 0) {
    reinterpret_cast<std::vector<Popup>*>(context)->push_back({window, reinterpret_cast<HMENU>(menu), 0});
  }
  return TRUE;
}

// The popup whose menu holds |menu| as a direct submenu, or null.
const Popup* ParentOf(const std::vector<Popup>& popups, HMENU menu) {
  for (const Popup& popup : popups) {
    const int count = GetMenuItemCount(popup.menu);
    for (int i = 0; i < count; ++i) {
      if (GetSubMenu(popup.menu, i) == menu) return &popup;
    }
  }
  return nullptr;
}

std::string Hex(const void* value) {
  char text[32] = {};
  wsprintfA(text, "%p", value);
  return text;
}

std::string DescribePopups() {
  std::vector<Popup> popups;
  EnumWindows(CollectPopup, reinterpret_cast<LPARAM>(&popups));
  // A submenu's window opens after its parent's; the depth puts the tracked menu first.
  for (Popup& popup : popups) {
    for (const Popup* parent = ParentOf(popups, popup.menu); parent != nullptr && popup.depth < 16;
         parent = ParentOf(popups, parent->menu)) {
      ++popup.depth;
    }
  }
  std::string out = std::string(menu_reader::kReaderLine) + " " + std::to_string(GetCurrentThreadId()) + "\n";
  for (int depth = 0; depth <= 16; ++depth) {
    for (const Popup& popup : popups) {
      if (popup.depth != depth) continue;
      const std::string text = menu_probe::DescribeMenu(menu_probe::ReadMenuTree(popup.menu));
      size_t lines = 0;
      for (char c : text) lines += c == '\n';
      out += std::string(menu_reader::kPopupLine) + " " + Hex(popup.window) + " " + Hex(popup.menu) + " " +
             std::to_string(depth) + " " + std::to_string(lines) + "\n" + text;
    }
  }
  return out;
}

void WriteResult(const std::string& text) {
  const std::string path = menu_reader::ResultPath(GetCurrentProcessId());
  const std::string aside = path + ".part";
  HANDLE file = CreateFileA(aside.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  if (ok && written == text.size()) MoveFileExA(aside.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

DWORD WINAPI ReadAndUnload(void* self) {
  WriteResult(DescribePopups());
  FreeLibraryAndExitThread(static_cast<HMODULE>(self), 0);
}

}  // namespace

// Reading happens on a thread of its own: DllMain runs under the loader lock, and the
// menu windows' thread must be free to answer while the menus are walked.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    HANDLE thread = CreateThread(nullptr, 0, ReadAndUnload, instance, 0, nullptr);
    if (thread == nullptr) return FALSE;
    CloseHandle(thread);
  }
  return TRUE;
}
