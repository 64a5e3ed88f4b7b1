#include <cstdio>

#include "tools/quorvel-xlate/xlate_cli.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include "trace/xlate/event_translator_win32.h"
#endif

int main(int argc, char** argv) {
#ifdef _WIN32
  // The output is bytes, UTF-16 above all: no line-end translation.
  _setmode(_fileno(stdout), _O_BINARY);
  const auto& codePage = quorvel::xlate::AnsiCodePage();
#else
  const auto& codePage = quorvel::xlate::Windows1252CodePage();
#endif
  return quorvel::xlate::RunXlate(argc, argv, stdout, stderr, codePage);
}
