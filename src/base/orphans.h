// Processes that a child leaves behind outside its process group (a daemon that calls
// setsid) and that outlive it. Where the platform allows (Linux: a child subreaper) this
// process adopts them instead of init, so that they can be found and ended after the
// run; the platform files (orphans_<platform>.cpp) hold the calls, and elsewhere the
// portable file adopts nothing and such a process keeps running.
#pragma once

#include <sys/types.h>

#include <vector>

#include "base/child.h"

namespace dorv {

// Platform: makes this process the adopter of its descendants' orphans; false where the
// platform cannot.
bool become_subreaper();

// Platform: the process ids of this process's children, adopted ones included; none where
// the platform does not tell them.
std::vector<pid_t> child_pids();

// Asks to adopt orphans from now on; false where that is not possible. Only a process that
// starts nothing but its own child_process children (the agent) may ask: from then on
// end_adopted_children takes every other child of it for an orphan.
bool adopt_orphans();

// Kills, with their process groups, and reaps every child of this process that no
// child_process owns, and then what they leave in turn, waiting at most until deadline.
// Does nothing unless adopt_orphans succeeded.
void end_adopted_children(deadline_t deadline);

} // namespace dorv
