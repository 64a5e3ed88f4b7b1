#pragma once
// The program's one window. It is never shown: it owns the notification-area icon, lets
// other processes find the running instance by class and title, and receives the
// messages they post.
#include <windows.h>

// The program's module instance, kept for loading its icons.
void SetProgramInstance(HINSTANCE instance);
HINSTANCE GetProgramInstance();

// Registers the window class; false when the system refuses it.
bool RegisterMainWindowClass(HINSTANCE instance);
// Creates the hidden window (null on failure), lets the program's own messages from other
// processes through its message filter and remembers it as the main window.
HWND CreateMainWindow(HINSTANCE instance);
HWND GetMainWindow();

// Registers "TaskbarCreated", which the shell broadcasts when the taskbar is recreated.
// Called before the window is created, whose message filter lets it through.
void RegisterTaskbarCreatedMessage();

// What the end of the session runs, after the window is gone and before the window
// procedure returns from WM_ENDSESSION: the program's shut-down, given context.
using SessionEndAction = void (*)(void* context);
void SetSessionEndAction(SessionEndAction action, void* context);

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
