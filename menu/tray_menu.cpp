#include "menu/tray_menu.h"

#include <cstring>

#include "base/os_class.h"
#include "base/results.h"
#include "base/unique.h"
#include "config/service_status_line.h"
#include "config/suite_dirs.h"
#include "config/visa_settings.h"
#include "menu/commands.h"
#include "menu/installed_files.h"
#include "menu/tray_items.h"

namespace {

// The popup of the last build, kept until BuildTrayMenu(false); every submenu that was
// attached goes with it, one that was not is destroyed as soon as it is known to be empty.
// showing: a menu or one of its commands' boxes is up.
struct TrayMenuState {
  UniqueMenu lastBuild;
  bool showing = false;
};
TrayMenuState g_trayMenu;

bool Holds(const TrayRow& row) {
  switch (row.condition) {
    case TrayCondition::Always:
    case TrayCondition::BetweenItems:  // decided by the builder from its neighbours
      return true;
    case TrayCondition::Installed:
      return IsFileInstalled(row.folder(), row.file);
    case TrayCondition::VisaInstalled:
      return GetVisaPresent() != kVisaAbsent && IsFileInstalled(row.folder(), row.file);
    case TrayCondition::VisaPresent:
      return GetVisaPresent() != kVisaAbsent;
    case TrayCondition::K7302Present:
      return IsK7302Present();
    case TrayCondition::HasStatusLine:
      return ServiceStatusLine()[0] != '\0';
  }
  return false;
}

const char* LabelOf(const TrayRow& row) {
  return row.otherLabel != nullptr && !IsNtFamily() ? row.otherLabel : row.label;
}

// The service's status line, cut to the item's length; a longer line ends in "..." so
// that the cut shows. The cut never splits a double-byte character.
void CutStatusLine(const char* line, char (&text)[kStatusItemLength + 1]) {
  const size_t length = std::strlen(line);
  if (length <= kStatusItemLength) {
    std::memcpy(text, line, length + 1);
    return;
  }
  constexpr size_t kKept = kStatusItemLength - 3;
  size_t kept = 0;
  while (kept < kKept) {
    const size_t width = IsDBCSLeadByte(static_cast<BYTE>(line[kept])) ? 2 : 1;
    if (kept + width > kKept) break;
    kept += width;
  }
  std::memcpy(text, line, kept);
  std::memcpy(text + kept, "...", 4);
}

// A failed menu call leaves its item, mark or separator out; nothing is reported.
void AddSeparator(HMENU menu) { IgnoreResult(AppendMenuA(menu, MF_SEPARATOR, 0, nullptr)); }

// The check mark of the radio-like submenus, set by command identifier.
void CheckChoice(HMENU menu, UINT id) {
  MENUITEMINFOA info;
  std::memset(&info, 0, sizeof info);
  static_assert(sizeof info == 80);
  info.cbSize = sizeof info;
  info.fMask = MIIM_STATE;
  info.fState = MFS_CHECKED;
  IgnoreResult(SetMenuItemInfoA(menu, id, FALSE, &info));
}

// Sets the marks of the items of one menu from its setting, read once.
void MarkItems(TrayMenuName name, HMENU menu, int setting) {
  bool chosen = false;
  for (const TrayRow& row : TrayRows()) {
    if (row.menu != name) continue;
    if (row.mark == TrayMark::WhenNonZero && setting != 0) {
      IgnoreResult(CheckMenuItem(menu, row.id, MF_BYCOMMAND | MF_CHECKED));
    } else if (row.mark == TrayMark::WhenEquals && setting == row.markValue) {
      CheckChoice(menu, row.id);
      chosen = true;
    }
  }
  if (chosen) return;
  for (const TrayRow& row : TrayRows()) {
    if (row.menu == name && row.mark == TrayMark::Otherwise) CheckChoice(menu, row.id);
  }
}

int BuildMenu(TrayMenuName name, HMENU menu, int (*setting)());

// Appends the row to menu (a submenu given up to it once attached); true when added.
bool Append(HMENU menu, const TrayRow& row, UniqueMenu& submenu) {
  switch (row.kind) {
    case TrayRowKind::Item:
      if (!AppendMenuA(menu, MF_STRING, row.id, LabelOf(row))) return false;
      if (row.isDefault) IgnoreResult(SetMenuDefaultItem(menu, row.id, FALSE));
      return true;
    case TrayRowKind::Submenu:
      if (!AppendMenuA(menu, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu.Get()), row.label)) {
        return false;
      }
      IgnoreResult(submenu.Release());  // destroyed with its parent from now on
      return true;
    case TrayRowKind::StatusLine: {
      char text[kStatusItemLength + 1];
      CutStatusLine(ServiceStatusLine(), text);
      return AppendMenuA(menu, MF_STRING | MF_GRAYED, 0, text);
    }
    case TrayRowKind::Separator:
      break;
  }
  return false;
}

