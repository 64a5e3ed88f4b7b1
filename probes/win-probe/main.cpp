// win-probe: looks at windows as another process sees them, for scripts and
// demonstrations. It finds a top-level window by class and title and says which process
// owns it, posts messages to it, reads and drives an open pop-up menu, and reads and
// answers a message box.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "probes/menu-probe/popup_menu.h"
#include "support/wait_until.h"

namespace {

const char kUsage[] =
    "usage: win-probe find CLASS TITLE [--wait MS]   find the window; exit 1 when absent\n"
    "       win-probe gone CLASS TITLE [--wait MS]   wait until no such window exists\n"
    "       win-probe post CLASS TITLE MSG [WPARAM LPARAM]\n"
    "                                                post message number MSG (parameters default to 0)\n"
    "       win-probe cursor X Y                     move the mouse pointer (a pop-up menu opens there)\n"
    "       win-probe shown CLASS [TITLE] [--wait MS] wait for a visible window of this class (and title)\n"
    "       win-probe menu [--wait MS] [--geometry] [--windows N]\n"
    "                                                wait for an open pop-up menu (with at least N windows:\n"
    "                                                its open submenus count) and say where it is;\n"
    "                                                --geometry prints only WxH+X+Y around all its windows\n"
    "       win-probe menu-items [--wait MS]         print the open pop-up menu's items, read inside the\n"
    "                                                process that shows it (needs menu_reader.dll beside\n"
    "                                                win-probe.exe)\n"
    "       win-probe menu-choose ID [--wait MS]      choose the item ID of the open pop-up menu with the\n"
    "                                                keys a user would press (reads the menu as menu-items)\n"
    "       win-probe menu-keys KEY... [--wait MS]   send keys to the open pop-up menu: down, up, left,\n"
    "                                                right, return, escape, or one character (a mnemonic)\n"
    "       win-probe menu-closed [--wait MS]        wait until no pop-up menu is open\n"
    "       win-probe box CAPTION [--wait MS] [--geometry] [--press ID]\n"
    "                                                wait for a message box with this caption and print\n"
    "                                                its text and buttons (--geometry: only WxH+X+Y);\n"
    "                                                --press clicks the button with this id (1 is OK)\n"
    "                                                instead of printing the text\n"
    "--drawn (shown, menu, box): also wait until the windows found have drawn themselves\n"
    "Exit codes: 0 done, 1 not found or still there, 2 bad command line.\n";

constexpr char kMenuClass[] = "#32768";
constexpr char kBoxClass[] = "#32770";
constexpr int kBoxTextId = 0xFFFF;
// A message between two keys gives the menu's modal loop time to act on the first one
// (a submenu opening, say) before the next arrives.
constexpr DWORD kKeyGapMs = 80;
// How long a window's thread may take to paint before --drawn gives up.
constexpr UINT kDrawnTimeoutMs = 5000;

struct Args {
  std::vector<std::string> words;  // the command and its positional arguments
  DWORD waitMs = 0;
  bool geometry = false;
  bool drawn = false;
  int press = -1;
  size_t windows = 1;
};

bool ParseArgs(int argc, char** argv, Args& args) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--wait" || arg == "--press" || arg == "--windows") && i + 1 < argc) {
      char* end = nullptr;
      const unsigned long value = std::strtoul(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0') return false;
      if (arg == "--wait") args.waitMs = static_cast<DWORD>(value);
      else if (arg == "--press") args.press = static_cast<int>(value);
      else args.windows = value;
    } else if (arg == "--geometry") {
      args.geometry = true;
    } else if (arg == "--drawn") {
      args.drawn = true;
    } else if (arg.rfind("--", 0) == 0) {
      return false;
    } else {
      args.words.push_back(arg);
    }
  }
  return !args.words.empty();
}

bool ParseNumber(const std::string& text, long long& out) {
  char* end = nullptr;
  out = std::strtoll(text.c_str(), &end, 0);
  return end != text.c_str() && *end == '\0';
}

// Polls |test| every 50 ms until it holds or |waitMs| has passed; true when it held.
template <typename Test>
bool WaitFor(DWORD waitMs, Test test) {
  return support::WaitUntil(test, waitMs, 50);
}

DWORD OwnerProcess(HWND window) {
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  return pid;
}

std::string Geometry(const RECT& r) {
  return std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top) + "+" + std::to_string(r.left) +
         "+" + std::to_string(r.top);
}

