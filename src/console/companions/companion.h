// The console's companion programs (dorv-mux, dorv-console-submit, dorv-exporter): found beside the
// running program or in ../libexec/dorv from it. Each platform that can tell where the
// running executable is has a file of its own (self_exe_<platform>.cpp); elsewhere the
// portable file answers that it cannot, and the caller's argv[0] stands in.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace dorv {

// The absolute path of the running executable, or nothing when the system does not say.
std::optional<std::string> running_executable();

// Where the companion program name may be, in the order to try: beside the running
// program, then in ../libexec/dorv from it. self_path stands in for the running program
// when the system does not tell ("" for none: then there are no places).
std::vector<std::string> companion_places(const std::string& name, const std::string& self_path);

// The first of companion_places that this user may run; none when there is none.
std::optional<std::string> companion_program(const std::string& name, const std::string& self_path = "");

// The running console's own path: as the system names it, else self_path.
std::string console_path(const std::string& self_path);

// Runs the companion program name with front, then args, in place of this process (exec);
// returns only when that fails, after saying on err that `what` needs it and why, with the
// exit status to give (UNKNOWN).
int run_companion(const std::string& name, const std::string& what, const std::string& self_path,
                  const std::vector<std::string>& front, const std::vector<std::string>& args,
                  std::FILE* err);

} // namespace dorv
