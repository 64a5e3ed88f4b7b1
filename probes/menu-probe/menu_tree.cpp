#include "probes/menu-probe/menu_tree.h"

#include <stdexcept>
#include <string_view>

namespace menu_probe {
namespace {

constexpr char kSeparator[] = "---";
constexpr char kSubmenuMark[] = " >";
// Flag suffixes in the order they are written.
constexpr std::string_view kGreyed = " [greyed]";
constexpr std::string_view kChecked = " [checked]";
constexpr std::string_view kDefault = " [default]";

std::string ItemText(HMENU menu, UINT position) {
  MENUITEMINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING;
  if (!GetMenuItemInfoA(menu, position, TRUE, &info) || info.cch == 0) return {};
  std::string text(info.cch + 1, '\0');
  info.dwTypeData = text.data();
  info.cch = static_cast<UINT>(text.size());
  if (!GetMenuItemInfoA(menu, position, TRUE, &info)) return {};
  text.resize(info.cch);
  return text;
}

void Describe(const MenuTree& tree, const std::string& indent, std::string& out) {
  for (const MenuEntry& entry : tree) {
    out += indent;
    if (entry.separator) {
      out += kSeparator;
    } else if (entry.hasSubmenu) {
      out += entry.text;
      out += kSubmenuMark;
    } else {
      out += std::to_string(entry.id) + " " + entry.text;
      if (entry.greyed) out += kGreyed;
      if (entry.checked) out += kChecked;
      if (entry.isDefault) out += kDefault;
    }
    out += "\n";
    if (entry.hasSubmenu) Describe(entry.items, indent + "  ", out);
  }
}

// Removes |suffix| from the end of |text| when it is there.
bool TakeSuffix(std::string_view& text, std::string_view suffix) {
  if (!text.ends_with(suffix)) return false;
  text.remove_suffix(suffix.size());
  return true;
}

MenuEntry ParseLine(std::string_view line) {
  MenuEntry entry;
  if (line == kSeparator) {
    entry.separator = true;
  } else if (TakeSuffix(line, kSubmenuMark)) {
    entry.hasSubmenu = true;
    entry.text = line;
  } else {
    entry.isDefault = TakeSuffix(line, kDefault);
    entry.checked = TakeSuffix(line, kChecked);
    entry.greyed = TakeSuffix(line, kGreyed);
    const size_t space = line.find(' ');
    const std::string_view number = line.substr(0, space);
    if (space == std::string_view::npos || number.empty() ||
        number.find_first_not_of("0123456789") != std::string_view::npos) {
      throw std::invalid_argument("menu line is neither separator, submenu nor item: " + std::string(line));
    }
    entry.id = static_cast<UINT>(std::stoul(std::string(number)));
    entry.text = line.substr(space + 1);
  }
  return entry;
}

}  // namespace

MenuTree ReadMenuTree(HMENU menu) {
  MenuTree tree;
  const int count = GetMenuItemCount(menu);
  for (int i = 0; i < count; ++i) {
    const UINT position = static_cast<UINT>(i);
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_ID | MIIM_SUBMENU;
    if (!GetMenuItemInfoA(menu, position, TRUE, &info)) continue;
    MenuEntry entry;
    entry.separator = (info.fType & MFT_SEPARATOR) != 0;
    // Separators come back disabled; that says nothing about the menu, so it is dropped.
    entry.greyed = !entry.separator && (info.fState & MFS_DISABLED) != 0;
    entry.checked = (info.fState & MFS_CHECKED) != 0;
    entry.isDefault = (info.fState & MFS_DEFAULT) != 0;
    entry.hasSubmenu = info.hSubMenu != nullptr;
    if (!entry.separator) entry.text = ItemText(menu, position);
    if (entry.hasSubmenu) {
      entry.items = ReadMenuTree(info.hSubMenu);
    } else if (!entry.separator) {
      entry.id = info.wID;
    }
    tree.push_back(std::move(entry));
  }
  return tree;
}

std::string DescribeMenu(const MenuTree& tree) {
  std::string out;
  Describe(tree, "", out);
  return out;
}

MenuTree ParseMenu(const std::string& text) {
  MenuTree tree;
  // The open submenu at each depth: levels[0] is the tree itself.
  std::vector<MenuTree*> levels{&tree};
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const size_t spaces = line.find_first_not_of(' ');
    if (spaces % 2 != 0 || spaces / 2 >= levels.size()) {
      throw std::invalid_argument("menu line indented wrongly: " + std::string(line));
    }
    levels.resize(spaces / 2 + 1);
    MenuTree& parent = *levels.back();
    parent.push_back(ParseLine(line.substr(spaces)));
    if (parent.back().hasSubmenu) levels.push_back(&parent.back().items);
  }
  return tree;
}

const MenuEntry* FindMenuItem(const MenuTree& tree, UINT id) {
  if (id == 0) return nullptr;
  for (const MenuEntry& entry : tree) {
    if (!entry.hasSubmenu && !entry.separator && entry.id == id) return &entry;
    if (const MenuEntry* found = FindMenuItem(entry.items, id)) return found;
  }
  return nullptr;
}

const MenuEntry* FindSubmenu(const MenuTree& tree, const std::string& text) {
  for (const MenuEntry& entry : tree) {
    if (entry.hasSubmenu && entry.text == text) return &entry;
    if (const MenuEntry* found = FindSubmenu(entry.items, text)) return found;
  }
  return nullptr;
}

std::string DescribeSubmenu(const MenuTree& tree, const std::string& text) {
  const MenuEntry* submenu = FindSubmenu(tree, text);
  return submenu != nullptr ? DescribeMenu(submenu->items) : "(no submenu " + text + ")\n";
}

}  // namespace menu_probe
