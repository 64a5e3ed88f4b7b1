#include "menu/commands.h"

#include <shellapi.h>

#include "config/install_paths.h"
#include "config/install_report.h"
#include "base/program_identity.h"
#include "config/suite_dirs.h"
#include "config/visa_settings.h"
#include "base/bounded_text.h"
#include "menu/command_ids.h"
#include "menu/installed_files.h"
#include "menu/rm_signals.h"

namespace {

constexpr char kPdfMessage[] =
    "The application was unable to display the %s.  This document is in PDF format.  Make sure that the "
    "Ombrix Suite manuals are installed and the Adobe Acrobat Reader is installed and operational. Get the "
    "Adobe Acrobat Reader at https://get.adobe.com/reader/.";
constexpr char kHelpMessage[] =
    "The application was unable to display the %s.  This Help file is in compiled HTML (.chm) format.  Make "
    "sure that the Windows Help Viewer is operational. You may need to reinstall Korvane Ombrix Suite.";
constexpr char kHtmlMessage[] =
    "The application was unable to display the %s.  This document is in HTML format.  Make sure that Internet "
    "Explorer is operational. You may need to reinstall Korvane Ombrix Suite.";

constexpr int kShowNormal = SW_SHOW;  // 5
static_assert(kShowNormal == 5);
// Warning icon, OK button.
constexpr UINT kDocumentBoxStyle = MB_ICONWARNING | MB_OK;
static_assert(kDocumentBoxStyle == 48);
// Yes/no, warning icon, "no" as the default button, above every other window.
constexpr UINT kExitStyle = MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2 | MB_TOPMOST;
static_assert(kExitStyle == 0x40134);

// Results up to 32 are the shell's errors.
constexpr INT_PTR kLastShellError = 32;

INT_PTR OpenDocument(HWND owner, const char* dir, const char* relativePath, const char* title,
                     const char* messageFormat) {
  char path[MAX_PATH];
  // A path too long to hold cannot name the document: it counts as not found.
  INT_PTR result = SE_ERR_FNF;
  if (JoinInstallPath(path, dir, relativePath)) {
    result = reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", path, nullptr, nullptr, kShowNormal));
  }
  if (result > kLastShellError) return result;
  char message[2048];
  FormatBounded(message, sizeof message, messageFormat, title);
  return MessageBoxA(owner, message, kMessageBoxCaption, kDocumentBoxStyle);
}

// Starts a tool; whether it started is not examined. A null dir: the shell finds the file.
void StartTool(HWND window, const char* (*dir)(), const char* file, const char* parameters = nullptr) {
  char path[MAX_PATH];
  if (dir != nullptr && !JoinInstallPath(path, dir(), file)) return;
  ShellExecuteA(window, "open", dir != nullptr ? path : file, parameters, nullptr, kShowNormal);
}

struct ToolCommand {
  UINT id;
  const char* (*dir)();
  const char* file;
  const char* parameters;
};
constexpr ToolCommand kTools[] = {
    {1030, GetVisaDir64, "\\win64\\kvvisa\\ss.exe", nullptr},
    {kEventViewerCommand, nullptr, "eventvwr.exe", nullptr},
    {1058, GetVisaDir32, "\\winnt\\kvvisa\\resfind32.exe", "-p"},
    {1066, GetSuiteDir, "\\Quickprobe.exe", nullptr},
    {1071, GetSuiteDir, "\\Sightline.exe", nullptr},
    {1072, GetSuiteDir, "\\Lanprobe.exe", nullptr},
    {1074, GetVisaDir64, "\\win64\\kvvisa\\resfind64.exe", "-p"},
};

// The titles name each document in its box; they differ from the menu's labels.
struct DocumentCommand {
  UINT id;
  INT_PTR (*open)(HWND owner, const char* relativePath, const char* title);
  const char* relativePath;
  const char* title;
};
constexpr DocumentCommand kDocuments[] = {
    {1035, OpenHtmlDocument, "\\readme.htm", "Korvane Ombrix Suite Readme"},
    {1036, OpenPdfDocument, "\\manuals\\tril.pdf", "Korvane TRIL Users Guide"},
    {1037, OpenPdfDocument, "\\manuals\\visa.pdf", "Korvane VISA Users Guide"},
    {1038, OpenHelpFile, "\\LXI_C_APIs.chm", "LXI C API Help"},
    {1039, OpenHelpFile, "\\tril.chm", "Korvane TRIL Help"},
    {1040, OpenHelpFile, "\\visa.chm", "Korvane VISA Help"},
    {1043, OpenHelpFile, "\\Sightline.chm", "Sightline Help"},
    {1044, OpenHelpFile, "\\Quickprobe.chm", "Quickprobe Help"},
    {1045, OpenHelpFile, "\\TroubleshootingGuide.chm", "Trouble Shooting Guide"},
    {1046, OpenHelpFile, "\\Lanprobe.chm", "Lanprobe Help"},
    {1047, OpenHelpFile, "\\LxiManagement.chm", "LXI Management Help"},
    {1049, OpenPdfDocument, "\\manuals\\LXI Event and Timing.pdf", "LXI Event and Timing Guide"},
    {1051, OpenPdfDocument, "\\manuals\\M4410.pdf", "Korvane M4410 PCI GPIB Users Guide"},
    {1053, OpenPdfDocument, "\\manuals\\M4417.pdf", "Korvane M4417 USB/GPIB Users Guide"},
    {1054, OpenPdfDocument, "\\manuals\\k6610.pdf", "Korvane K6610 LAN/GPIB Users Guide"},
    {1057, OpenHelpFile, "\\visaCom.chm", "Korvane VISA COM I/O Help"},
    {1061, OpenPdfDocument, "\\manuals\\connectivity_guide.pdf", "Korvane Connectivity Guide"},
    {1062, OpenHelpFile, "\\KLF.chm", "Korvane Ombrix Suite Help"},
    {1068, OpenPdfDocument, "\\manuals\\K6605AFinalVersion.pdf", "Korvane K6605A USB/RS232 Users Guide"},
    {1069, OpenPdfDocument, "\\manuals\\K6613FinalVersion.pdf",
     "Korvane K6613A Networked 5-Port USB Hub Users Guide"},
    {1070, OpenHelpFile, "\\kvn488.chm", "Korvane 488 Help"},
    {1073, OpenPdfDocument, "\\manuals\\M4411.pdf", "Korvane M4411 PCI Express GPIB Users Guide"},
};

bool RunTableCommand(HWND window, UINT id) {
  for (const ToolCommand& tool : kTools) {
    if (tool.id == id) {
      StartTool(window, tool.dir, tool.file, tool.parameters);
      return true;
    }
  }
  for (const DocumentCommand& document : kDocuments) {
    if (document.id == id) {
      document.open(window, document.relativePath, document.title);
      return true;
    }
  }
  return false;
}

}  // namespace

