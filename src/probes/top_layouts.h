// Reading top's summary lines whose amounts carry labels ("36M Active, 5256K Inact").
#pragma once

#include <string_view>

#include "probes/memory.h"

namespace dorv {

// Applies one line of a labelled layout to the figures. True when the line is labelled,
// also when no known layout takes its labels (it then sets nothing); false for a line
// that the count rules read.
bool read_labelled_line(std::string_view line, free_figures& figures);

} // namespace dorv
