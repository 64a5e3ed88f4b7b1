#include "config/visa_status.h"

#include <windows.h>
#include <delayimp.h>

#include <cstring>

#include "base/bounded_text.h"
#include "base/os_class.h"
#include "base/results.h"
#include "config/file_maker.h"
#include "config/suite_dirs.h"
#include "config/visa_settings.h"

// visaConfMgr.dll, imported by ordinal through the delay-load library built from
// visa_conf_mgr.def. Each entry returns a negative status on failure.
extern "C" {
int32_t VisaConfBegin();                // 18
int32_t VisaConfGetCount(int32_t* count);  // 16
int32_t VisaConfDescribe(int32_t index, char* kind16, char* text256, char* text1024, char* name256,
                         char* more1024);  // 12
int32_t VisaConfEnd();                  // 19
}

namespace {

constexpr int32_t kVisaConfUnavailable = -1;

char g_visaList[kVisaListSize][kVisaListEntrySize];

// Stands in for every entry of visaConfMgr.dll that cannot be reached. Called with each
// entry's arguments, which the x64 calling convention lets it ignore.
INT_PTR WINAPI UnavailableVisaConfEntry() { return kVisaConfUnavailable; }

// The delay-load helper raises an exception when the library or an ordinal is missing;
// this hook answers instead. For a library that cannot be loaded it hands back this
// program's own module, which exports nothing, so every entry then fails to resolve and
// comes here again as a missing entry, which is bound to the stand-in above once and for
// all.
FARPROC WINAPI VisaConfFailureHook(unsigned notification, PDelayLoadInfo info) {
  if (info == nullptr || info->szDll == nullptr || lstrcmpiA(info->szDll, "visaConfMgr.dll") != 0) return nullptr;
  if (notification == dliFailLoadLib) return reinterpret_cast<FARPROC>(GetModuleHandleA(nullptr));
  if (notification == dliFailGetProc) return &UnavailableVisaConfEntry;
  return nullptr;
}

struct StatusPair {
  const char* own;
  const char* other;
};

// The texts by presence (primary, or any other non-zero value: secondary) and by the
// maker of visa32.dll (the suite, another vendor, or no such file).
StatusPair ChooseStatusTexts(int presence, int maker) {
  if (presence == kVisaPrimary) {
    if (maker == kFileMakerKorvane) return {"The primary VISA library", "Not installed (or overwritten)"};
    if (maker == kFileMakerOther) {
      return {"Operating as secondary (installed as primary but overwritten)", "The primary VISA library"};
    }
    return {"Installed as primary but visa32.dll is missing", "Not installed (or overwritten)"};
  }
  if (maker == kFileMakerKorvane) {
    return {"Operating as primary (installed as secondary)", "Installed as primary but overwritten"};
  }
  if (maker == kFileMakerOther) return {"The secondary VISA library", "The primary VISA library"};
  return {"Installed as secondary but visa32.dll is missing", "Not installed"};
}

}  // namespace

// Declared by <delayimp.h>; defining it here replaces the runtime's empty hook.
PfnDliHook __pfnDliFailureHook2 = VisaConfFailureHook;

void GetVisaStatusTexts(char* ownText, size_t ownSize, char* otherText, size_t otherSize) {
  std::memset(ownText, 0, ownSize);
  std::memset(otherText, 0, otherSize);
  const int presence = GetVisaPresence();
  SetVisaPresent(presence);
  if (presence == kVisaAbsent) return;
  const StatusPair texts = ChooseStatusTexts(presence, CheckSystemFileMaker("visa32.dll", Is64BitOs()));
  CopyBounded(ownText, ownSize, texts.own);
  CopyBounded(otherText, otherSize, texts.other);
}

int32_t ListInstalledVisa64() {
  std::memset(g_visaList, 0, sizeof g_visaList);
  int32_t count = 0;
  if (VisaConfBegin() >= 0 && VisaConfGetCount(&count) >= 0) {
    // Names beyond the list's entries have nowhere to go; those implementations are
    // counted but not described.
    for (int32_t index = 0; index < count && index < kVisaListSize; ++index) {
      char kind[16];
      char text[256];
      char path[1024];
      char name[kVisaListEntrySize];
      char more[1024];
      kind[0] = kind[1] = '\0';
      name[0] = '\0';
      if (VisaConfDescribe(index, kind, text, path, name, more) >= 0) {
        name[kVisaListEntrySize - 1] = '\0';  // the library's text may come unterminated
        CopyBounded(g_visaList[index], kVisaListEntrySize, name);
      }
    }
  }
  IgnoreResult(VisaConfEnd());  // the listing is over either way
  return count < 0 ? 0 : count;
}

const char* GetVisaListEntry(int index) {
  return index >= 0 && index < kVisaListSize ? g_visaList[index] : "";
}
