#include "menu/commands.h"

#include <shellapi.h>

#include "base/bounded_text.h"
#include "base/program_identity.h"
#include "base/results.h"
#include "config/install_paths.h"
#include "config/suite_dirs.h"
#include "menu/installed_files.h"
#include "menu/tray_items.h"

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

void StartTool(HWND window, const TrayRow& tool) {
  char path[MAX_PATH];
  if (tool.folder != nullptr && !JoinInstallPath(path, tool.folder(), tool.file)) return;
  // A tool that does not start gives no message.
  IgnoreResult(ShellExecuteA(window, "open", tool.folder != nullptr ? path : tool.file, tool.parameters, nullptr,
                             kShowNormal));
}

void StartConnectionTool(HWND window) {
  const TrayRow& tool = *FindTrayItem(kConnectionToolCommand);
  if (IsFileInstalled(tool.folder(), tool.file)) StartTool(window, tool);
}

void RunTrayCommand(HWND window, UINT id) {
  const TrayRow* item = FindTrayItem(id);
  if (item != nullptr) item->command(window, *item);
}
