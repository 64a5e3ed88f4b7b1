// The popup menu another process shows (TrackPopupMenu), found, read and driven from the
// outside: its menu windows (class "#32768") are found by process id, their menus are read by
// injecting menu_reader.dll into that process (a menu cannot be read from outside it), and
// items are chosen with keyboard messages posted to the menu window, as a user would.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "probes/menu-probe/menu_tree.h"

namespace menu_probe {

// One open popup window and the menu it shows.
struct OpenPopup {
  HWND window = nullptr;
  int depth = 0;  // 0: the tracked menu; 1: a submenu opened from it; ...
  MenuTree tree;
};

// The visible popup menu windows of process pid, the newest first.
std::vector<HWND> PopupWindows(DWORD pid);
// Waits until process pid shows at least |count| popup windows; the newest, or null on time-out.
HWND WaitForPopup(DWORD pid, DWORD timeoutMs, size_t count = 1);
// Waits until process pid shows no popup window.
bool WaitForPopupClosed(DWORD pid, DWORD timeoutMs);

// Every popup process pid shows now, read through the injected reader, the tracked menu
// first. Throws std::runtime_error when the reader cannot be injected or does not answer
// within |timeoutMs|.
std::vector<OpenPopup> ReadPopupMenus(DWORD pid, DWORD timeoutMs);
// Waits for the popup of process pid and reads the tracked menu. Throws
// std::runtime_error when no popup appears or it cannot be read within |timeoutMs|.
MenuTree ReadPopupMenu(DWORD pid, DWORD timeoutMs);

// Keyboard input for the popup window (the menu's modal loop takes it from the queue).
void PressMenuKey(HWND popup, WPARAM virtualKey);

// The keys that choose the item |id| of |tree| from a freshly opened popup: VK_DOWN to
// each entry (separators are skipped by the menu, greyed items are not), VK_RIGHT into a
// submenu (which opens with its first entry selected) and VK_RETURN. Empty when the tree
// has no such item.
std::vector<WPARAM> KeysToChoose(const MenuTree& tree, UINT id);
// Chooses item |id| of the popup |tree| was read from; false when the tree has no such item.
bool ChooseMenuItem(HWND popup, const MenuTree& tree, UINT id);
// Escape until process pid shows no popup (each press closes one level).
bool CloseAllPopups(DWORD pid, DWORD timeoutMs);

}  // namespace menu_probe
