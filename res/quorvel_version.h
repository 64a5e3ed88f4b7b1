// The program's version, shared by the version resource and the code that reports it.
#pragma once

#define QUORVEL_VERSION_BINARY 15, 5, 13009, 1
#define QUORVEL_VERSION_TEXT "15.5.13009.1"
