#pragma once
// What the tray menu's items do: start a tool, open a manual or a help file, switch a VISA
// setting, signal the K7302 resource manager, show the About box, or exit. Every command
// runs on the main thread after the menu has closed, with the main window as the owner of
// its boxes and shell calls.
#include <windows.h>

struct TrayRow;

// Runs the command of a menu item; 0 and identifiers without a command do nothing.
void RunTrayCommand(HWND window, UINT id);

// Starts the tool of an item: folder() + file, or file found by the shell when the item
// has no folder, with the item's parameters. Whether it started is not examined.
void StartTool(HWND window, const TrayRow& tool);

// The double-click on the icon: starts the connection tool when it is installed, without
// writing the installation report first.
void StartConnectionTool(HWND window);

// Each opens a document (dir + relativePath, where dir is the 32-bit view's suite
// directory for PDF manuals and the suite directory otherwise) with the shell. When the
// shell cannot open it, a warning box names the document by its title. Returns the shell's
// result, or the box's answer when the box was shown.
INT_PTR OpenPdfDocument(HWND owner, const char* relativePath, const char* title);
INT_PTR OpenHelpFile(HWND owner, const char* relativePath, const char* title);
INT_PTR OpenHtmlDocument(HWND owner, const char* relativePath, const char* title);

inline constexpr char kExitQuestion[] = "\nDo You Wish To exit the Korvane Quorvel?\n";

// Asks whether to exit; the box's answer (IDYES is 6).
int ConfirmExit(HWND owner);
