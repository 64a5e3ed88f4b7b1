#include "config/install_report.h"

#include <shlobj.h>

#include <cstdarg>
#include <cstring>

#include "base/bounded_text.h"
#include "base/event_log.h"
#include "base/os_class.h"
#include "base/results.h"
#include "base/unique.h"
#include "config/install_paths.h"
#include "config/service_status_line.h"
#include "config/suite_key.h"
#include "config/visa_status.h"

namespace {

constexpr size_t kPieceSize = 2048;
constexpr size_t kFolderPathSize = 2048;
constexpr char kRule[] = "==============================\r\n";
constexpr char kLegalNotice[] =
    "Copyright (c) Korvane Instruments Inc. All rights reserved. Use is subject to the license terms.";

char g_report[kInstallReportSize];

// Appends pieces to a report buffer, each formatted into a work buffer first. The first
// piece that does not fit whole gives only its complete lines, and ends the report.
class ReportWriter {
 public:
  ReportWriter(char* report, size_t size) : m_report(report), m_size(size) {}

  void Add(const char* format, ...) __attribute__((format(gnu_printf, 2, 3))) {
    if (m_full || m_size == 0) return;
    char piece[kPieceSize];
    va_list args;
    va_start(args, format);
    FormatBoundedV(piece, sizeof piece, format, args);
    va_end(args);
    size_t length = std::strlen(piece);
    const size_t room = m_size - 1 - m_used;
    // A piece that filled the work buffer may itself have been cut.
    if (length > room || length == kPieceSize - 1) {
      length = WholeLines(piece, length < room ? length : room);
      m_full = true;
    }
    std::memcpy(m_report + m_used, piece, length);
    m_used += length;
    m_report[m_used] = '\0';
  }

 private:
  // The length of the longest start of text, at most limit bytes, that ends with "\r\n".
  static size_t WholeLines(const char* text, size_t limit) {
    for (size_t end = limit; end >= 2; --end) {
      if (text[end - 2] == '\r' && text[end - 1] == '\n') return end;
    }
    return 0;
  }

  char* m_report;
  size_t m_size;
  size_t m_used = 0;
  bool m_full = false;
};

void AddVisa64Block(ReportWriter& out) {
  out.Add("%s", kRule);
  const int count = ListInstalledVisa64();
  out.Add("64-bit VISA information (%d installed):\r\n", count);
  for (int index = 0; index < count && index < kVisaListSize; ++index) out.Add("   %s\r\n", GetVisaListEntry(index));
  if (count > kVisaListSize) out.Add("   (%d more not listed)\r\n", count - kVisaListSize);
  out.Add("\r\n");
  out.Add("64-bit Ombrix Path:\r\n   %s\r\n", GetLongBaseDir());
  out.Add("64-bit IVI Components Path:\r\n   %s\r\n", GetIviRootDir());
  out.Add("64-bit VISA Path:\r\n   %s\r\n", GetLongVxipnpPath());
  out.Add("\r\n");
}

}  // namespace

char* ComposeInstallReport(char* report, size_t size) {
  char own[kVisaStatusTextSize];
  char other[kVisaStatusTextSize];
  GetVisaStatusTexts(own, sizeof own, other, sizeof other);
  std::memset(report, 0, size);

  ReportWriter out(report, size);
  const char* statusLine = ServiceStatusLine();
  if (statusLine[0] != '\0') out.Add("%s\r\n\r\n", statusLine);
  out.Add("Ombrix Version:\t%s\r\nQuorvel Version:\t%s\r\n%s\r\n\r\n", GetSuiteVersionText(), kQuorvelVersion,
          kLegalNotice);
  out.Add("This software is installed on a %d-bit operating system.\r\n\r\n", Is64BitOs() ? 64 : 32);
  if (Is64BitOs()) AddVisa64Block(out);
  out.Add("%s", kRule);
  out.Add("32-bit VISA Information:\r\n   Korvane VISA:\t%s\r\n   Non-Korvane VISA:\t%s\r\n", own, other);
  out.Add("\r\n");
  out.Add("32-bit Ombrix Path:\r\n   %s\r\n", GetBaseDir32());
  out.Add("32-bit IVI Components Path:\r\n   %s\r\n", GetIviRootDir32());
  out.Add("32-bit VISA Path:\r\n   %s\r\n", GetVxipnpPath32());
  out.Add("\r\n");
  out.Add("%s", kRule);
  out.Add("Registry Path:\r\n   HKLM\\%s\r\n", GetSuiteKeyPath());
  out.Add("\r\n");
  return report;
}

const char* WriteInstallReport() {
  ComposeInstallReport(g_report, sizeof g_report);

  char path[kFolderPathSize] = {};
  // Not examined: without the folder the path starts at the current drive's root, and a
  // file that cannot be created there is skipped like any other.
  IgnoreResult(SHGetFolderPathA(nullptr, CSIDL_COMMON_APPDATA, nullptr, 0, path));
  const size_t folderLength = std::strlen(path);
  CopyBounded(path + folderLength, sizeof path - folderLength,
              "\\Korvane\\Korvane Ombrix\\Korvane Ombrix Information.txt");

  char line[kFolderPathSize + 64];
  FormatBounded(line, sizeof line, "Writing OMBX 'About' box information to '%s'", path);
  WriteEventLog(line);

  const UniqueFile file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return g_report;
  DWORD written = 0;
  // A report that cannot be written is not reported; the box shows it all the same.
  IgnoreResult(WriteFile(file.Get(), g_report, static_cast<DWORD>(std::strlen(g_report)), &written, nullptr));
  return g_report;
}

void ShowAboutBox(HWND owner) {
  const char* text = WriteInstallReport();
  const UINT icon = ServiceStatusLine()[0] != '\0' ? MB_ICONEXCLAMATION : MB_ICONINFORMATION;
  IgnoreResult(MessageBoxA(owner, text, kAboutBoxCaption, MB_OK | icon));  // OK is the only answer
}
