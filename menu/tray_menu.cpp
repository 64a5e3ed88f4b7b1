#include "menu/tray_menu.h"

#include <cstring>
#include <initializer_list>

#include "config/install_paths.h"
#include "config/service_status_line.h"
#include "config/suite_dirs.h"
#include "config/suite_values.h"
#include "config/visa_settings.h"
#include "base/os_class.h"
#include "menu/command_ids.h"
#include "menu/commands.h"
#include "menu/installed_files.h"

namespace {

// Every menu of one build. A submenu that was never attached to a parent is destroyed on
// its own; an attached one goes with its parent.
struct OwnedMenu {
  HMENU handle = nullptr;
  bool attached = false;
};
struct TrayMenus {
  HMENU popup = nullptr;
  OwnedMenu interfaceManuals, documentation, helpTopics, utilities, vxiResourceManager, visaLogging, lockWait,
      visaOptions;
};
TrayMenus g_menus;
bool g_menuShowing = false;

struct FileItem {
  UINT id;
  const char* label;
  const char* file;
};

constexpr FileItem kInterfaceManuals[] = {
    {1051, "M4410 PCI GPIB Users Guide", "\\manuals\\M4410.pdf"},
    {1073, "M4411 PCI Express GPIB Users Guide", "\\manuals\\M4411.pdf"},
    {1053, "M4417 USB/GPIB Users Guide", "\\manuals\\M4417.pdf"},
    {1068, "K6605A USB/RS232 Users Guide", "\\manuals\\K6605AFinalVersion.pdf"},
    {1054, "K6610A LAN/GPIB Users Guide", "\\manuals\\k6610.pdf"},
    {1069, "K6613A Networked 5-Port USB Hub Users Guide", "\\manuals\\K6613FinalVersion.pdf"},
};
constexpr FileItem kGuidesAfterManuals[] = {
    {1049, "LXI Event and Timing Guide", "\\manuals\\LXI Event and Timing.pdf"},
    {1036, "TRIL Users Guide", "\\manuals\\tril.pdf"},
    {1037, "VISA Users Guide", "\\manuals\\visa.pdf"},
};
constexpr char kReadmeFile[] = "\\readme.htm";
constexpr FileItem kHelpTopics[] = {
    {1070, "Korvane 488 Help", "\\kvn488.chm"},
    {1044, "Quickprobe Help", "\\Quickprobe.chm"},
    {1046, "Lanprobe Help", "\\Lanprobe.chm"},
    {1062, "Ombrix Suite Help", "\\KLF.chm"},
    {1043, "Sightline Help", "\\Sightline.chm"},
    {1038, "LXI C API Help", "\\LXI_C_APIs.chm"},
    {1047, "LXI Management Help", "\\LxiManagement.chm"},
    {1039, "TRIL Help", "\\tril.chm"},
    {1045, "Troubleshooting Help", "\\TroubleshootingGuide.chm"},
    {1040, "VISA Help", "\\visa.chm"},
    {1057, "VISA COM Help", "\\visacom.chm"},
};
constexpr FileItem kSuiteTools[] = {
    {1066, "&Quickprobe", "\\Quickprobe.exe"},
    {1072, "&Lanprobe", "\\Lanprobe.exe"},
    {1071, "&Sightline", "\\Sightline.exe"},
};
// The VISA tools, offered only with the suite's own VISA.
constexpr FileItem kVisaTools32[] = {{1058, "&ResFind32 (debug utility)", "\\winnt\\kvvisa\\resfind32.exe"}};
constexpr FileItem kVisaTools64[] = {
    {1074, "ResFind&64 (debug utility)", "\\win64\\kvvisa\\resfind64.exe"},
    {1030, "&Sessionist", "\\win64\\kvvisa\\ss.exe"},
};

// Each of these returns how many items it added; a refused item is left out and not counted.
int AddItem(HMENU menu, UINT id, const char* label, UINT flags = MF_STRING) {
  return AppendMenuA(menu, flags, id, label) ? 1 : 0;
}

template <size_t N>
int AddInstalledItems(HMENU menu, const char* dir, const FileItem (&items)[N]) {
  int count = 0;
  for (const FileItem& item : items) {
    if (IsFileInstalled(dir, item.file)) count += AddItem(menu, item.id, item.label);
  }
  return count;
}

int AttachSubmenu(HMENU parent, OwnedMenu& submenu, const char* label) {
  if (submenu.handle == nullptr) return 0;
  submenu.attached = AppendMenuA(parent, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu.handle), label);
  return submenu.attached ? 1 : 0;
}

