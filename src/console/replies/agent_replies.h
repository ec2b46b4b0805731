// What the agent says about its checks, in the console's terms: the check list of a
// listchecks reply, the parameters of a definecheck reply, and the binding of the values
// a user typed to those parameters. Pure: no I/O.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "protocol/descriptors.h"
#include "protocol/param_array.h"

namespace dorv {

struct check_info {
    std::string name;
    std::string description;
    bool available = false;
};

// The checks of a listchecks reply's own pairs, in the agent's order.
std::vector<check_info> parse_checklist(const param_array& reply);

// Binds the values of "run CHECK ARG...": an ARG of the form NAME=VALUE sets the parameter
// NAME (matched exactly, then ignoring case, then as the unique start of a name, then as a
// unique part of one); the other ARGs fill the remaining parameters in order. Every parameter needs a value.
// On success returns the argument array (pairs in parameter order); otherwise sets error.
std::optional<param_array> bind_values(const std::string& check, const std::vector<param_info>& params,
                                       const std::vector<std::string>& args, std::string& error);

// The value that "run-all" gives a parameter of check: for a limit the usual alarm level
// of the check table (a load above 90 %, 10 % or less free), for a list the check's
// preferred value ("/", "dorv": the agent itself) when offered, else its first value; for
// a configured check's number the usual value the agent names. Nothing when there is no
// sensible value.
std::optional<std::string> default_value(const std::string& check, const param_info& param);

// A limit as the console takes it: a whole number, optionally signed, of at most nine
// digits. Nothing for any other text.
std::optional<long> parse_limit(const std::string& text);

// The parameter names, joined for a message: "Disk Free Limit [%], Disks".
std::string param_names(const std::vector<param_info>& params);

} // namespace dorv
