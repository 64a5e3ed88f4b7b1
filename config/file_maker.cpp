#include "config/file_maker.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "base/bounded_text.h"

namespace {

constexpr WORD kUsEnglish = 1033;
constexpr size_t kCompanySize = 100;
constexpr size_t kFolderSize = 300;

struct Translation {
  WORD language;
  WORD codePage;
};

}  // namespace

FileMaker CheckFileMaker(const char* path) {
  const DWORD size = GetFileVersionInfoSizeA(path, nullptr);
  if (size == 0) return kFileMakerNoResource;
  // One spare byte: the resource's last string is then always terminated.
  auto data = std::make_unique<char[]>(size + 1);
  if (!GetFileVersionInfoA(path, 0, size + 1, data.get())) return kFileMakerFailed;

  void* pairs = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.get(), "\\VarFileInfo\\Translation", &pairs, &length)) length = 0;
  const auto* translations = static_cast<const Translation*>(pairs);

  char company[kCompanySize] = {};
  for (UINT i = 0; i < length / sizeof(Translation); ++i) {
    if (translations[i].language != kUsEnglish) continue;
    char query[64];
    FormatBounded(query, sizeof query, "\\StringFileInfo\\%04x%04x\\CompanyName", translations[i].language,
                  translations[i].codePage);
    void* text = nullptr;
    UINT textLength = 0;
    if (VerQueryValueA(data.get(), query, &text, &textLength) && text != nullptr) {
      CopyBounded(company, sizeof company, static_cast<const char*>(text));
    }
  }
  return strstr(company, "Korvane") != nullptr ? kFileMakerKorvane : kFileMakerOther;
}

FileMaker CheckSystemFileMaker(const char* fileName, bool useWow64Folder) {
  char path[kFolderSize] = {};
  const UINT length = useWow64Folder ? GetSystemWow64DirectoryA(path, sizeof path)
                                     : GetSystemDirectoryA(path, sizeof path);
  // A folder too long for the buffer is reported by its length, not written.
  if (length == 0 || length >= sizeof path) return kFileMakerFailed;
  FormatBounded(path + length, sizeof path - length, "\\%s", fileName);
  return CheckFileMaker(path);
}
