// Looking a row up by name in a constant table that ends with a row whose name is null.
#pragma once

#include <string_view>

namespace dorv {

// The first row whose name equals name exactly; nullptr when none does.
template <class Row> const Row* find_named(const Row* rows, std::string_view name)
{
    for (const Row* row = rows; row->name; ++row)
        if (name == row->name)
            return row;
    return nullptr;
}

} // namespace dorv
