// Session identifier layout.
#include "support/id_layout.h"

#include <string_view>

namespace dorv_test {

bool has_id_layout(const std::string& id)
{
    if (id.size() != 36)
        return false;
    for (std::size_t i = 0; i < id.size(); ++i) {
        bool dash_place = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash_place ? id[i] != '-'
                       : std::string_view("0123456789ABCDEF").find(id[i]) == std::string_view::npos)
            return false;
    }
    return true;
}

} // namespace dorv_test
