#pragma once
// The main window's identity and the message numbers other processes post to it. The
// numbers are fixed: second instances, the trace relay and other suite programs use them.
#include <windows.h>

#include "base/program_identity.h"

inline constexpr char kMainWindowClass[] = "BW_Halvoric_Class";
inline constexpr char kMainWindowTitle[] = "BW_Halvoric_Wnd";

inline constexpr UINT WM_TRAY_NOTIFY = 1024;
inline constexpr UINT WM_VXI_RM_REFRESH_NOW = 1025;
inline constexpr UINT WM_USER_SHOW_ICON = 1026;
inline constexpr UINT WM_VXI_RM_EDIT = 1063;
inline constexpr UINT WM_VXI_RM_REFRESH = 1064;
inline constexpr UINT WM_VXI_RM_HIDE = 1065;

// The icon update timer: re-applies the icon state and keeps the message loop turning.
inline constexpr UINT_PTR kIconTimerId = 1;
inline constexpr UINT kIconTimerPeriodMs = 5000;
