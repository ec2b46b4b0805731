// Building and reading parameter descriptor lists.
#include "protocol/descriptors.h"

#include <map>

#include "protocol/packet.h"
#include "protocol/reply_budget.h"

namespace dorv {

namespace {

// Every key word of a descriptor list, spelled once for the builders, the budget and the
// reader.
constexpr std::string_view name_key = "paramname";
constexpr std::string_view type_key = "paramtype";
constexpr std::string_view maxlength_key = "maxlength";
constexpr std::string_view usual_key = "usualvalue";
constexpr std::string_view count_key = "valuecount";
constexpr std::string_view value_key = "value";
constexpr std::string_view button_count_key = "atbutton_paramcount";
constexpr std::string_view button_key = "atbutton_param";

} // namespace

void param_number(param_array& param, std::string_view name, int number, std::string_view maxlength,
                  std::string_view usual)
{
    array_add(param, name_key, number, name);
    array_add(param, type_key, number, number_field_type);
    array_add(param, maxlength_key, number, maxlength);
    if (!usual.empty())
        array_add(param, usual_key, number, usual);
}

int param_combo(param_array& param, std::string_view name, int number, const std::vector<std::string>& values,
                std::size_t budget)
{
    array_add(param, name_key, number, name);
    array_add(param, type_key, number, list_combo_type);

    // Packed size of the list without "valuecount" and its values: what is there and the
    // two closing pairs. Values are listed while they and the count of them fit.
    std::size_t used = packed_length(param) + packed_pair_length(button_count_key, 0, "1") +
                       packed_pair_length(button_key, 1, name);
    std::size_t listed = 0;
    while (listed < values.size()) {
        int k = static_cast<int>(listed) + 1;
        std::size_t next = used + packed_pair_length(value_key, k, values[listed]);
        if (next + packed_pair_length(count_key, 0, std::to_string(k)) > budget)
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

std::vector<param_info> parse_descriptors(std::string_view packed)
{
    std::vector<param_info> out;
    param_array list;
    if (packed.empty() || packed[0] != '#' || unpack_packet(packed, list).status != unpack_status::ok)
        return out;
    std::map<int, param_info> by_number;
    // The list combo's values are not numbered by their parameter: they belong to the
    // combo announced last.
    int combo = 0;
    for (int i = 0; i < list.pairs(); ++i) {
        const std::string& k = list.key(i);
        const std::string& v = list.value(i);
        if (int n = key_number(k, name_key)) {
            by_number[n].name = v;
        } else if (int t = key_number(k, type_key)) {
            by_number[t].type = v;
            if (v == list_combo_type)
                combo = t;
        } else if (int m = key_number(k, maxlength_key)) {
            by_number[m].maxlength = v;
        } else if (int u = key_number(k, usual_key)) {
            by_number[u].usual = v;
        } else if (key_number(k, value_key) && combo) {
            by_number[combo].values.push_back(v);
        }
    }
    for (auto& [n, p] : by_number)
        if (!p.name.empty())
            out.push_back(std::move(p));
    return out;
}

} // namespace dorv
