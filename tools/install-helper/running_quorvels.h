#pragma once
// The Quorvel processes that run from one program file, in every session of the machine,
// found by their image file: a Quorvel of another user, of another session or started as
// SYSTEM keeps the file in use just as the installing user's own does.
#include <windows.h>

#include <string>
#include <vector>

#include "base/unique.h"

// What the installer knows about one process whose image is named quorvel.exe.
struct QuorvelFacts {
  DWORD processId = 0;
  DWORD sessionId = 0;
  bool opened = false;    // a handle to wait on could be opened
  bool sameFile = false;  // its image is the installed file (same volume and file index)
};

enum class QuorvelVerdict {
  kWaitFor,      // asked to close; the installation waits for it
  kOtherFile,    // another copy of the program: neither asked nor waited for
  kCannotWatch,  // runs the installed file but cannot be waited on; reported
};

// Whether the installation waits for this process. Sessions and accounts do not count:
// every process running the installed file keeps it in use.
QuorvelVerdict JudgeQuorvel(const QuorvelFacts& facts);

struct RunningQuorvel {
  QuorvelFacts facts;
  UniqueHandle process;  // SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION; null when not opened
};

// Every process named quorvel.exe, with its facts judged against the file whose close
// request name is requestName.
std::vector<RunningQuorvel> FindRunningQuorvels(const std::string& requestName);
