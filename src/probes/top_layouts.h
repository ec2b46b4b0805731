// Reading top's summary lines whose amounts carry labels ("36M Active, 5256K Inact").
#pragma once

#include <string_view>

#include "probes/free_figures.h"

namespace dorv {

// Which figures a summary line of top speaks of, by how it begins: "Memory:" both, "Mem:"
// and procps' "KiB Mem :" RAM, "Swap:" and "KiB Swap:" swap, any other line neither.
struct line_subject {
    bool ram = false;
    bool swap = false;
};
line_subject subject_of(std::string_view line);

// Applies one line of a labelled layout to the figures. True when the line is labelled,
// also when no known layout takes its labels (it then sets nothing); false for a line
// that the count rules read.
bool read_labelled_line(std::string_view line, free_figures& figures);

} // namespace dorv
