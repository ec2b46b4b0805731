// Parameter array operations.
#include "protocol/param_array.h"

#include "base/exit_causes.h"

namespace dorv {

int array_add(param_array& array, std::string_view key, int number, std::string_view value)
{
    if (array.size() + 2 >= array.max)
        end_agent(exit_array_full);
    std::string k(key);
    if (number != 0)
        k += std::to_string(number);
    array.texts.push_back(std::move(k));
    array.texts.emplace_back(value);
    return array.size();
}

void array_free(param_array& array)
{
    array.texts.clear();
}

} // namespace dorv
