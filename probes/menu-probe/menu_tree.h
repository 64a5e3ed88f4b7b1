// A menu as plain data: read from a menu handle of this process, written as canonical
// text and parsed back, so that tests compare whole menus as text (a mismatch shows as a
// readable diff) and the injected reader can hand a menu of another process back.
//
// Canonical text: one entry per line ending in "\n", two spaces of indentation per
// submenu level.
//   separator:      ---
//   item:           <id> <text>[ [greyed]][ [checked]][ [default]]
//   submenu entry:  <text> >      followed by its entries one level deeper
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace menu_probe {

struct MenuEntry {
  UINT id = 0;                   // wID (0 for separators, submenu entries, the status line)
  std::string text;              // the label as stored, with its '&'
  bool separator = false;
  bool greyed = false;           // fState & MFS_DISABLED (not reported for separators)
  bool checked = false;          // fState & MFS_CHECKED
  bool isDefault = false;        // fState & MFS_DEFAULT
  bool hasSubmenu = false;
  std::vector<MenuEntry> items;  // the submenu's entries
  bool operator==(const MenuEntry&) const = default;
};
using MenuTree = std::vector<MenuEntry>;

// Walks a menu of this process, submenus included. An invalid handle gives an empty tree.
MenuTree ReadMenuTree(HMENU menu);
// The canonical text of the tree.
std::string DescribeMenu(const MenuTree& tree);
// The inverse of DescribeMenu. Lines it cannot read (bad indentation, an item without a
// number) throw std::invalid_argument naming the line.
MenuTree ParseMenu(const std::string& text);
// The first entry with this id, at any depth (null when none; id 0 is never found).
const MenuEntry* FindMenuItem(const MenuTree& tree, UINT id);
// The first submenu entry with this label, at any depth (null when none).
const MenuEntry* FindSubmenu(const MenuTree& tree, const std::string& text);
// The canonical text of that submenu's entries; "(no submenu <text>)\n" when there is none.
std::string DescribeSubmenu(const MenuTree& tree, const std::string& text);

}  // namespace menu_probe
