// A program that shows one popup menu, built from the canonical menu text in the file
// named on its command line, with TrackPopupMenu from its own hidden window, and prints
// "chose <id>" with what TrackPopupMenu returned. It lets the test bed's menu reading and
// keyboard driving be proved against a real popup of another process.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "bed/menu_tree.h"

namespace {

HMENU BuildMenu(const bed::MenuTree& tree) {
  HMENU menu = CreatePopupMenu();
  UINT position = 0;
  for (const bed::MenuEntry& entry : tree) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU;
    info.fType = entry.separator ? MFT_SEPARATOR : MFT_STRING;
    info.fState = (entry.greyed ? MFS_DISABLED : 0u) | (entry.checked ? MFS_CHECKED : 0u) |
                  (entry.isDefault ? MFS_DEFAULT : 0u);
    info.wID = entry.id;
    info.dwTypeData = const_cast<char*>(entry.text.c_str());
    info.hSubMenu = entry.hasSubmenu ? BuildMenu(entry.items) : nullptr;
    InsertMenuItemA(menu, position++, TRUE, &info);
  }
  return menu;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: menu_host <file with the menu's canonical text>\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  HMENU menu = BuildMenu(bed::ParseMenu(text));
  HWND window = CreateWindowExA(0, "STATIC", "menu_host", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(window);
  const BOOL chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_NONOTIFY, 300, 300, 0, window, nullptr);
  std::printf("chose %d\n", chosen);
  std::fflush(stdout);
  DestroyMenu(menu);
  DestroyWindow(window);
  return 0;
}
