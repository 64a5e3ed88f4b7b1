// quorvel_tray_balloon.exe TEXT TITLE TYPE: shows one balloon the way the program does and
// ends when the balloon's thread has ended (after its hold). A second process with a
// balloon, for the tests of the machine-wide order of balloons.
#include <cstdio>
#include <cstdlib>

#include "base/results.h"
#include "base/unique.h"
#include "shell/balloon_tip.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: quorvel_tray_balloon TEXT TITLE TYPE\n");
    return 2;
  }
  const UniqueHandle thread(StartBalloonTip(argv[1], argv[2], std::atoi(argv[3])));
  if (!thread) return 1;
  IgnoreResult(WaitForSingleObject(thread.Get(), INFINITE));
  return 0;
}