// Appends the rows of one menu in table order, building each submenu first; returns how
// many items and submenus were added (separators not counted).
int BuildMenu(TrayMenuName name, HMENU menu, int (*setting)()) {
  int count = 0;
  bool separatorDue = false;
  for (const TrayRow& row : TrayRows()) {
    if (row.menu != name) continue;
    if (row.kind == TrayRowKind::Separator) {
      if (row.condition == TrayCondition::BetweenItems) {
        separatorDue = count > 0;
      } else {
        AddSeparator(menu);
      }
      continue;
    }
    if (!Holds(row)) continue;
    UniqueMenu submenu;
    if (row.kind == TrayRowKind::Submenu) {
      submenu.Reset(CreateMenu());
      if (BuildMenu(row.opens, submenu.Get(), row.setting) == 0) continue;
    }
    if (separatorDue) AddSeparator(menu);
    separatorDue = false;
    if (Append(menu, row, submenu)) ++count;
  }
  if (setting != nullptr) MarkItems(name, menu, setting());
  return count;
}

}  // namespace

HMENU BuildTrayMenu(bool build) {
  g_trayMenu.lastBuild.Reset();
  if (!build) return nullptr;
  g_trayMenu.lastBuild.Reset(CreatePopupMenu());
  BuildMenu(TrayMenuName::Popup, g_trayMenu.lastBuild.Get(), nullptr);
  return g_trayMenu.lastBuild.Get();
}

bool IsK7302Present() {
  SetLastError(ERROR_SUCCESS);
  const UniqueHandle event(OpenEventA(SYNCHRONIZE, FALSE, kK7302PresentEventName));
  const bool present = event && WaitForSingleObject(event.Get(), 0) == WAIT_OBJECT_0;
  IgnoreResult(GetLastError());  // an absent event leaves its error; nobody needs it
  return present;
}

void ShowTrayMenu(HWND window) {
  // The menu and its command's boxes run modal loops in which further clicks arrive; a
  // second menu would replace the handles the first one still uses.
  if (g_trayMenu.showing) return;
  g_trayMenu.showing = true;
  HMENU popup = BuildTrayMenu(true);
  // Without the cursor's position or the foreground the menu still shows, only elsewhere
  // or without closing on a click outside.
  POINT cursor{};
  IgnoreResult(GetCursorPos(&cursor));
  IgnoreResult(SetForegroundWindow(window));
  constexpr UINT kTrackFlags = TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN;
  static_assert(kTrackFlags == 0x180);
  const UINT command =
      static_cast<UINT>(TrackPopupMenu(popup, kTrackFlags, cursor.x, cursor.y, 0, window, nullptr));
  // The empty message makes the menu go away properly when the user clicks elsewhere.
  IgnoreResult(PostMessageA(window, WM_NULL, 0, 0));
  RunTrayCommand(window, command);
  BuildTrayMenu(false);
  g_trayMenu.showing = false;
}
