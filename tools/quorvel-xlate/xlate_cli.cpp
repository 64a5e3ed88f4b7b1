#include "tools/quorvel-xlate/xlate_cli.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/unique.h"
#include "trace/xlate/event_translator.h"

namespace quorvel::xlate {
namespace {

constexpr char kUsage[] =
    "Usage: quorvel-xlate [--utf8] FILE...\n"
    "Translates captured trace messages to the XML that Quorvel writes to the trace viewer.\n"
    "\n"
    "Each FILE holds one trace message: the bytes the relay hands to the translator (the\n"
    "event-pipe message without its first 4 bytes: the 76-byte header, the method-enter or\n"
    "method-exit record and its parameter entries). Files are translated in order.\n"
    "\n"
    "Output, by default: each translation as UTF-16LE followed by its 16-bit NUL, exactly the\n"
    "bytes written to the viewer's pipe. A message that yields no text writes nothing.\n"
    "\n"
    "Options:\n"
    "  --utf8     write UTF-8 instead, one message per line\n"
    "  --help     show this text\n"
    "  --         end of options\n"
    "\n"
    "Exit status: 0 when every file was read; 2 when a file could not be read (each one is\n"
    "named on standard error, and the others are still translated) or the command line is wrong.\n";

bool ReadFile(const char* path, std::vector<std::uint8_t>& bytes, std::string& error) {
  const UniqueCFile file(std::fopen(path, "rb"));
  if (!file) {
    error = std::strerror(errno);
    return false;
  }
  bytes.clear();
  std::uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, file.Get())) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  const bool failed = std::ferror(file.Get()) != 0;
  if (failed) error = "read error";
  return !failed;
}

void WriteUtf16Le(std::u16string_view text, std::FILE* out, std::string& bytes) {
  bytes.clear();
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  bytes.append(2, '\0');
  std::fwrite(bytes.data(), 1, bytes.size(), out);
}

void WriteUtf8Line(std::u16string_view text, std::FILE* out, std::string& bytes) {
  bytes.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xE000) {
      const bool pair = c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000;
      c = pair ? 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00u) : 0xFFFD;
    }
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (c >> 18));
      bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  bytes += '\n';
  std::fwrite(bytes.data(), 1, bytes.size(), out);
}

}  // namespace

int RunXlate(int argc, const char* const* argv, std::FILE* out, std::FILE* err, const NarrowCodePage& codePage) {
  bool utf8 = false;
  std::vector<const char*> files;
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (options && arg == "--") {
      options = false;
    } else if (options && (arg == "--help" || arg == "-h")) {
      std::fputs(kUsage, out);
      return kExitOk;
    } else if (options && arg == "--utf8") {
      utf8 = true;
    } else if (options && arg.size() > 1 && arg[0] == '-') {
      std::fprintf(err, "quorvel-xlate: unknown option %s (try --help)\n", argv[i]);
      return kExitUnreadableOrUsage;
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) {
    std::fputs("quorvel-xlate: no FILE given (try --help)\n", err);
    return kExitUnreadableOrUsage;
  }

  EventTranslator translator(codePage);
  std::vector<std::uint8_t> message;
  std::string bytes, error;
  int status = kExitOk;
  for (const char* path : files) {
    if (!ReadFile(path, message, error)) {
      std::fprintf(err, "quorvel-xlate: cannot read %s: %s\n", path, error.c_str());
      status = kExitUnreadableOrUsage;
      continue;
    }
    const auto text = translator.TranslateEvent(message.data(), message.data() + message.size());
    if (!text) continue;
    if (utf8) {
      WriteUtf8Line(*text, out, bytes);
    } else {
      WriteUtf16Le(*text, out, bytes);
    }
  }
  std::fflush(out);
  return status;
}

}  // namespace quorvel::xlate
