// The offered checks, from the check table.
#include "support/check_list.h"

#include "checks/built_in.h"

namespace dorv_test {

int check_count()
{
    int n = 0;
    while (dorv::checks[n].name)
        ++n;
    return n;
}

std::string listchecks_pairs()
{
    std::string out = "#checkcount=" + std::to_string(check_count()) + "#";
    for (int i = 0; i < check_count(); ++i) {
        std::string k = std::to_string(i + 1);
        out += "checkid" + k + "=" + dorv::checks[i].name + "#";
        out += "checkdescription" + k + "=" + dorv::checks[i].desc + "#";
        out += "available" + k + "=true#";
    }
    return out;
}

int listchecks_pair_count()
{
    return 1 + 3 * check_count();
}

std::string offered_checks()
{
    std::string out;
    for (int i = 0; i < check_count(); ++i)
        out += (i ? ", " : "") + std::string(dorv::checks[i].name);
    return out;
}

} // namespace dorv_test
