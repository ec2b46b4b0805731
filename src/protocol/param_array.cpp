// Parameter array operations.
#include "protocol/param_array.h"

#include "base/exit_causes.h"
#include "base/text_helpers.h"

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

int key_number(std::string_view key, std::string_view word)
{
    if (key.size() <= word.size() || key.size() > word.size() + 5 || !key.starts_with(word))
        return 0;
    int n = 0;
    for (char c : key.substr(word.size())) {
        if (!is_digit(c))
            return 0;
        n = n * 10 + (c - '0');
    }
    return n;
}

void array_free(param_array& array)
{
    array.texts.clear();
}

} // namespace dorv
