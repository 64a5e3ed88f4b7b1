// Menus of this process read into trees, and the canonical text written and parsed back.
#include <gtest/gtest.h>

#include <stdexcept>

#include "bed/menu_tree.h"

namespace {

using bed::MenuTree;

// Owns a popup menu built for one test.
struct TestMenu {
  HMENU menu = CreatePopupMenu();
  ~TestMenu() { DestroyMenu(menu); }
};

constexpr char kRich[] =
    "0 Korvane Ombrix Service (demo) [greyed]\n"
    "---\n"
    "1059 Korvane &Linkfinder [default]\n"
    "Utilities >\n"
    "  1031 Event &Viewer\n"
    "  VXI &Resource Manager >\n"
    "    1042 Hide Resource Manager [greyed] [checked] [default]\n"
    "  1066 &Quickprobe\n"
    "---\n"
    "1026 E&xit Korvane Quorvel\n";

TEST(MenuTree, ReadsStatesSubmenusAndSeparatorsOfARealMenu) {
  TestMenu top;
  TestMenu utilities;
  TestMenu vxi;
  AppendMenuA(top.menu, MF_STRING | MF_GRAYED, 0, "Korvane Ombrix Service (demo)");
  AppendMenuA(top.menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(top.menu, MF_STRING, 1059, "Korvane &Linkfinder");
  SetMenuDefaultItem(top.menu, 1059, FALSE);
  AppendMenuA(utilities.menu, MF_STRING, 1031, "Event &Viewer");
  AppendMenuA(vxi.menu, MF_STRING | MF_GRAYED | MF_CHECKED, 1042, "Hide Resource Manager");
  SetMenuDefaultItem(vxi.menu, 1042, FALSE);
  AppendMenuA(utilities.menu, MF_POPUP, reinterpret_cast<UINT_PTR>(vxi.menu), "VXI &Resource Manager");
  vxi.menu = nullptr;  // owned by its parent from here
  AppendMenuA(utilities.menu, MF_STRING, 1066, "&Quickprobe");
  AppendMenuA(top.menu, MF_POPUP, reinterpret_cast<UINT_PTR>(utilities.menu), "Utilities");
  utilities.menu = nullptr;
  AppendMenuA(top.menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(top.menu, MF_STRING, 1026, "E&xit Korvane Quorvel");

  EXPECT_EQ(bed::DescribeMenu(bed::ReadMenuTree(top.menu)), kRich);
  EXPECT_TRUE(bed::ReadMenuTree(nullptr).empty());
}

TEST(MenuTree, TextRoundTripsAndFindsEntriesAtAnyDepth) {
  const MenuTree tree = bed::ParseMenu(kRich);
  EXPECT_EQ(bed::DescribeMenu(tree), kRich);
  const bed::MenuEntry* hide = bed::FindMenuItem(tree, 1042);
  ASSERT_NE(hide, nullptr);
  EXPECT_EQ(hide->text, "Hide Resource Manager");
  EXPECT_TRUE(hide->greyed && hide->checked && hide->isDefault);
  EXPECT_EQ(bed::FindMenuItem(tree, 0), nullptr) << "the status line and separators have no id";
  EXPECT_EQ(bed::FindMenuItem(tree, 1027), nullptr);
  const bed::MenuEntry* vxi = bed::FindSubmenu(tree, "VXI &Resource Manager");
  ASSERT_NE(vxi, nullptr);
  EXPECT_EQ(vxi->items.size(), 1u);
  EXPECT_EQ(bed::FindSubmenu(tree, "Korvane &Linkfinder"), nullptr) << "an item is no submenu";
}

TEST(MenuTree, ParseRejectsLinesItCannotRead) {
  for (const char* text : {"Linkfinder\n", "x12 Linkfinder\n", "  1031 Event\n", "Utilities >\n   1031 Odd\n"}) {
    EXPECT_THROW(bed::ParseMenu(text), std::invalid_argument) << text;
  }
}

}  // namespace
