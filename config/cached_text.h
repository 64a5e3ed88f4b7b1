#pragma once
// A registry text read on first use and kept for the life of the process. Plain data, so
// that a cache at file scope is constant-initialised and ready for readers called from
// static initialisers.
#include "config/suite_key.h"

struct CachedText {
  char text[kSuiteTextSize];
  bool computed;
};
