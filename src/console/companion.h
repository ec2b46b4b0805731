// The console's companion programs: builds of it, or helpers, that carry a library the
// console started for every check does without (libcurl for --submit, libmicrohttpd for
// serve). The console hands the whole command line over to one by exec.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace dorv {

// Runs program (beside the running executable, or in ../libexec/dorv) with front, then
// args; returns only when that fails, after saying on err that `what` needs it and why,
// with the exit status to give.
int run_companion(const std::string& program, const std::string& what, const std::string& self_path,
                  const std::vector<std::string>& front, const std::vector<std::string>& args,
                  std::FILE* err);

// The running console's own path: as the system names it, else self_path.
std::string console_path(const std::string& self_path);

} // namespace dorv
