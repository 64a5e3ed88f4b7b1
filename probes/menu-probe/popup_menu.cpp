#include "probes/menu-probe/popup_menu.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "probes/menu-probe/menu_reader/menu_reader_file.h"
#include "support/wait_until.h"

namespace menu_probe {
namespace {

constexpr DWORD kPollMs = 10;

struct PopupSearch {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectPopup(HWND window, LPARAM context) {
  auto& search = *reinterpret_cast<PopupSearch*>(context);
  if (menu_reader::IsPopupWindowOf(window, search.pid)) search.windows.push_back(window);
  return TRUE;
}

// Owns a kernel handle (a null one is not closed).
struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The reader lies beside the program that loads it.
std::string ReaderPath() {
  char path[MAX_PATH] = {};
  const std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  const size_t slash = self.find_last_of("\\/");
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "\\" + menu_reader::kDllName;
}

std::string Failure(const std::string& what, DWORD pid) {
  return "menu reader, process " + std::to_string(pid) + ": " + what + " (error " + std::to_string(GetLastError()) +
         ")";
}

// Loads the reader into process pid by a remote thread that runs LoadLibraryA on its path.
void Inject(DWORD pid, DWORD timeoutMs) {
  const std::string path = ReaderPath();
  Handle process(OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                 PROCESS_VM_WRITE | PROCESS_VM_READ | SYNCHRONIZE,
                             FALSE, pid));
  if (process.get() == nullptr) throw std::runtime_error(Failure("cannot open the process", pid));
  void* remotePath = VirtualAllocEx(process.get(), nullptr, path.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (remotePath == nullptr) throw std::runtime_error(Failure("cannot allocate in the process", pid));
  SIZE_T written = 0;
  const BOOL copied = WriteProcessMemory(process.get(), remotePath, path.c_str(), path.size() + 1, &written);
  // kernel32 lies at the same address in every process, so this process's LoadLibraryA is
  // the target's too.
  auto loadLibrary = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
  Handle thread(copied ? CreateRemoteThread(process.get(), nullptr, 0, loadLibrary, remotePath, 0, nullptr) : nullptr);
  const std::string failure = thread.get() == nullptr ? Failure("cannot start the loading thread", pid) : "";
  const bool loaded = thread.get() != nullptr && WaitForSingleObject(thread.get(), timeoutMs) == WAIT_OBJECT_0;
  if (loaded) VirtualFreeEx(process.get(), remotePath, 0, MEM_RELEASE);
  if (!failure.empty()) throw std::runtime_error(failure);
  if (!loaded) throw std::runtime_error(Failure("LoadLibraryA did not return", pid));
}

std::vector<OpenPopup> ParseResult(const std::string& text, DWORD& readerThread) {
  std::istringstream in(text);
  std::vector<OpenPopup> popups;
  std::string word;
  if (!(in >> word >> readerThread) || word != menu_reader::kReaderLine) {
    throw std::runtime_error("menu reader: unreadable result: " + text);
  }
  std::string window;
  size_t lines = 0;
  std::string menu;
  OpenPopup popup;
  while (in >> word >> window >> menu >> popup.depth >> lines) {
    in.ignore(1);  // the header's line end
    popup.window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(window.c_str(), nullptr, 16)));
    std::string described;
    for (std::string line; lines > 0 && std::getline(in, line); --lines) described += line + "\n";
    popup.tree = ParseMenu(described);
    popups.push_back(popup);
  }
  return popups;
}

}  // namespace

std::vector<HWND> PopupWindows(DWORD pid) {
  PopupSearch search{pid, {}};
  EnumWindows(CollectPopup, reinterpret_cast<LPARAM>(&search));
  return search.windows;
}

HWND WaitForPopup(DWORD pid, DWORD timeoutMs, size_t count) {
  std::vector<HWND> windows;
  const bool shown = support::WaitUntil([&] { return (windows = PopupWindows(pid)).size() >= count; }, timeoutMs, kPollMs);
  return shown ? windows.front() : nullptr;
}

