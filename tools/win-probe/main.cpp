// win-probe: finds a top-level window by class and title, as another process sees it,
// and says which process owns it. For scripts and demonstrations.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kUsage[] =
    "usage: win-probe find CLASS TITLE [--wait MS]   find the window; exit 1 when absent\n"
    "       win-probe gone CLASS TITLE [--wait MS]   wait until no such window exists\n"
    "       win-probe post CLASS TITLE MSG           post message number MSG (wParam 0, lParam 0)\n";

HWND Find(const char* cls, const char* title) { return FindWindowA(cls, title); }

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc < 4) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const char* command = argv[1];
  const char* cls = argv[2];
  const char* title = argv[3];
  DWORD waitMs = 0;
  if (argc == 6 && std::strcmp(argv[4], "--wait") == 0) waitMs = std::strtoul(argv[5], nullptr, 10);

  if (std::strcmp(command, "post") == 0) {
    if (argc != 5) {
      std::fputs(kUsage, stderr);
      return 2;
    }
    HWND w = Find(cls, title);
    if (w == nullptr) {
      std::printf("no window \"%s\" of class \"%s\"\n", title, cls);
      return 1;
    }
    const UINT message = static_cast<UINT>(std::strtoul(argv[4], nullptr, 10));
    return PostMessageA(w, message, 0, 0) ? 0 : 1;
  }

  const bool wantGone = std::strcmp(command, "gone") == 0;
  if (!wantGone && std::strcmp(command, "find") != 0) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    HWND w = Find(cls, title);
    if (w != nullptr && !wantGone) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      std::printf("found window \"%s\" of class \"%s\" (process %lu, %s)\n", title, cls, pid,
                  IsWindowVisible(w) ? "visible" : "hidden");
      return 0;
    }
    if (w == nullptr && wantGone) {
      std::printf("no window \"%s\" of class \"%s\" any more\n", title, cls);
      return 0;
    }
    if (GetTickCount() - start >= waitMs) break;
    Sleep(50);
  }
  std::printf(wantGone ? "window \"%s\" of class \"%s\" is still there\n" : "no window \"%s\" of class \"%s\"\n", title,
              cls);
  return 1;
}
