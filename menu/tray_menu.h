#pragma once
// The tray icon's pop-up menu. It offers only what is installed: it is built from the file
// system, the registry and the K7302 presence event at every click, shown at the cursor,
// and destroyed once the chosen command has run, so a change shows at the next click.
#include <windows.h>

inline constexpr char kK7302PresentEventName[] = "Global\\KorvaneK7302Present";
// The status line item holds at most this many characters.
inline constexpr size_t kStatusItemLength = 99;

// With true, builds the whole tree from the rows of menu/tray_items.h and returns the
// popup. With false, destroys every menu of the last build and returns null: the popup
// with the submenus attached to it (a submenu left without items is destroyed while the
// tree is built). Either way the previous build is destroyed first.
HMENU BuildTrayMenu(bool build);

// True while the K7302 software's presence event exists and is signalled.
bool IsK7302Present();

// A click on the icon: builds the menu, shows it at the cursor with window as its owner,
// runs the chosen command and destroys the menu. A click that arrives while a menu or one
// of its commands' boxes is still up is ignored.
void ShowTrayMenu(HWND window);