bool WaitForPopupClosed(DWORD pid, DWORD timeoutMs) {
  return support::WaitUntil([&] { return PopupWindows(pid).empty(); }, timeoutMs, kPollMs);
}

std::vector<OpenPopup> ReadPopupMenus(DWORD pid, DWORD timeoutMs) {
  const std::string result = menu_reader::ResultPath(pid);
  DeleteFileA(result.c_str());
  Inject(pid, timeoutMs);
  std::string text;
  const auto read = [&] {
    std::ifstream in(result, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
  };
  if (!support::WaitUntil(read, timeoutMs, kPollMs)) throw std::runtime_error(Failure("no result from the reader", pid));
  DeleteFileA(result.c_str());
  DWORD readerThread = 0;
  std::vector<OpenPopup> popups = ParseResult(text, readerThread);
  // The library is unloaded when its thread ends; a load before that would find it still
  // there and read nothing.
  Handle thread(OpenThread(SYNCHRONIZE, FALSE, readerThread));
  if (thread.get() != nullptr) WaitForSingleObject(thread.get(), timeoutMs);
  return popups;
}

MenuTree ReadPopupMenu(DWORD pid, DWORD timeoutMs) {
  if (WaitForPopup(pid, timeoutMs) == nullptr) {
    throw std::runtime_error("process " + std::to_string(pid) + " shows no popup menu");
  }
  // The window may be shown a moment before its menu is attached to it.
  MenuTree tree;
  const auto readTracked = [&] {
    for (OpenPopup& popup : ReadPopupMenus(pid, timeoutMs)) {
      if (popup.depth != 0) continue;
      tree = std::move(popup.tree);
      return true;
    }
    return false;
  };
  if (!support::WaitUntil(readTracked, timeoutMs, kPollMs)) {
    throw std::runtime_error("the popup menu of process " + std::to_string(pid) + " could not be read");
  }
  return tree;
}

void PressMenuKey(HWND popup, WPARAM virtualKey) { PostMessageA(popup, WM_KEYDOWN, virtualKey, 0); }

std::vector<WPARAM> KeysToChoose(const MenuTree& tree, UINT id) {
  // The tracked menu opens with nothing selected, so the first VK_DOWN selects its first
  // entry; a submenu opened by VK_RIGHT has its first entry selected already.
  const MenuTree* level = &tree;
  std::vector<WPARAM> keys;
  for (size_t downs = 1; level != nullptr;) {
    const MenuTree* next = nullptr;
    for (const MenuEntry& entry : *level) {
      if (entry.separator) continue;
      if (!entry.hasSubmenu && entry.id == id && id != 0) {
        keys.insert(keys.end(), downs, VK_DOWN);
        keys.push_back(VK_RETURN);
        return keys;
      }
      if (entry.hasSubmenu && FindMenuItem(entry.items, id) != nullptr) {
        keys.insert(keys.end(), downs, VK_DOWN);
        keys.push_back(VK_RIGHT);
        next = &entry.items;
        break;
      }
      ++downs;
    }
    level = next;
    downs = 0;
  }
  return {};
}

bool ChooseMenuItem(HWND popup, const MenuTree& tree, UINT id) {
  const std::vector<WPARAM> keys = KeysToChoose(tree, id);
  for (WPARAM key : keys) PressMenuKey(popup, key);
  return !keys.empty();
}

bool CloseAllPopups(DWORD pid, DWORD timeoutMs) {
  for (const ULONGLONG deadline = GetTickCount64() + timeoutMs;;) {
    const std::vector<HWND> windows = PopupWindows(pid);
    if (windows.empty()) return true;
    if (GetTickCount64() >= deadline) return false;
    PressMenuKey(windows.front(), VK_ESCAPE);
    // One level closes per press; wait for it before the next.
    support::WaitUntil([&] { return PopupWindows(pid).size() < windows.size(); }, 1000, kPollMs);
  }
}

}  // namespace menu_probe
