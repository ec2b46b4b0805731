// The answer of a run that gave none.
#include "metrics/dorv_families.h"

namespace dorv::families {

std::string unanswered(const metric_labels& labels, double seconds, std::string_view why)
{
    exposition e;
    e.comment(why);
    e.add(up, labels, 0);
    e.add(duration, labels, seconds);
    return e.text();
}

} // namespace dorv::families
