// Parameter descriptors: the numbered keys by which a check describes its parameters,
// built by the agent's descriptor builders and read back by the console. Pure: no I/O.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/param_array.h"

namespace dorv {

// The two kinds of parameter, as "paramtype" names them.
inline constexpr std::string_view number_field_type = "longinteger";
inline constexpr std::string_view list_combo_type = "listcombo";

// The pair of a definecheck or getcomboparamvalues request that asks for the file system
// types of a list of mount points, and of the reply that holds them (checks/registry.h).
inline constexpr std::string_view filesystems_key = "filesystems";

// No bound on a descriptor list's packed size.
inline constexpr std::size_t unbounded = std::numeric_limits<std::size_t>::max();

// Appends a number field: paramnameN, paramtypeN = "longinteger", maxlengthN, and
// usualvalueN when usual is not empty (a configured check's number that names the value a
// run with usual limits gives it; the built-in checks' usual values are in the catalog).
void param_number(param_array& param, std::string_view name, int number, std::string_view maxlength,
                  std::string_view usual = {});

// Appends a list combo numbered `number` whose values are `values` in order, and returns
// the number of values listed. Values are listed only while the packed list (dorv_pack)
// stays within budget characters; "valuecount" always counts exactly the values listed.
int param_combo(param_array& param, std::string_view name, int number, const std::vector<std::string>& values,
                std::size_t budget = unbounded);

// One parameter of a descriptor list as it was read back.
struct param_info {
    std::string name;
    std::string type;                // "longinteger" or "listcombo" (or what else the agent says)
    std::string maxlength;           // number fields: the field's maximum length, as sent
    std::vector<std::string> values; // list combos: the values offered
    std::string usual;               // number fields: the usual value the agent names; "" none

    bool is_number() const { return type == number_field_type; }
    bool is_list() const { return type == list_combo_type; }
};

// The parameters of a packed descriptor list (the value of "parameters"), by number;
// nothing from a text that is not a whole packet.
std::vector<param_info> parse_descriptors(std::string_view packed);

} // namespace dorv
