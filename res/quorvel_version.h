// The program's version, shared by the version resource and the code that reports it. The
// numbers come from the build (quorvel_version_numbers.h, made from the project's VERSION).
#pragma once

#include "quorvel_version_numbers.h"

#define QUORVEL_VERSION_BINARY QUORVEL_VERSION_MAJOR, QUORVEL_VERSION_MINOR, QUORVEL_VERSION_PATCH, QUORVEL_VERSION_TWEAK