// The visible pop-up menu windows, topmost first: the menu and any submenu opened from it.
std::vector<HWND> OpenMenuWindows() {
  std::vector<HWND> found;
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        char cls[16] = {};
        if (IsWindowVisible(window) && GetClassNameA(window, cls, sizeof cls) > 0 &&
            std::strcmp(cls, kMenuClass) == 0) {
          reinterpret_cast<std::vector<HWND>*>(param)->push_back(window);
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The first visible top-level window of the class (with the title, when given).
HWND FindVisible(const std::string& cls, const std::string* title) {
  struct Search {
    const std::string& cls;
    const std::string* title;
    HWND found;
  } search{cls, title, nullptr};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto& s = *reinterpret_cast<Search*>(param);
        char name[256] = {};
        if (!IsWindowVisible(window) || GetClassNameA(window, name, sizeof name) == 0 || s.cls != name) return TRUE;
        if (s.title != nullptr && (GetWindowTextA(window, name, sizeof name) < 0 || *s.title != name)) return TRUE;
        s.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Has the window paint what is due now (a sent WM_PAINT returns only when its thread has
// handled it), then waits for one more round trip through that thread, in which it hands
// the painted picture on to the display. False when the thread does not answer.
bool WaitDrawn(HWND window) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kDrawnTimeoutMs, &result) != 0;
}

bool WaitAllDrawn(const std::vector<HWND>& windows) {
  for (HWND window : windows) {
    if (!WaitDrawn(window)) {
      std::printf("window %p did not draw itself within %u ms\n", static_cast<void*>(window), kDrawnTimeoutMs);
      return false;
    }
  }
  return true;
}

int Shown(const Args& args) {
  if (args.words.size() != 2 && args.words.size() != 3) return 2;
  const std::string* title = args.words.size() == 3 ? &args.words[2] : nullptr;
  HWND window = nullptr;
  if (!WaitFor(args.waitMs, [&] { return (window = FindVisible(args.words[1], title)) != nullptr; })) {
    std::printf("no visible window of class \"%s\"\n", args.words[1].c_str());
    return 1;
  }
  if (args.drawn && !WaitAllDrawn({window})) return 1;
  std::printf("visible window of class \"%s\" in process %lu\n", args.words[1].c_str(), OwnerProcess(window));
  return 0;
}

int FindOrGone(const Args& args, bool wantGone) {
  if (args.words.size() != 3) return 2;
  const char* cls = args.words[1].c_str();
  const char* title = args.words[2].c_str();
  HWND window = nullptr;
  const bool done = WaitFor(args.waitMs, [&] {
    window = FindWindowA(cls, title);
    return (window == nullptr) == wantGone;
  });
  if (done && wantGone) {
    std::printf("no window \"%s\" of class \"%s\" any more\n", title, cls);
  } else if (done) {
    std::printf("found window \"%s\" of class \"%s\" (process %lu, %s)\n", title, cls, OwnerProcess(window),
                IsWindowVisible(window) ? "visible" : "hidden");
  } else {
    std::printf(wantGone ? "window \"%s\" of class \"%s\" is still there\n" : "no window \"%s\" of class \"%s\"\n",
                title, cls);
  }
  return done ? 0 : 1;
}

int Post(const Args& args) {
  const size_t n = args.words.size();
  long long message = 0, wParam = 0, lParam = 0;
  if ((n != 4 && n != 6) || !ParseNumber(args.words[3], message) ||
      (n == 6 && (!ParseNumber(args.words[4], wParam) || !ParseNumber(args.words[5], lParam)))) {
    return 2;
  }
  HWND window = FindWindowA(args.words[1].c_str(), args.words[2].c_str());
  if (window == nullptr) {
    std::printf("no window \"%s\" of class \"%s\"\n", args.words[2].c_str(), args.words[1].c_str());
    return 1;
  }
  return PostMessageA(window, static_cast<UINT>(message), static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam))
             ? 0
             : 1;
}

int Cursor(const Args& args) {
  long long x = 0, y = 0;
  if (args.words.size() != 3 || !ParseNumber(args.words[1], x) || !ParseNumber(args.words[2], y)) return 2;
  return SetCursorPos(static_cast<int>(x), static_cast<int>(y)) ? 0 : 1;
}

// The open menu's windows, once there are at least |count| within the wait; none (and a
// line saying so) when they did not open.
std::vector<HWND> WaitForOpenMenu(DWORD waitMs, size_t count = 1) {
  std::vector<HWND> windows;
  if (!WaitFor(waitMs, [&] { return (windows = OpenMenuWindows()).size() >= count; })) {
    std::printf(windows.empty() ? "no pop-up menu is open\n" : "the pop-up menu has only %zu window(s) open\n",
                windows.size());
    windows.clear();
  }
  return windows;
}

int Menu(const Args& args) {
  if (args.words.size() != 1) return 2;
  std::vector<HWND> windows = WaitForOpenMenu(args.waitMs, args.windows);
  if (windows.empty() || (args.drawn && !WaitAllDrawn(windows))) return 1;
  RECT all{};
  for (HWND window : windows) {
    RECT r{};
    GetWindowRect(window, &r);
    UnionRect(&all, &all, &r);
  }
  if (args.geometry) {
    std::printf("%s\n", Geometry(all).c_str());
  } else {
    RECT first{};
    GetWindowRect(windows.back(), &first);
    std::printf("pop-up menu open at %ld,%ld, %ldx%ld pixels, in process %lu (%zu menu window%s)\n", first.left,
                first.top, first.right - first.left, first.bottom - first.top, OwnerProcess(windows.back()),
                windows.size(), windows.size() == 1 ? "" : "s");
  }
  return 0;
}

// A menu can only be read inside the process that owns it, so the test bed's reader is
// loaded into that process; it writes the menu's canonical text back.
int MenuItems(const Args& args) {
  if (args.words.size() != 1) return 2;
  std::vector<HWND> windows = WaitForOpenMenu(args.waitMs);
  if (windows.empty()) return 1;
  const DWORD pid = OwnerProcess(windows.back());
  try {
    const menu_probe::MenuTree tree = menu_probe::ReadPopupMenu(pid, std::max<DWORD>(args.waitMs, 5000));
    std::printf("%s", menu_probe::DescribeMenu(tree).c_str());
  } catch (const std::exception& e) {
    std::printf("%s\n", e.what());
    return 1;
  }
  return 0;
}

int MenuClosed(const Args& args) {
  if (args.words.size() != 1) return 2;
  if (WaitFor(args.waitMs, [] { return OpenMenuWindows().empty(); })) {
    std::printf("no pop-up menu is open\n");
    return 0;
  }
  std::printf("a pop-up menu is still open\n");
  return 1;
}

struct NamedKey {
  const char* name;
  WPARAM key;
};
constexpr NamedKey kKeys[] = {{"down", VK_DOWN},     {"up", VK_UP},           {"left", VK_LEFT},
                              {"right", VK_RIGHT},   {"return", VK_RETURN},   {"escape", VK_ESCAPE}};

const char* KeyName(WPARAM key) {
  for (const NamedKey& named : kKeys) {
    if (named.key == key) return named.name;
  }
  return "?";
}

// The menu's modal loop reads keyboard messages from its thread's queue, whichever of
// its windows they are posted to; the topmost menu window is as good as any.
int MenuKeys(const Args& args) {
  if (args.words.size() < 2) return 2;
  for (size_t i = 1; i < args.words.size(); ++i) {
    const std::string& word = args.words[i];
    bool known = word.size() == 1;
    for (const NamedKey& key : kKeys) known = known || word == key.name;
    if (!known) return 2;
  }
  std::vector<HWND> windows = WaitForOpenMenu(args.waitMs);
  if (windows.empty()) return 1;
  for (size_t i = 1; i < args.words.size(); ++i) {
    const std::string& word = args.words[i];
    windows = OpenMenuWindows();
    if (windows.empty()) {
      std::printf("the pop-up menu closed before \"%s\"\n", word.c_str());
      return 1;
    }
    if (word.size() == 1) {
      PostMessageA(windows.front(), WM_CHAR, static_cast<unsigned char>(word[0]), 1);
    } else {
      for (const NamedKey& key : kKeys) {
        if (word == key.name) PostMessageA(windows.front(), WM_KEYDOWN, key.key, 1);
      }
    }
    Sleep(kKeyGapMs);
  }
  return 0;
}

// Reads the menu to learn where the item is, then walks there with the arrow keys.
int MenuChoose(const Args& args) {
  long long id = 0;
  if (args.words.size() != 2 || !ParseNumber(args.words[1], id) || id <= 0 || id > 0xFFFF) return 2;
  std::vector<HWND> windows = WaitForOpenMenu(args.waitMs);
  if (windows.empty()) return 1;
  const DWORD pid = OwnerProcess(windows.back());
  try {
    const menu_probe::MenuTree tree = menu_probe::ReadPopupMenu(pid, std::max<DWORD>(args.waitMs, 5000));
    const menu_probe::MenuEntry* item = menu_probe::FindMenuItem(tree, static_cast<UINT>(id));
    const std::vector<WPARAM> keys = menu_probe::KeysToChoose(tree, static_cast<UINT>(id));
    if (item == nullptr || keys.empty()) {
      std::printf("the menu has no item %lld\n", id);
      return 1;
    }
    std::string names;
    for (WPARAM key : keys) {
      windows = OpenMenuWindows();
      if (windows.empty()) {
        std::printf("the pop-up menu closed before the item was reached\n");
        return 1;
      }
      menu_probe::PressMenuKey(windows.front(), key);
      // The submenu a key opens must be there before the next key is taken.
      Sleep(kKeyGapMs);
      names += std::string(names.empty() ? "" : " ") + KeyName(key);
    }
    std::printf("chose %lld \"%s\" with the keys: %s\n", id, item->text.c_str(), names.c_str());
  } catch (const std::exception& e) {
    std::printf("%s\n", e.what());
    return 1;
  }
  return 0;
}

// The message box's text lines, with the carriage returns of its CR LF line ends dropped.
std::string BoxText(HWND box) {
  std::vector<char> text(16384);
  GetDlgItemTextA(box, kBoxTextId, text.data(), static_cast<int>(text.size()));
  std::string result;
  for (const char* p = text.data(); *p != '\0'; ++p) {
    if (*p != '\r') result += *p;
  }
  return result;
}

std::string BoxButtons(HWND box) {
  std::string list;
  EnumChildWindows(
      box,
      [](HWND child, LPARAM param) -> BOOL {
        char cls[16] = {};
        GetClassNameA(child, cls, sizeof cls);
        if (_stricmp(cls, "Button") == 0) {
          char caption[64] = {};
          GetWindowTextA(child, caption, sizeof caption);
          auto& out = *reinterpret_cast<std::string*>(param);
          if (!out.empty()) out += ", ";
          out += "\"" + std::string(caption) + "\" (id " + std::to_string(GetDlgCtrlID(child)) + ")";
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&list));
  return list;
}

int Box(const Args& args) {
  if (args.words.size() != 2) return 2;
  const char* caption = args.words[1].c_str();
  HWND box = nullptr;
  if (!WaitFor(args.waitMs, [&] { return (box = FindWindowA(kBoxClass, caption)) != nullptr; })) {
    std::printf("no message box \"%s\"\n", caption);
    return 1;
  }
  if (args.drawn && !(WaitFor(args.waitMs, [&] { return IsWindowVisible(box) != FALSE; }) && WaitAllDrawn({box}))) {
    return 1;
  }
  if (args.geometry) {
    RECT r{};
    GetWindowRect(box, &r);
    std::printf("%s\n", Geometry(r).c_str());
  } else if (args.press < 0) {
    std::printf("message box \"%s\" in process %lu, buttons %s, text:\n%s\n", caption, OwnerProcess(box),
                BoxButtons(box).c_str(), BoxText(box).c_str());
  }
  if (args.press < 0) return 0;
  HWND button = GetDlgItem(box, args.press);
  if (button == nullptr) {
    std::printf("the box has no button with id %d\n", args.press);
    return 1;
  }
  char buttonText[64] = {};
  GetWindowTextA(button, buttonText, sizeof buttonText);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(args.press, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  if (!args.geometry) std::printf("pressed \"%s\" (id %d)\n", buttonText, args.press);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  Args args;
  int result = 2;
  if (ParseArgs(argc, argv, args)) {
    const std::string& command = args.words[0];
    if (command == "find") result = FindOrGone(args, false);
    else if (command == "gone") result = FindOrGone(args, true);
    else if (command == "post") result = Post(args);
    else if (command == "shown") result = Shown(args);
    else if (command == "cursor") result = Cursor(args);
    else if (command == "menu") result = Menu(args);
    else if (command == "menu-items") result = MenuItems(args);
    else if (command == "menu-choose") result = MenuChoose(args);
    else if (command == "menu-keys") result = MenuKeys(args);
    else if (command == "menu-closed") result = MenuClosed(args);
    else if (command == "box") result = Box(args);
  }
  if (result == 2) std::fputs(kUsage, stderr);
  return result;
}
