#pragma once
// How the program names itself to users: the caption of its message boxes and balloons,
// and the version the installation report gives.

inline constexpr char kMessageBoxCaption[] = "Korvane Quorvel";
inline constexpr char kQuorvelVersion[] = "15.5.13009.1";
