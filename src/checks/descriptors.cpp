// Parameter descriptor builders shared by the checks.
#include "checks/descriptors.h"

#include "protocol/packet.h"
#include "protocol/reply_budget.h"

namespace dorv {

namespace {

// The keys of a list combo after its name and type, each spelled once for both the
// budget and the pairs.
constexpr std::string_view count_key = "valuecount";
constexpr std::string_view value_key = "value";
constexpr std::string_view button_count_key = "atbutton_paramcount";
constexpr std::string_view button_key = "atbutton_param";

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

    // Packed size of the list without "valuecount" and its values: what is there and the
    // two closing pairs. Values are listed while they and the count of them fit.
    std::size_t used = packed_length(param) + packed_pair_length(button_count_key, 0, "1") +
                       packed_pair_length(button_key, 1, name);
    std::size_t listed = 0;
    while (listed < values.size()) {
        int k = static_cast<int>(listed) + 1;
        std::size_t next = used + packed_pair_length(value_key, k, values[listed]);
        if (next + packed_pair_length(count_key, 0, std::to_string(k)) > param.max_packed)
            break;
        used = next;
        listed = static_cast<std::size_t>(k);
    }

    array_add(param, count_key, 0, std::to_string(listed));
    for (std::size_t k = 1; k <= listed; ++k)
        array_add(param, value_key, static_cast<int>(k), values[k - 1]);
    array_add(param, button_count_key, 0, "1");
    array_add(param, button_key, 1, name);
    return static_cast<int>(listed);
}

} // namespace dorv