void AddSeparator(HMENU menu) { AppendMenuA(menu, MF_SEPARATOR, 0, nullptr); }

// The check mark of the radio-like submenus, set by command identifier.
void CheckByCommand(HMENU menu, UINT id) {
  MENUITEMINFOA info;
  std::memset(&info, 0, sizeof info);
  static_assert(sizeof info == 80);
  info.cbSize = sizeof info;
  info.fMask = MIIM_STATE;
  info.fState = MFS_CHECKED;
  SetMenuItemInfoA(menu, id, FALSE, &info);
}

int BuildInterfaceManuals(HMENU menu) { return AddInstalledItems(menu, GetBaseDir32(), kInterfaceManuals); }

int BuildDocumentation(HMENU menu, int manualCount) {
  constexpr FileItem kConnectivityGuide[] = {{1061, "Connectivity Guide", "\\manuals\\connectivity_guide.pdf"}};
  int count = AddInstalledItems(menu, GetBaseDir32(), kConnectivityGuide);
  if (manualCount > 0) count += AttachSubmenu(menu, g_menus.interfaceManuals, "&Interface Manuals");
  count += AddInstalledItems(menu, GetBaseDir32(), kGuidesAfterManuals);
  // The separator parts the guides from the readme, so it comes only with both.
  if (IsFileInstalled(GetSuiteDir(), kReadmeFile)) {
    if (count > 0) AddSeparator(menu);
    count += AddItem(menu, 1035, "Ombrix Suite Readme");
  }
  return count;
}

void BuildVxiResourceManager(HMENU menu) {
  AddItem(menu, kEditResourcesCommand, "Edit Resources");
  AddItem(menu, kHideResourceManagerCommand, "Hide Resource Manager");
  AddItem(menu, kRefreshResourcesCommand, "Refresh Resources");
  if (IsRmDialogHidden() != 0) CheckMenuItem(menu, kHideResourceManagerCommand, MF_BYCOMMAND | MF_CHECKED);
}

void BuildUtilities(HMENU menu) {
  AddItem(menu, kEventViewerCommand, IsNtFamily() ? "Event &Viewer" : "Message &Viewer");
  AddInstalledItems(menu, GetSuiteDir(), kSuiteTools);
  if (GetVisaPresent() != 0) {
    AddInstalledItems(menu, GetVisaDir32(), kVisaTools32);
    AddInstalledItems(menu, GetVisaDir64(), kVisaTools64);
  }
  if (IsK7302Present()) AttachSubmenu(menu, g_menus.vxiResourceManager, "VXI &Resource Manager");
}

void BuildVisaOptions() {
  HMENU logging = g_menus.visaLogging.handle;
  AddItem(logging, kLoggingDebugWindowCommand, "Debug Window");
  AddItem(logging, kLoggingEventViewerCommand, IsNtFamily() ? "Event Viewer" : "Message Viewer");
  AddItem(logging, kLoggingOffCommand, "Off");
  const int mode = GetVisaLogging();
  CheckByCommand(logging, mode == 1   ? kLoggingDebugWindowCommand
                          : mode == 2 ? kLoggingEventViewerCommand
                                      : kLoggingOffCommand);

  HMENU lockWait = g_menus.lockWait.handle;
  AddItem(lockWait, kLockWaitFalseCommand, "False");
  AddItem(lockWait, kLockWaitTrueCommand, "True");
  CheckByCommand(lockWait, GetDefaultLockWait() == 0 ? kLockWaitFalseCommand : kLockWaitTrueCommand);

  AttachSubmenu(g_menus.visaOptions.handle, g_menus.lockWait, "Default VISA LockWait");
  AttachSubmenu(g_menus.visaOptions.handle, g_menus.visaLogging, "VISA Logging");
}

// The service's status line as the greyed first item; a longer line is cut and ends in
// "..." so that the cut shows. The cut never splits a double-byte character.
void AddStatusLine(HMENU popup, const char* line) {
  char text[kStatusItemLength + 1];
  const size_t length = std::strlen(line);
  if (length <= kStatusItemLength) {
    std::memcpy(text, line, length + 1);
  } else {
    constexpr size_t kKept = kStatusItemLength - 3;
    size_t kept = 0;
    while (kept < kKept) {
      const size_t width = IsDBCSLeadByte(static_cast<BYTE>(line[kept])) ? 2 : 1;
      if (kept + width > kKept) break;
      kept += width;
    }
    std::memcpy(text, line, kept);
    std::memcpy(text + kept, "...", 4);
  }
  AddItem(popup, 0, text, MF_STRING | MF_GRAYED);
  AddSeparator(popup);
}

