// The console's --hosts run: the command line's commands on every host of the host file,
// each host's passive results printed as a block or sent to the Icinga 2 API, and one
// line on standard error that sums the run up.
#pragma once

#include <cstdio>
#include <functional>

#include "console/options.h"
#include "console/submit.h"

namespace dorv {

// Runs o's commands on every host of o.hosts through one_host, which runs one host's
// session with the options made for it (its destination and name, passive format) and
// the stream for its messages, and returns its exit status. The messages are passed on
// with the host's name in front. Results go to out, or to sink when there is one. The exit
// status: 0 when every host answered (and every result was accepted), else 3.
int run_host_list(const console_options& o,
                  const std::function<int(const console_options&, std::FILE* err)>& one_host,
                  result_sink* sink, std::FILE* out, std::FILE* err);

} // namespace dorv
