#include "menu/tray_items.h"

#include "base/results.h"
#include "config/install_paths.h"
#include "config/install_report.h"
#include "config/suite_dirs.h"
#include "config/suite_values.h"
#include "config/visa_settings.h"
#include "menu/commands.h"
#include "menu/rm_signals.h"

namespace {

using M = TrayMenuName;
using C = TrayCondition;

// The commands that are more than one call. Results that only the user sees (a box, a
// signal the K7302 software may not be there to receive) are not examined further.
void ExitOnConfirm(HWND window, const TrayRow&) {
  // The window's end ends the program (its WM_DESTROY quits the loop).
  if (ConfirmExit(window) == IDYES) IgnoreResult(DestroyWindow(window));
}
void RefreshOnConfirm(HWND window, const TrayRow&) {
  if (ConfirmVxiReset(window) == IDYES) IgnoreResult(SignalRefreshRM());
}
void WriteReportAndStartTool(HWND window, const TrayRow& tool) {
  // The connection tool reads the information file, so it is brought up to date first.
  IgnoreResult(WriteInstallReport());
  StartTool(window, tool);
}
// A document that does not open has told the user in its box already.
void OpenPdf(HWND window, const TrayRow& doc) { IgnoreResult(OpenPdfDocument(window, doc.OpenedFile(), doc.title)); }
void OpenHelp(HWND window, const TrayRow& doc) { IgnoreResult(OpenHelpFile(window, doc.OpenedFile(), doc.title)); }
void OpenHtml(HWND window, const TrayRow& doc) { IgnoreResult(OpenHtmlDocument(window, doc.OpenedFile(), doc.title)); }

constexpr TrayRow Submenu(M menu, M opens, const char* label, C condition = C::Always, int (*setting)() = nullptr) {
  return {.kind = TrayRowKind::Submenu, .menu = menu, .label = label, .condition = condition, .opens = opens,
          .setting = setting};
}
constexpr TrayRow Separator(M menu, C condition = C::Always) {
  return {.kind = TrayRowKind::Separator, .menu = menu, .condition = condition};
}
constexpr TrayRow Action(M menu, UINT id, const char* label, TrayCommand command) {
  return {.menu = menu, .id = id, .label = label, .command = command};
}
// An item of a radio-like submenu: checked by the setting its submenu reads.
constexpr TrayRow Choice(M menu, UINT id, const char* label, TrayMark mark, int value, TrayCommand command) {
  return {.menu = menu, .id = id, .label = label, .command = command, .mark = mark, .markValue = value};
}
constexpr TrayRow Tool(M menu, UINT id, const char* label, const char* (*folder)(), const char* file,
                       C condition = C::Installed, const char* parameters = nullptr) {
  return {.menu = menu, .id = id, .label = label, .condition = condition, .folder = folder, .file = file,
          .parameters = parameters, .command = StartTool};
}
// Documents are offered from the folder their opening function opens them in: PDF manuals
// from the 32-bit view's suite directory, help files and the readme from the suite directory.
constexpr TrayRow Document(M menu, UINT id, const char* label, const char* (*folder)(), const char* file,
                           const char* title, TrayCommand open, const char* openAs = nullptr) {
  return {.menu = menu, .id = id, .label = label, .condition = C::Installed, .folder = folder, .file = file,
          .openAs = openAs, .title = title, .command = open};
}
constexpr TrayRow Pdf(M menu, UINT id, const char* label, const char* file, const char* title) {
  return Document(menu, id, label, GetBaseDir32, file, title, OpenPdf);
}
constexpr TrayRow Help(UINT id, const char* label, const char* file, const char* title, const char* openAs = nullptr) {
  return Document(M::HelpTopics, id, label, GetSuiteDir, file, title, OpenHelp, openAs);
}

// The titles name each document in its warning box; they differ from the labels.
constexpr TrayRow kRows[] = {
    {.kind = TrayRowKind::StatusLine, .condition = C::HasStatusLine},
    Separator(M::Popup, C::BetweenItems),
    {.id = kConnectionToolCommand, .label = "Korvane &Linkfinder", .condition = C::Installed, .folder = GetSuiteDir,
     .file = "\\KorvaneLinkfinder.exe", .command = WriteReportAndStartTool, .isDefault = true},
    Submenu(M::Popup, M::Utilities, "Utilities"),
    Separator(M::Popup),
    Submenu(M::Popup, M::VisaOptions, "Korvane VISA &Options", C::VisaPresent),
    Submenu(M::Popup, M::Documentation, "&Documentation"),
    Submenu(M::Popup, M::HelpTopics, "Help Topics"),
    Separator(M::Popup),
    Action(M::Popup, 1026, "E&xit Korvane Quorvel", ExitOnConfirm),
    Separator(M::Popup),
    Action(M::Popup, 1029, "&About Korvane Quorvel", [](HWND window, const TrayRow&) { ShowAboutBox(window); }),

    // The event viewer has no folder: the shell finds it.
    {.menu = M::Utilities, .id = 1031, .label = "Event &Viewer", .otherLabel = "Message &Viewer",
     .file = "eventvwr.exe", .command = StartTool},
    Tool(M::Utilities, 1066, "&Quickprobe", GetSuiteDir, "\\Quickprobe.exe"),
    Tool(M::Utilities, 1072, "&Lanprobe", GetSuiteDir, "\\Lanprobe.exe"),
    Tool(M::Utilities, 1071, "&Sightline", GetSuiteDir, "\\Sightline.exe"),
    Tool(M::Utilities, 1058, "&ResFind32 (debug utility)", GetVisaDir32, "\\winnt\\kvvisa\\resfind32.exe",
         C::VisaInstalled, "-p"),
    Tool(M::Utilities, 1074, "ResFind&64 (debug utility)", GetVisaDir64, "\\win64\\kvvisa\\resfind64.exe",
         C::VisaInstalled, "-p"),
    Tool(M::Utilities, 1030, "&Sessionist", GetVisaDir64, "\\win64\\kvvisa\\ss.exe", C::VisaInstalled),
    Submenu(M::Utilities, M::VxiResourceManager, "VXI &Resource Manager", C::K7302Present, IsRmDialogHidden),

    Action(M::VxiResourceManager, 1027, "Edit Resources", [](HWND, const TrayRow&) { IgnoreResult(SignalEditRM()); }),
    Choice(M::VxiResourceManager, 1042, "Hide Resource Manager", TrayMark::WhenNonZero, 0,
           [](HWND, const TrayRow&) { IgnoreResult(ToggleHideRM()); }),
    Action(M::VxiResourceManager, 1028, "Refresh Resources", RefreshOnConfirm),

    Submenu(M::VisaOptions, M::LockWait, "Default VISA LockWait", C::Always, GetDefaultLockWait),
    Submenu(M::VisaOptions, M::VisaLogging, "VISA Logging", C::Always, GetVisaLogging),
    Choice(M::LockWait, 1056, "False", TrayMark::WhenEquals, kLockWaitFalse,
           [](HWND, const TrayRow&) { SetDefaultLockWait(kLockWaitFalse); }),
    Choice(M::LockWait, 1055, "True", TrayMark::Otherwise, 0,
           [](HWND, const TrayRow&) { SetDefaultLockWait(kLockWaitTrue); }),
    Choice(M::VisaLogging, 1034, "Debug Window", TrayMark::WhenEquals, kVisaLoggingOds,
           [](HWND, const TrayRow&) { SetVisaLogging(kVisaLoggingOds); }),
    {.menu = M::VisaLogging, .id = 1033, .label = "Event Viewer", .otherLabel = "Message Viewer",
     .command = [](HWND, const TrayRow&) { SetVisaLogging(kVisaLoggingTril); }, .mark = TrayMark::WhenEquals,
     .markValue = kVisaLoggingTril},
    Choice(M::VisaLogging, 1032, "Off", TrayMark::Otherwise, 0,
           [](HWND, const TrayRow&) { SetVisaLogging(kVisaLoggingOff); }),

    Pdf(M::Documentation, 1061, "Connectivity Guide", "\\manuals\\connectivity_guide.pdf",
        "Korvane Connectivity Guide"),
    Submenu(M::Documentation, M::InterfaceManuals, "&Interface Manuals"),
    Pdf(M::Documentation, 1049, "LXI Event and Timing Guide", "\\manuals\\LXI Event and Timing.pdf",
        "LXI Event and Timing Guide"),
    Pdf(M::Documentation, 1036, "TRIL Users Guide", "\\manuals\\tril.pdf", "Korvane TRIL Users Guide"),
    Pdf(M::Documentation, 1037, "VISA Users Guide", "\\manuals\\visa.pdf", "Korvane VISA Users Guide"),
    // The separator parts the guides from the readme, so it comes only with both.
    Separator(M::Documentation, C::BetweenItems),
    Document(M::Documentation, 1035, "Ombrix Suite Readme", GetSuiteDir, "\\readme.htm",
             "Korvane Ombrix Suite Readme", OpenHtml),

    Pdf(M::InterfaceManuals, 1051, "M4410 PCI GPIB Users Guide", "\\manuals\\M4410.pdf",
        "Korvane M4410 PCI GPIB Users Guide"),
    Pdf(M::InterfaceManuals, 1073, "M4411 PCI Express GPIB Users Guide", "\\manuals\\M4411.pdf",
        "Korvane M4411 PCI Express GPIB Users Guide"),
    Pdf(M::InterfaceManuals, 1053, "M4417 USB/GPIB Users Guide", "\\manuals\\M4417.pdf",
        "Korvane M4417 USB/GPIB Users Guide"),
    Pdf(M::InterfaceManuals, 1068, "K6605A USB/RS232 Users Guide", "\\manuals\\K6605AFinalVersion.pdf",
        "Korvane K6605A USB/RS232 Users Guide"),
    Pdf(M::InterfaceManuals, 1054, "K6610A LAN/GPIB Users Guide", "\\manuals\\k6610.pdf",
        "Korvane K6610 LAN/GPIB Users Guide"),
    Pdf(M::InterfaceManuals, 1069, "K6613A Networked 5-Port USB Hub Users Guide", "\\manuals\\K6613FinalVersion.pdf",
        "Korvane K6613A Networked 5-Port USB Hub Users Guide"),

    Help(1070, "Korvane 488 Help", "\\kvn488.chm", "Korvane 488 Help"),
    Help(1044, "Quickprobe Help", "\\Quickprobe.chm", "Quickprobe Help"),
    Help(1046, "Lanprobe Help", "\\Lanprobe.chm", "Lanprobe Help"),
    Help(1062, "Ombrix Suite Help", "\\KLF.chm", "Korvane Ombrix Suite Help"),
    Help(1043, "Sightline Help", "\\Sightline.chm", "Sightline Help"),
    Help(1038, "LXI C API Help", "\\LXI_C_APIs.chm", "LXI C API Help"),
    Help(1047, "LXI Management Help", "\\LxiManagement.chm", "LXI Management Help"),
    Help(1039, "TRIL Help", "\\tril.chm", "Korvane TRIL Help"),
    Help(1045, "Troubleshooting Help", "\\TroubleshootingGuide.chm", "Trouble Shooting Guide"),
    Help(1040, "VISA Help", "\\visa.chm", "Korvane VISA Help"),
    // Offered when "visacom.chm" exists, opened as "visaCom.chm": the two spellings differ
    // in letter case on purpose (the file system ignores it; the names stay as installed).
    Help(1057, "VISA COM Help", "\\visacom.chm", "Korvane VISA COM I/O Help", "\\visaCom.chm"),
};

// The table's own rules, checked when it is compiled.
constexpr bool IsItem(const TrayRow& row) { return row.kind == TrayRowKind::Item; }

constexpr bool EveryItemIsComplete() {
  for (const TrayRow& row : kRows) {
    const bool needsFile = row.condition == C::Installed || row.condition == C::VisaInstalled;
    if (needsFile && (row.folder == nullptr || row.file == nullptr)) return false;
    if (row.kind == TrayRowKind::Submenu && (row.label == nullptr || row.opens == row.menu)) return false;
    if (IsItem(row) && (row.id == 0 || row.label == nullptr || row.command == nullptr)) return false;
  }
  return true;
}
static_assert(EveryItemIsComplete(), "an item lacks its identifier, label, command or file");

constexpr bool IdentifiersAreUnique() {
  for (size_t i = 0; i < std::size(kRows); ++i) {
    for (size_t j = i + 1; j < std::size(kRows); ++j) {
      if (IsItem(kRows[i]) && IsItem(kRows[j]) && kRows[i].id == kRows[j].id) return false;
    }
  }
  return true;
}
static_assert(IdentifiersAreUnique(), "two items share an identifier");

}  // namespace

std::span<const TrayRow> TrayRows() { return kRows; }

const TrayRow* FindTrayItem(UINT id) {
  for (const TrayRow& row : kRows) {
    if (IsItem(row) && row.id == id) return &row;
  }
  return nullptr;
}
