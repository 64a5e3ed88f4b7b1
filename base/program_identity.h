#pragma once
// How the program names itself to users: the caption of its message boxes and balloons,
// and the version the installation report gives.
#include "res/quorvel_version.h"

inline constexpr char kMessageBoxCaption[] = "Korvane Quorvel";
inline constexpr char kQuorvelVersion[] = QUORVEL_VERSION_TEXT;
