// A plugin's output and exit status as a runcheck reply. The output is read as the
// monitoring plugin guidelines lay it out:
//   TEXT | PERFDATA
//   LONG TEXT LINE 1
//   LONG TEXT LINE 2 | PERFDATA LINE 2
//   PERFDATA LINE 3
// The first line's text before its '|' is the result text; what follows a '|' on the
// first line, and on the first later line that holds one, together with every line after
// that, is performance data; the other later lines are the long output.
#pragma once

#include <string>
#include <string_view>

#include "probes/plugin_run.h"
#include "protocol/param_array.h"
#include "protocol/plugin_reply.h"

namespace dorv {

struct plugin_parts {
    std::string text;        // the first line before its '|', without blanks at its end
    std::string perfdata;    // the performance data, its parts joined by one blank
    std::string long_output; // the later lines of text, joined by line feeds
};

plugin_parts split_plugin_output(std::string_view output);

// The reply of a configured check whose refusal or failure is message: "errormessage" (the
// text escaped) and "state" = "unknown".
void plugin_error_reply(const std::string& cmd, const std::string& message, param_array& reply);

// The reply to a plugin's run: exit status 0 "up" and "ok", 1 "up" and "warning", 2
// "down" and "critical", each with "resultstring", "perfdata" and "longoutput"; any other
// end an error reply with the plugin's first line, or with the cause when it printed none
// or did not end by itself. The texts are cut to what the packet leaves room for: the
// result text first, then the performance data (whole items), then the long output (whole
// lines where it can).
void plugin_reply(const std::string& cmd, const std::string& checkid, const plugin_run& run,
                  param_array& reply);

} // namespace dorv
