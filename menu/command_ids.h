#pragma once
// The tray menu's command identifiers that code refers to by name. The identifiers of the
// tools and documents stand in the tables of the menu and of the commands; both tables
// use the same numbers.
#include <windows.h>

inline constexpr UINT kExitCommand = 1026;
inline constexpr UINT kEditResourcesCommand = 1027;
inline constexpr UINT kRefreshResourcesCommand = 1028;
inline constexpr UINT kAboutCommand = 1029;
inline constexpr UINT kEventViewerCommand = 1031;
inline constexpr UINT kLoggingOffCommand = 1032;
inline constexpr UINT kLoggingEventViewerCommand = 1033;
inline constexpr UINT kLoggingDebugWindowCommand = 1034;
inline constexpr UINT kHideResourceManagerCommand = 1042;
inline constexpr UINT kLockWaitTrueCommand = 1055;
inline constexpr UINT kLockWaitFalseCommand = 1056;
inline constexpr UINT kConnectionToolCommand = 1059;

// The connection tool, under the suite directory.
inline constexpr char kConnectionToolFile[] = "\\KorvaneLinkfinder.exe";