INT_PTR OpenPdfDocument(HWND owner, const char* relativePath, const char* title) {
  return OpenDocument(owner, GetBaseDir32(), relativePath, title, kPdfMessage);
}
INT_PTR OpenHelpFile(HWND owner, const char* relativePath, const char* title) {
  return OpenDocument(owner, GetSuiteDir(), relativePath, title, kHelpMessage);
}
INT_PTR OpenHtmlDocument(HWND owner, const char* relativePath, const char* title) {
  return OpenDocument(owner, GetSuiteDir(), relativePath, title, kHtmlMessage);
}

int ConfirmExit(HWND owner) { return MessageBoxA(owner, kExitQuestion, kMessageBoxCaption, kExitStyle); }

void StartConnectionTool(HWND window) {
  if (IsFileInstalled(GetSuiteDir(), kConnectionToolFile)) StartTool(window, GetSuiteDir, kConnectionToolFile);
}

void RunTrayCommand(HWND window, UINT id) {
  if (RunTableCommand(window, id)) return;
  switch (id) {
    case kExitCommand:
      // The window's end ends the program (its WM_DESTROY quits the loop).
      if (ConfirmExit(window) == IDYES) DestroyWindow(window);
      break;
    case kEditResourcesCommand:
      SignalEditRM();
      break;
    case kRefreshResourcesCommand:
      if (ConfirmVxiReset(window) == IDYES) SignalRefreshRM();
      break;
    case kAboutCommand:
      ShowAboutBox(window);
      break;
    case kLoggingOffCommand:
      SetVisaLogging(0);
      break;
    case kLoggingEventViewerCommand:
      SetVisaLogging(2);
      break;
    case kLoggingDebugWindowCommand:
      SetVisaLogging(1);
      break;
    case kHideResourceManagerCommand:
      ToggleHideRM();
      break;
    case kLockWaitTrueCommand:
      SetDefaultLockWait(1);
      break;
    case kLockWaitFalseCommand:
      SetDefaultLockWait(0);
      break;
    case kConnectionToolCommand:
      // The connection tool reads the information file, so it is brought up to date first.
      WriteInstallReport();
      StartTool(window, GetSuiteDir, kConnectionToolFile);
      break;
    default:
      break;
  }
}
