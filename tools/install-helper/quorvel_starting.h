#pragma once
// Starting the installed Quorvel after an installation, as start_decision.h decides.
#include <string>

#include "tools/install-helper/start_decision.h"

// The facts about this process, its session and its desktop shell.
StartFacts ReadStartFacts();

// Starts exe with the option "-q" the way the plan says and does not wait for it. False
// when it cannot start, and always for a plan that starts nothing.
bool StartQuorvel(const StartPlan& plan, const std::string& exe);
