#include "config/gpib_watch.h"

#include "base/os_class.h"
#include "base/results.h"
#include "base/unique.h"
#include "config/file_maker.h"
#include "config/suite_values.h"

namespace {

constexpr char kGpibFile[] = "gpib-32.dll";

bool ExpectsSuiteLibrary(int status) { return status == kGpib32Suite || status == kGpib32SuiteAlso; }

// A folder whose status could not be set to 2 after its warning (the suite key cannot be
// opened for writing) would be reported again at every message. The replacement is
// remembered here instead, for as long as the check keeps finding it; once the folder
// holds something else, or its status changes, a new replacement warns again.
struct Reported {
  bool native = false;
  bool wow = false;
};
Reported g_reported;

}  // namespace

void Check488Library(BalloonStarter startBalloon) {
  // The version resource is read only where the suite's library is expected: the check
  // runs before every message, and a file read costs about a millisecond, which would
  // delay every message of the loop.
  const bool foundNative = ExpectsSuiteLibrary(GetGpib32Status()) &&
                           CheckSystemFileMaker(kGpibFile, false) == kFileMakerOther;
  if (!foundNative) g_reported.native = false;
  const bool replacedNative = foundNative && !g_reported.native;

  bool replacedWow = false;
  if (Is64BitOs()) {
    const bool foundWow = ExpectsSuiteLibrary(GetGpib32StatusWow64()) &&
                          CheckSystemFileMaker(kGpibFile, true) == kFileMakerOther;
    if (!foundWow) g_reported.wow = false;
    replacedWow = foundWow && !g_reported.wow;
  }

  // The warning flag silences a SysWOW64 replacement only; it is not read otherwise.
  const bool warningDue = replacedNative || (replacedWow && GetKorvane488Warning() == 0);
  if (!warningDue) return;

  // The balloon's thread runs on by itself; its handle is not kept.
  const UniqueHandle balloonThread(startBalloon(k488WarningText, k488WarningTitle, k488WarningBalloonType));
  if (replacedNative && !SetGpib32Status(kGpib32Replaced)) g_reported.native = true;
  if (replacedWow && !SetGpib32StatusWow64(kGpib32Replaced)) g_reported.wow = true;
  // Like the status above, a flag that cannot be stored is not reported.
  IgnoreResult(SetKorvane488Enabled(0));
}
