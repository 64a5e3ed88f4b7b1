// The popup of another process (menu_host.exe) read through the injected reader and
// driven with keyboard messages.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <functional>

#include "bed/child_process.h"
#include "bed/popup_menu.h"

namespace {

constexpr DWORD kWaitMs = 10000;

constexpr char kMenu[] =
    "0 Korvane Ombrix Service (demo) [greyed]\n"
    "---\n"
    "1059 Korvane &Linkfinder [default]\n"
    "Utilities >\n"
    "  1031 Event &Viewer\n"
    "  1066 &Quickprobe [greyed]\n"
    "  VXI &Resource Manager >\n"
    "    1027 Edit Resources\n"
    "    1042 Hide Resource Manager [checked]\n"
    "---\n"
    "1026 E&xit Korvane Quorvel\n";

std::string TempFile() {
  char temp[MAX_PATH] = {};
  GetTempPathA(sizeof temp, temp);
  return std::string(temp) + bed::UniqueName("menu") + ".txt";
}

// menu_host.exe showing kMenu, its popup open.
struct MenuHost {
  MenuHost() {
    std::ofstream(file, std::ios::binary) << kMenu;
    bed::ChildOptions options;
    options.captureOutput = true;
    process = std::make_unique<bed::ChildProcess>("menu_host.exe", std::vector<std::string>{file}, options);
    popup = bed::WaitForPopup(process->Pid(), kWaitMs);
  }
  ~MenuHost() { DeleteFileA(file.c_str()); }
  // What TrackPopupMenu returned, once the host has ended.
  std::string Chosen() const {
    EXPECT_TRUE(bed::WaitForPopupClosed(process->Pid(), kWaitMs));
    EXPECT_EQ(process->WaitExitCode(kWaitMs), 0u);
    std::string output = process->Output();
    while (!output.empty() && isspace(static_cast<unsigned char>(output.back()))) output.pop_back();
    return output;
  }

  const std::string file = TempFile();
  std::unique_ptr<bed::ChildProcess> process;
  HWND popup = nullptr;
};

TEST(MenuReader, ReadsTheSameOpenPopupAgainAndAgain) {
  MenuHost host;
  ASSERT_NE(host.popup, nullptr);
  for (int read = 0; read < 3; ++read) {
    EXPECT_EQ(bed::DescribeMenu(bed::ReadPopupMenu(host.process->Pid(), kWaitMs)), kMenu) << "read " << read;
  }
  // An open submenu is read as a second popup, after the tracked one.
  const bed::MenuTree tree = bed::ParseMenu(kMenu);
  for (WPARAM key : {VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT}) bed::PressMenuKey(host.popup, key);
  ASSERT_NE(bed::WaitForPopup(host.process->Pid(), kWaitMs, 2), nullptr);
  const std::vector<bed::OpenPopup> popups = bed::ReadPopupMenus(host.process->Pid(), kWaitMs);
  ASSERT_EQ(popups.size(), 2u);
  EXPECT_EQ(popups[0].depth, 0);
  EXPECT_EQ(popups[0].tree, tree);
  EXPECT_EQ(popups[1].depth, 1);
  EXPECT_EQ(popups[1].tree, bed::FindSubmenu(tree, "Utilities")->items);
  EXPECT_TRUE(bed::CloseAllPopups(host.process->Pid(), kWaitMs));
  EXPECT_EQ(host.Chosen(), "chose 0");
}

// Each way of choosing, with what TrackPopupMenu returned in the host.
TEST(MenuKeys, ChoosingByKeysReachesTheItemOfTheTree) {
  struct Case {
    const char* name;
    std::function<void(HWND popup, const bed::MenuTree&)> choose;
    const char* chosen;
  };
  const Case cases[] = {
      {"default item past the greyed line", [](HWND p, auto& t) { bed::ChooseMenuItem(p, t, 1059); }, "chose 1059"},
      {"item after a separator", [](HWND p, auto& t) { bed::ChooseMenuItem(p, t, 1026); }, "chose 1026"},
      {"first submenu item", [](HWND p, auto& t) { bed::ChooseMenuItem(p, t, 1031); }, "chose 1031"},
      {"two submenus deep", [](HWND p, auto& t) { bed::ChooseMenuItem(p, t, 1042); }, "chose 1042"},
      {"greyed item chooses nothing", [](HWND p, auto& t) { bed::ChooseMenuItem(p, t, 1066); }, "chose 0"},
      {"mnemonic", [](HWND p, auto&) { bed::TypeMenuMnemonic(p, 'x'); }, "chose 1026"},
      {"escape", [](HWND p, auto&) { bed::PressMenuKey(p, VK_ESCAPE); }, "chose 0"},
  };
  const bed::MenuTree tree = bed::ParseMenu(kMenu);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MenuHost host;
    ASSERT_NE(host.popup, nullptr);
    c.choose(host.popup, tree);
    EXPECT_EQ(host.Chosen(), c.chosen);
  }
}

TEST(MenuKeys, NoKeysForAnIdTheTreeLacks) {
  const bed::MenuTree tree = bed::ParseMenu(kMenu);
  EXPECT_TRUE(bed::KeysToChoose(tree, 1028).empty());
  EXPECT_TRUE(bed::KeysToChoose(tree, 0).empty()) << "the status line cannot be chosen";
  const std::vector<WPARAM> keys{VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_RETURN};
  EXPECT_EQ(bed::KeysToChoose(tree, 1042), keys);
}

}  // namespace
