// The per-format rules for values from a monitored host.
#include "console/output/config_safety.h"

#include <cctype>
#include <string_view>

namespace dorv {

namespace {

bool plain(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) ||
           std::string_view("/._+:@-").find(c) != std::string_view::npos;
}

bool printable_ascii(char c)
{
    return c >= 0x20 && c < 0x7f;
}

} // namespace

std::string console_word_problem(const std::string& v)
{
    if (v.empty())
        return "it is empty";
    if (v.find('=') != std::string::npos)
        return "it holds '='";
    if (v[0] == '-')
        return "it begins with '-'";
    return "";
}

std::string nagios_problem(const std::string& v)
{
    if (v.empty())
        return "it is empty";
    if (v[0] == '-')
        return "it begins with '-'";
    for (char c : v)
        if (!plain(c))
            return "it holds a character that Nagios cannot carry without a shell or a split "
                   "(only letters, digits and \"/._+:@-\" pass)";
    return "";
}

std::optional<std::string> icinga_string(const std::string& v)
{
    std::string out = "\"";
    for (char c : v) {
        if (!printable_ascii(c))
            return std::nullopt;
        if (c == '\\' || c == '"')
            out += '\\';
        else if (c == '$')
            out += '$';
        out += c;
    }
    return out + "\"";
}

std::string icinga_name_problem(const std::string& v)
{
    if (v.empty())
        return "it is empty";
    if (!icinga_string(v))
        return "it holds a control character or a byte outside printable ASCII";
    if (v.find('!') != std::string::npos)
        return "it holds '!', which Icinga 2 object names cannot";
    return "";
}

std::string shown(const std::string& v)
{
    std::string out;
    for (char c : v)
        out += plain(c) || c == ' ' ? c : '?';
    return out;
}

} // namespace dorv
