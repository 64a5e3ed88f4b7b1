#include "config/gpib_watch.h"

#include "config/file_maker.h"
#include "config/suite_values.h"
#include "base/os_class.h"

namespace {

constexpr char kGpibFile[] = "gpib-32.dll";

bool ExpectsSuiteLibrary(int status) { return status == 1 || status == 4; }

// A folder whose status could not be set to 2 after its warning (the suite key cannot be
// opened for writing) would be reported again at every message. The replacement is
// remembered here instead, for as long as the check keeps finding it; once the folder
// holds something else, or its status changes, a new replacement warns again.
struct Reported {
  bool native = false;
  bool wow = false;
};
Reported reported;

}  // namespace

void Check488Library(BalloonStarter startBalloon) {
  // The version resource is read only where the suite's library is expected: the check
  // runs before every message, and a file read costs about a millisecond, which would
  // delay every message of the loop.
  const bool foundNative = ExpectsSuiteLibrary(GetGpib32Status()) &&
                           CheckSystemFileMaker(kGpibFile, false) == kFileMakerOther;
  if (!foundNative) reported.native = false;
  const bool replacedNative = foundNative && !reported.native;

  bool replacedWow = false;
  if (Is64BitOs()) {
    const bool foundWow = ExpectsSuiteLibrary(GetGpib32StatusWow64()) &&
                          CheckSystemFileMaker(kGpibFile, true) == kFileMakerOther;
    if (!foundWow) reported.wow = false;
    replacedWow = foundWow && !reported.wow;
  }

  // The warning flag silences a SysWOW64 replacement only; it is not read otherwise.
  const bool warningDue = replacedNative || (replacedWow && GetKorvane488Warning() == 0);
  if (!warningDue) return;

  startBalloon(k488WarningText, k488WarningTitle, k488WarningBalloonType);
  if (replacedNative && !SetGpib32Status(2)) reported.native = true;
  if (replacedWow && !SetGpib32StatusWow64(2)) reported.wow = true;
  SetKorvane488Enabled(0);
}
