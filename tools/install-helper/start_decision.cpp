#include "tools/install-helper/start_decision.h"

StartPlan DecideStart(const StartFacts& facts) {
  // A software-distribution tool installs as SYSTEM, usually in session 0: a Quorvel
  // started there would be nobody's, and would hold the machine-wide objects that the
  // users' own Quorvels need.
  if (facts.runsAsSystem) return {StartWay::kNone, "the installation runs as SYSTEM"};
  if (facts.sessionId == 0) return {StartWay::kNone, "the installation runs in session 0, which has no user desktop"};
  // Without the service Quorvel would wait minutes for it at start-up.
  if (!facts.serviceRuns) return {StartWay::kNone, "the suite service does not run"};
  if (facts.shellFound && facts.shellIsSystem)
    return {StartWay::kNone, "the desktop shell of this session runs as SYSTEM"};
  // An elevated Quorvel cannot be reached by the user's unelevated programs, and one of
  // another account is not the logged-on user's: the shell's token is that user's own.
  if (facts.shellFound && (facts.elevated || !facts.shellSameUser)) {
    return {StartWay::kAsShellUser, "as the user of the desktop shell"};
  }
  if (!facts.elevated) return {StartWay::kDirect, "as the installing user"};
  return {StartWay::kNone,
          "the installation runs elevated and no desktop shell of this session gives the user's own rights"};
}
