// Reading a plugin's output into a reply.
#include "checks/plugin_result.h"

#include "base/text_helpers.h"
#include "protocol/plugin_reply.h"
#include "protocol/reply_budget.h"

namespace dorv {

namespace {

void add_perfdata(std::string& perfdata, std::string_view part)
{
    part = trim_blanks(part);
    if (part.empty())
        return;
    if (!perfdata.empty())
        perfdata += ' ';
    perfdata += part;
}

std::string_view trim_end(std::string_view s)
{
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The longest prefix of an escaped text within room, ending where `separator` follows in
// the whole text (a whole perfdata item, a whole line) when such a place is in room.
std::size_t cut_at(std::string_view escaped, std::size_t room, char separator)
{
    std::size_t n = escaped_cut(escaped, room);
    if (n == escaped.size())
        return n;
    std::size_t sep = escaped.substr(0, n + 1).rfind(separator);
    return sep == std::string_view::npos || sep == 0 ? n : sep;
}

} // namespace

plugin_parts split_plugin_output(std::string_view output)
{
    plugin_parts t;
    bool first = true, in_perfdata = false, any_long = false;
    while (!output.empty()) {
        std::size_t end = output.find('\n');
        std::string_view line = output.substr(0, end);
        output.remove_prefix(end == std::string_view::npos ? output.size() : end + 1);
        if (in_perfdata) {
            add_perfdata(t.perfdata, line);
            continue;
        }
        std::size_t bar = line.find('|');
        std::string_view text = line.substr(0, bar);
        if (bar != std::string_view::npos) {
            add_perfdata(t.perfdata, line.substr(bar + 1));
            text = trim_end(text);
        }
        if (first) {
            t.text = trim_end(text);
        } else if (bar == std::string_view::npos || !text.empty()) {
            if (any_long)
                t.long_output += '\n';
            t.long_output += text;
            any_long = true;
        }
        in_perfdata = !first && bar != std::string_view::npos;
        first = false;
    }
    while (!t.long_output.empty() && t.long_output.back() == '\n')
        t.long_output.pop_back();
    return t;
}

void plugin_error_reply(const std::string& cmd, const std::string& message, param_array& reply)
{
    param_array with_state;
    array_add(with_state, "errormessage", 0, "");
    array_add(with_state, state_key, 0, plugin_states[3]);
    std::size_t room = max_text - std::min(max_text, reply_length(cmd, with_state));
    std::string text = escape_plugin_text(message);
    array_add(reply, "errormessage", 0, text.substr(0, escaped_cut(text, room)));
    array_add(reply, state_key, 0, plugin_states[3]);
}

void plugin_reply(const std::string& cmd, const std::string& checkid, const plugin_run& run,
                  param_array& reply)
{
    plugin_parts t = split_plugin_output(run.output);
    if (run.outcome != plugin_run::exited || run.code > 2) {
        std::string message = run.cause;
        if (run.outcome == plugin_run::exited)
            message = !t.text.empty() ? t.text
                                      : checkid + ": the plugin printed nothing and ended with exit status " +
                                            std::to_string(run.code);
        plugin_error_reply(cmd, message, reply);
        return;
    }
    array_add(reply, "checkid", 0, checkid);
    array_add(reply, "result", 0, run.code == 2 ? "down" : "up");
    array_add(reply, state_key, 0, plugin_states[run.code]);
    std::string values[3] = {escape_plugin_text(t.text), escape_plugin_text(t.perfdata),
                             escape_plugin_text(t.long_output)};
    const std::string_view keys[3] = {"resultstring", perfdata_key, long_output_key};
    param_array empty = reply;
    for (auto key : keys)
        array_add(empty, key, 0, "");
    std::size_t room = max_text - std::min(max_text, reply_length(cmd, empty));
    const char separators[3] = {'\0', ' ', '\n'};
    for (int i = 0; i < 3; ++i) {
        std::size_t n = i == 0 ? escaped_cut(values[i], room) : cut_at(values[i], room, separators[i]);
        array_add(reply, keys[i], 0, std::string_view(values[i]).substr(0, n));
        room -= n;
    }
}

} // namespace dorv
