// The agent's checks as the tests expect to see them offered, taken from the check table
// so that a new check does not mean editing every test that lists them. The texts are
// built here, by the reply format, not by the handlers under test.
#pragma once

#include <string>

namespace dorv_test {

// How many checks the agent offers.
int check_count();

// The pairs of a listchecks reply: "#checkcount=N#" then checkidK, checkdescriptionK and
// availableK=true for each check in table order.
std::string listchecks_pairs();

// The number of pairs in that reply, the keycount of its header less the header's own.
int listchecks_pair_count();

// The check names joined by ", ", as the console lists them in a message.
std::string offered_checks();

} // namespace dorv_test
