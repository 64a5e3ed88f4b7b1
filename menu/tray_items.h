#pragma once
// The tray menu as one table: every row is an item, a submenu, a separator or the service's
// status line, in the order it appears in its menu. An item's row holds everything about it:
// identifier, label, the menu it sits in, the file whose presence offers it, its condition,
// its check mark and its command. The menu builder and the command dispatcher both read
// this table, so an item is added with one row.
#include <windows.h>

#include <cstdint>
#include <span>

// The popup and its submenus.
enum class TrayMenuName : uint8_t {
  Popup,
  InterfaceManuals,
  Documentation,
  HelpTopics,
  Utilities,
  VxiResourceManager,
  VisaOptions,
  LockWait,
  VisaLogging,
};

enum class TrayRowKind : uint8_t { Item, Submenu, Separator, StatusLine };

// When a row is added. A submenu is built only when its condition holds and attached
// only when it got at least one item.
enum class TrayCondition : uint8_t {
  Always,
  Installed,      // folder() + file exists
  VisaInstalled,  // the suite's own VISA is installed and folder() + file exists
  VisaPresent,    // the suite's own VISA is installed
  K7302Present,   // the K7302 presence event is signalled
  HasStatusLine,  // the suite service gave a status line
  BetweenItems,   // separators: some row above it in its menu was added, and one below is
};

// Whether an item is checked, judged from the setting its menu reads (TrayRow::setting).
enum class TrayMark : uint8_t {
  None,
  WhenNonZero,  // a check box: checked while the setting is not 0
  WhenEquals,   // a radio item: checked while the setting is markValue
  Otherwise,    // the radio item checked when none of its menu's WhenEquals items is
};

struct TrayRow;
// What choosing an item does, with the main window as the owner of boxes and shell calls.
using TrayCommand = void (*)(HWND window, const TrayRow& item);

// One row of the table; the fields a row kind does not use stay at their defaults.
struct TrayRow {
  TrayRowKind kind = TrayRowKind::Item;
  TrayMenuName menu = TrayMenuName::Popup;  // the menu the row sits in
  UINT id = 0;                               // items: the command identifier
  const char* label = nullptr;
  const char* otherLabel = nullptr;  // the label outside the NT family, when it differs
  TrayCondition condition = TrayCondition::Always;
  const char* (*folder)() = nullptr;  // where file lives; null: the shell finds it
  const char* file = nullptr;         // relative to folder(), starting with a backslash
  const char* openAs = nullptr;       // the name the command opens, when spelt otherwise
  const char* parameters = nullptr;   // tools: their command line
  const char* title = nullptr;        // documents: their name in the box when they fail
  TrayCommand command = nullptr;
  TrayMark mark = TrayMark::None;
  int markValue = 0;
  bool isDefault = false;                    // the menu's default item, shown in bold
  TrayMenuName opens = TrayMenuName::Popup;  // submenus: the menu they open
  int (*setting)() = nullptr;                // submenus: read once for their items' marks

  const char* OpenedFile() const { return openAs != nullptr ? openAs : file; }
};

// The connection tool's identifier: the icon's double-click starts it too.
inline constexpr UINT kConnectionToolCommand = 1059;

// Every row, in menu order.
std::span<const TrayRow> TrayRows();

// The item with this identifier; null for 0 and identifiers without an item.
const TrayRow* FindTrayItem(UINT id);