HMENU BuildPopup() {
  g_menus.popup = CreatePopupMenu();
  for (OwnedMenu* submenu : {&g_menus.interfaceManuals, &g_menus.documentation, &g_menus.helpTopics,
                             &g_menus.utilities, &g_menus.vxiResourceManager}) {
    submenu->handle = CreateMenu();
  }
  const int manualCount = BuildInterfaceManuals(g_menus.interfaceManuals.handle);
  const int documentCount = BuildDocumentation(g_menus.documentation.handle, manualCount);
  const int helpCount = AddInstalledItems(g_menus.helpTopics.handle, GetSuiteDir(), kHelpTopics);
  BuildVxiResourceManager(g_menus.vxiResourceManager.handle);
  BuildUtilities(g_menus.utilities.handle);
  const bool visaPresent = GetVisaPresent() != 0;
  if (visaPresent) {
    for (OwnedMenu* submenu : {&g_menus.visaLogging, &g_menus.lockWait, &g_menus.visaOptions}) {
      submenu->handle = CreateMenu();
    }
    BuildVisaOptions();
  }

  HMENU popup = g_menus.popup;
  const char* statusLine = ServiceStatusLine();
  if (statusLine[0] != '\0') AddStatusLine(popup, statusLine);
  constexpr FileItem kConnectionTool[] = {{kConnectionToolCommand, "Korvane &Linkfinder", kConnectionToolFile}};
  if (AddInstalledItems(popup, GetSuiteDir(), kConnectionTool) > 0) {
    SetMenuDefaultItem(popup, kConnectionToolCommand, FALSE);
  }
  AttachSubmenu(popup, g_menus.utilities, "Utilities");
  AddSeparator(popup);
  if (visaPresent) AttachSubmenu(popup, g_menus.visaOptions, "Korvane VISA &Options");
  if (documentCount > 0) AttachSubmenu(popup, g_menus.documentation, "&Documentation");
  if (helpCount > 0) AttachSubmenu(popup, g_menus.helpTopics, "Help Topics");
  AddSeparator(popup);
  AddItem(popup, kExitCommand, "E&xit Korvane Quorvel");
  AddSeparator(popup);
  AddItem(popup, kAboutCommand, "&About Korvane Quorvel");
  return popup;
}

void DestroyTrayMenus() {
  for (OwnedMenu* submenu : {&g_menus.interfaceManuals, &g_menus.documentation, &g_menus.helpTopics,
                             &g_menus.utilities, &g_menus.vxiResourceManager, &g_menus.visaLogging,
                             &g_menus.lockWait, &g_menus.visaOptions}) {
    if (submenu->handle != nullptr && !submenu->attached) DestroyMenu(submenu->handle);
  }
  if (g_menus.popup != nullptr) DestroyMenu(g_menus.popup);
  g_menus = TrayMenus{};
}

}  // namespace

HMENU BuildTrayMenu(bool build) {
  DestroyTrayMenus();
  return build ? BuildPopup() : nullptr;
}

bool IsK7302Present() {
  SetLastError(ERROR_SUCCESS);
  bool present = false;
  HANDLE event = OpenEventA(SYNCHRONIZE, FALSE, kK7302PresentEventName);
  if (event != nullptr) {
    present = WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
    CloseHandle(event);
  }
  (void)GetLastError();  // an absent event leaves its error; nobody needs it
  return present;
}

void ShowTrayMenu(HWND window) {
  // The menu and its command's boxes run modal loops in which further clicks arrive; a
  // second menu would replace the handles the first one still uses.
  if (g_menuShowing) return;
  g_menuShowing = true;
  HMENU popup = BuildTrayMenu(true);
  POINT cursor{};
  GetCursorPos(&cursor);
  SetForegroundWindow(window);
  constexpr UINT kTrackFlags = TPM_RETURNCMD | TPM_NONOTIFY | TPM_LEFTALIGN | TPM_TOPALIGN;
  static_assert(kTrackFlags == 0x180);
  const UINT command =
      static_cast<UINT>(TrackPopupMenu(popup, kTrackFlags, cursor.x, cursor.y, 0, window, nullptr));
  // The empty message makes the menu go away properly when the user clicks elsewhere.
  PostMessageA(window, WM_NULL, 0, 0);
  RunTrayCommand(window, command);
  BuildTrayMenu(false);
  g_menuShowing = false;
}
