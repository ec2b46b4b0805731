// Check lists, descriptor lists, argument binding and limits.
#include "console/replies/agent_replies.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "checks/catalog.h"
#include "protocol/limits.h"
#include "protocol/packet.h"

namespace dorv {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The index of the parameter that name designates; nothing, with error set, when none
// does or it is ambiguous.
std::optional<std::size_t> find_param(const std::string& check, const std::vector<param_info>& params,
                                      const std::string& name, std::string& error)
{
    for (std::size_t i = 0; i < params.size(); ++i)
        if (params[i].name == name)
            return i;
    for (std::size_t i = 0; i < params.size(); ++i)
        if (lower(params[i].name) == lower(name))
            return i;
    // Then the unique name that starts with it, then the unique name that holds it.
    for (bool anywhere : {false, true}) {
        std::optional<std::size_t> found;
        for (std::size_t i = 0; i < params.size() && !name.empty(); ++i) {
            std::size_t at = lower(params[i].name).find(lower(name));
            if (at == std::string::npos || (at != 0 && !anywhere))
                continue;
            if (found) {
                error = check;
                error.append(": parameter name \"").append(name).append("\" is ambiguous (its parameters: ");
                error.append(param_names(params)).append(")");
                return std::nullopt;
            }
            found = i;
        }
        if (found)
            return found;
    }
    error = check + " has no parameter \"" + name + "\" (its parameters: " + param_names(params) + ")";
    return std::nullopt;
}

bool is_integer(const std::string& v)
{
    std::size_t i = v[0] == '-' || v[0] == '+' ? 1 : 0;
    return i < v.size() && v.find_first_not_of("0123456789", i) == std::string::npos;
}

} // namespace

std::vector<check_info> parse_checklist(const param_array& reply)
{
    std::map<int, check_info> by_number;
    for (int i = 0; i < reply.pairs(); ++i) {
        const std::string& k = reply.key(i);
        if (int n = key_number(k, "checkid"))
            by_number[n].name = reply.value(i);
        else if (int d = key_number(k, "checkdescription"))
            by_number[d].description = reply.value(i);
        else if (int a = key_number(k, "available"))
            by_number[a].available = reply.value(i) == "true";
    }
    std::vector<check_info> out;
    for (auto& [n, c] : by_number)
        if (!c.name.empty())
            out.push_back(std::move(c));
    return out;
}

std::optional<std::string> default_value(const std::string& check, const param_info& param)
{
    const check_profile* row = find_profile(check);
    if (param.is_list()) {
        const char* preferred = row ? row->default_choice : nullptr;
        if (preferred && std::find(param.values.begin(), param.values.end(), preferred) != param.values.end())
            return preferred;
        if (!param.values.empty())
            return param.values.front();
        return std::nullopt;
    }
    if (param.is_number() && row && row->default_limit)
        return row->default_limit;
    // A configured check's number names its own usual value, checked like any value.
    if (param.is_number() && !row && parse_limit(param.usual))
        return param.usual;
    return std::nullopt;
}

std::optional<long> parse_limit(const std::string& v)
{
    std::size_t i = !v.empty() && (v[0] == '-' || v[0] == '+') ? 1 : 0;
    if (i == v.size() || v.size() - i > 9 || v.find_first_not_of("0123456789", i) != std::string::npos)
        return std::nullopt;
    return std::stol(v);
}

std::string param_names(const std::vector<param_info>& params)
{
    std::string out;
    for (const auto& p : params)
        out += (out.empty() ? "" : ", ") + p.name;
    return out.empty() ? "none" : out;
}

namespace {

using bound_values = std::vector<std::optional<std::string>>;

// Places the NAME=VALUE arguments in values and the others in positional; false, with
// error set, when a name fits no parameter or one is given twice.
bool bind_named(const std::string& check, const std::vector<param_info>& params,
                const std::vector<std::string>& args, bound_values& values,
                std::vector<const std::string*>& positional, std::string& error)
{
    for (const auto& a : args) {
        auto eq = a.find('=');
        if (eq == std::string::npos) {
            positional.push_back(&a);
            continue;
        }
        std::optional<std::size_t> at = find_param(check, params, a.substr(0, eq), error);
        if (!at)
            return false;
        if (values[*at]) {
            error = check + ": parameter \"" + params[*at].name + "\" is given twice";
            return false;
        }
        values[*at] = a.substr(eq + 1);
    }
    return true;
}

// Fills the parameters left without a value, in order; false, with error set, when there
// are more values than parameters.
bool bind_positional(const std::string& check, const std::vector<param_info>& params,
                     const std::vector<const std::string*>& positional, bound_values& values,
                     std::string& error)
{
    std::size_t next = 0;
    for (const std::string* v : positional) {
        while (next < values.size() && values[next])
            ++next;
        if (next == values.size()) {
            error = check + " takes " + std::to_string(params.size()) + " value" +
                    (params.size() == 1 ? "" : "s") + " (" + param_names(params) + "), got \"" + *v +
                    "\" beyond them";
            return false;
        }
        values[next++] = *v;
    }
    return true;
}

// Whether v can be sent as the value of p; false, with error set, when it cannot.
bool check_value(const std::string& check, const param_info& p, const std::string& v, std::string& error)
{
    if (!can_travel(v))
        error = check + ": the value \"" + v + "\" of \"" + p.name +
                "\" cannot be sent: values may not contain '#' or '\"'";
    else if (p.is_number() && (v.empty() || !is_integer(v)))
        error = check + ": \"" + p.name + "\" takes a whole number, not \"" + v + "\"";
    else if (!p.maxlength.empty() && p.maxlength.size() < 10 && is_integer(p.maxlength) &&
             v.size() > std::stoul(p.maxlength))
        error = check + ": the value of \"" + p.name + "\" is longer than " + p.maxlength + " characters";
    else
        return true;
    return false;
}

} // namespace

std::optional<param_array> bind_values(const std::string& check, const std::vector<param_info>& params,
                                       const std::vector<std::string>& args, std::string& error)
{
    bound_values values(params.size());
    std::vector<const std::string*> positional;
    if (!bind_named(check, params, args, values, positional, error) ||
        !bind_positional(check, params, positional, values, error))
        return std::nullopt;
    param_array out(max_entries);
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (!values[i]) {
            error =
                check + ": no value for \"" + params[i].name + "\" (it takes: " + param_names(params) + ")";
            return std::nullopt;
        }
        if (!check_value(check, params[i], *values[i], error))
            return std::nullopt;
        array_add(out, params[i].name, 0, *values[i]);
    }
    return out;
}

} // namespace dorv
