// Reading the check sections.
#include "checks/check_section.h"

#include <algorithm>

#include "base/text_helpers.h"
#include "base/trace.h"
#include "checks/catalog.h"
#include "config/keys.h"
#include "protocol/packet.h"

namespace dorv {

namespace {

// Bounds that keep every reply about a check within one packet: a name's length (of a
// check or a parameter) and the number of parameters of a check.
constexpr std::size_t max_name = 100;
constexpr std::size_t max_params = 20;

// Why a parameter's name cannot be one: it is the key its value comes back under, and
// what stands between a placeholder's braces.
std::optional<std::string> bad_parameter_name(std::string_view name)
{
    if (name.empty())
        return "a parameter needs a name";
    if (name.size() > max_name)
        return "parameter name longer than " + std::to_string(max_name) + " characters";
    for (char c : name)
        if (std::string_view("#\"={}:,").find(c) != std::string_view::npos ||
            is_control(static_cast<unsigned char>(c)))
            return "parameter name \"" + std::string(name) +
                   "\" may not hold any of # \" = { } : , or a control character";
    return std::nullopt;
}

std::vector<std::string> list_values(std::string_view text)
{
    std::vector<std::string> values;
    for (;;) {
        std::size_t comma = text.find(',');
        values.emplace_back(trim_blanks(text.substr(0, comma)));
        if (comma == std::string_view::npos)
            return values;
        text.remove_prefix(comma + 1);
    }
}

std::string file_name(std::string_view path)
{
    std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

} // namespace

bool valid_check_name(std::string_view name)
{
    if (name.empty() || name.size() > max_name)
        return false;
    return std::all_of(name.begin(), name.end(), is_name_char);
}

bool valid_number(std::string_view value)
{
    if (!value.empty() && value[0] == '-')
        value.remove_prefix(1);
    return !value.empty() && value.size() <= 18 && std::all_of(value.begin(), value.end(), is_digit);
}

void check_reader::add(int line, std::string text)
{
    problems.push_back({file_, line, text});
    if (current_ && !ignored_)
        current_->problems.push_back(std::move(text));
}

void check_reader::begin_file(std::string file, bool dropin)
{
    file_ = std::move(file);
    dropin_ = dropin;
    shape_ = config_shape{};
}

void check_reader::end_file()
{
    finish();
}

void check_reader::line(const config_line& l)
{
    if (l.kind == config_line::header) {
        header(l);
        return;
    }
    bool in_check = current_ || ignored_;
    if (!dropin_ && !in_check)
        return; // the rest of the configuration file is not this reader's
    if (dropin_)
        if (auto problem = shape_.long_line(l))
            add(l.number, *problem);
    if (l.kind != config_line::entry || ignored_)
        return;
    if (!in_check) {
        // An entry of a section other than a check's is reported at its header.
        if (config_entry e = shape_.entry(l); e.problem && l.section.empty())
            add(l.number, *e.problem);
        return;
    }
    entry(l);
}

void check_reader::header(const config_line& l)
{
    finish();
    std::string_view section = l.section;
    if (!is_check_section(section)) {
        if (dropin_)
            add(l.number, unused_section_problem(section, true));
        return;
    }
    std::string name(section.substr(check_section_prefix.size()));
    ignored_ = true;
    if (!valid_check_name(name)) {
        add(l.number,
            "check name \"" + name +
                "\" may hold only letters, digits, '_', '-' and '.', at most 100: the section is ignored");
        return;
    }
    if (find_profile(name)) {
        add(l.number, "check name \"" + name + "\" is a built-in check's: the section is ignored");
        return;
    }
    for (const auto& c : checks)
        if (c.name == name) {
            add(l.number, "check \"" + name + "\" is declared already on " + c.file + ":" +
                              std::to_string(c.line) + ": the section is ignored");
            return;
        }
    ignored_ = false;
    current_ = configured_check{};
    current_->name = name;
    current_->file = file_;
    current_->line = l.number;
}

void check_reader::entry(const config_line& l)
{
    config_entry e = shape_.entry(l);
    if (e.problem) {
        add(l.number, *e.problem);
        return;
    }
    const check_key* known = find_check_key(e.key);
    if (known && known->parameter) {
        parameter(l, e.key, e.value);
        return;
    }
    if (auto problem = shape_.repeated(l, e.key)) {
        add(l.number, *problem);
        return;
    }
    if (e.key == "command") {
        current_->command_text = e.value;
        current_->command_entry_line = l.number;
    } else if (e.key == "description") {
        current_->description = e.value;
        if (e.value.empty() || !can_travel(e.value))
            add(l.number, "description may be neither empty nor hold '#' or '\"'");
    } else if (e.key == "timeout") {
        current_->timeout = valid_number(e.value) && e.value[0] != '-' ? leading_int(e.value) : 0;
        if (current_->timeout < 1 || current_->timeout > 3600)
            add(l.number, "timeout is not a number of seconds from 1 to 3600");
    } else {
        add(l.number, "key \"" + std::string(e.key) + "\" is not used in a check section");
    }
}

void check_reader::parameter(const config_line& l, std::string_view key, std::string_view value)
{
    check_parameter p;
    p.kind = key == "number" ? param_kind::number : key == "list" ? param_kind::list : param_kind::list_from;
    p.line = l.number;
    std::string_view rest;
    if (p.kind == param_kind::number) {
        // "NAME: USUAL": a name holds no ':', so the first one starts the usual value.
        std::size_t colon = value.find(':');
        p.name = trim_blanks(value.substr(0, colon));
        if (colon != std::string_view::npos) {
            p.usual = trim_blanks(value.substr(colon + 1));
            if (!valid_number(p.usual))
                return add(l.number, "the usual value of \"" + p.name + "\" is not a number");
        }
    } else {
        std::size_t colon = value.find(':');
        p.name = trim_blanks(value.substr(0, colon));
        if (colon == std::string_view::npos)
            return add(l.number, std::string(key) + "= needs the parameter's name, ':' and " +
                                     (p.kind == param_kind::list ? "its values" : "a command"));
        rest = value.substr(colon + 1);
    }
    if (auto bad = bad_parameter_name(p.name))
        return add(l.number, *bad);
    if (current_->params.size() >= max_params)
        return add(l.number, "a check takes at most " + std::to_string(max_params) + " parameters");
    for (const auto& other : current_->params) {
        if (other.name == p.name)
            return add(l.number, "parameter \"" + p.name + "\" is declared already on line " +
                                     std::to_string(other.line));
        // A second list is kept, so that its placeholders are not reported as well.
        if (p.kind != param_kind::number && other.kind != param_kind::number)
            add(l.number, "a check takes at most one list: \"" + p.name + "\" is a second after \"" +
                              other.name + "\"");
    }
    if (p.kind == param_kind::list) {
        p.values = list_values(rest);
        for (const auto& v : p.values)
            if (v.empty() || !can_travel(v))
                return add(l.number,
                           "list \"" + p.name + "\" holds a value that is empty or holds '#' or '\"'");
    } else if (p.kind == param_kind::list_from) {
        split_command s = split_command_line(rest, {});
        if (s.error)
            return add(l.number, "list-from command of \"" + p.name + "\": " + *s.error);
        if (s.words.empty() || s.words[0].empty() || s.words[0][0].text.empty() ||
            s.words[0][0].text[0] != '/')
            return add(l.number,
                       "list-from command of \"" + p.name + "\" does not begin with an absolute path");
        p.command = std::move(s.words);
    }
    current_->params.push_back(std::move(p));
}

void check_reader::finish()
{
    if (!current_) {
        ignored_ = false;
        return;
    }
    configured_check& c = *current_;
    std::vector<std::string> names;
    for (const auto& p : c.params)
        names.push_back(p.name);
    if (!c.command_entry_line) {
        add(c.line, "check \"" + c.name + "\" has no command= line");
    } else {
        split_command s = split_command_line(c.command_text, names);
        if (s.error)
            add(c.command_entry_line, "command: " + *s.error);
        else if (s.words.empty())
            add(c.command_entry_line, "command is empty");
        else if (s.words[0].empty() || has_placeholder(s.words[0]) || s.words[0][0].text[0] != '/' ||
                 s.words[0][0].text.back() == '/')
            add(c.command_entry_line, "command does not begin with an absolute path to a program");
        for (const auto& u : unknown_placeholders(c.command_text, names))
            add(c.command_entry_line, "placeholder {" + u + "} names no parameter");
        for (const auto& p : c.params)
            if (c.command_text.find("{" + p.name + "}") == std::string::npos)
                add(p.line, "parameter \"" + p.name + "\" is used by no placeholder");
        c.command = std::move(s.words);
        if (c.description.empty() && !c.command.empty() && !c.command[0].empty()) {
            c.description = file_name(c.command[0][0].text);
            if (!can_travel(c.description))
                add(c.command_entry_line, "the program's name holds '#' or '\"': give a description=");
        }
    }
    checks.push_back(std::move(c));
    current_.reset();
}

} // namespace dorv
