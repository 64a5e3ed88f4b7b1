#pragma once
// Closing every Quorvel that runs from the installed file, in every session, before the
// installer replaces or removes it: the close request (shell/close_request.h) is set, and
// the installer waits, bounded, for those processes to end.
#include <windows.h>

#include <string>
#include <vector>

#include "tools/install-helper/running_quorvels.h"

struct ClosedQuorvel {
  QuorvelFacts facts;
  QuorvelVerdict verdict = QuorvelVerdict::kOtherFile;
  bool ended = false;
  DWORD exitCode = 0;  // valid when ended
};

struct CloseReport {
  bool fileFound = false;    // the installed file exists (not a first installation)
  bool requestMade = false;  // the close request could be created
  DWORD requestError = 0;    // why not, when it could not
  std::vector<ClosedQuorvel> quorvels;
};

// Asks every Quorvel running from the file at path to close and waits up to timeoutMs for
// all of them to end. One that does not end in time keeps the file in use: the installer
// then treats it as any file in use, and nothing here fails or waits longer.
CloseReport CloseQuorvelsOf(const std::string& path, DWORD timeoutMs);
