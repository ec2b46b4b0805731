// The options of runs that reach beyond one check over one connection: ssh connection
// reuse (--reuse), results to the Icinga 2 API (--submit and its settings) and many hosts
// in one run (--hosts, --jobs). Each setter stores an option's value and returns the
// error, or ""; each check looks at the whole command line once it is read.
#pragma once

#include <string>

#include "console/options.h"

namespace dorv {

std::string set_reuse(console_options& o, const std::string& name, const std::string& v);
// --submit, --submit-user, --submit-password-file, --submit-cert, --submit-key, --submit-ca.
std::string set_submit_text(console_options& o, const std::string& name, const std::string& v);
std::string set_submit_ttl(console_options& o, const std::string& name, const std::string& v);
std::string set_hosts(console_options& o, const std::string& name, const std::string& v);
std::string set_jobs(console_options& o, const std::string& name, const std::string& v);

// --submit sends passive results: it takes the format passive (and its --host), and
// either a user with a password file or a client certificate with its key.
std::string check_submit(console_options& o);
// --hosts takes the destinations and names from its file, and gives passive results.
std::string check_hosts(console_options& o);

} // namespace dorv
