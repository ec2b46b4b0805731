// Parameter descriptor builders shared by the checks.
#include "checks/descriptors.h"

#include "protocol/packet.h"

namespace dorv {

namespace {

std::size_t digits(std::size_t n)
{
    std::size_t d = 1;
    while (n >= 10) {
        n /= 10;
        ++d;
    }
    return d;
}

} // namespace

void param_number(param_array& param, std::string_view name, int number, std::string_view maxlength)
{
    array_add(param, "paramname", number, name);
    array_add(param, "paramtype", number, "longinteger");
    array_add(param, "maxlength", number, maxlength);
}

int param_combo(param_array& param, std::string_view name, int number, const std::vector<std::string>& values)
{
    array_add(param, "paramname", number, name);
    array_add(param, "paramtype", number, "listcombo");

    // Packed size of the list with no value: what is there, "valuecount=N#" and the two
    // closing pairs. Each listed value k adds "valueK=" value "#".
    std::size_t fixed = packed_length(param) + std::string_view("valuecount=#").size() +
                        std::string_view("atbutton_paramcount=1#").size() +
                        std::string_view("atbutton_param1=#").size() + name.size();
    std::size_t listed = 0;
    std::size_t values_size = 0;
    while (listed < values.size()) {
        std::size_t k = listed + 1;
        std::size_t next =
            values_size + std::string_view("value=#").size() + digits(k) + values[listed].size();
        if (fixed + digits(k) + next > param.max_packed)
            break;
        values_size = next;
        listed = k;
    }

    array_add(param, "valuecount", 0, std::to_string(listed));
    for (std::size_t k = 1; k <= listed; ++k)
        array_add(param, "value", static_cast<int>(k), values[k - 1]);
    array_add(param, "atbutton_paramcount", 0, "1");
    array_add(param, "atbutton_param", 1, name);
    return static_cast<int>(listed);
}

} // namespace dorv
