// The texts around starting a child: its environment, its argv as exec takes it, and
// what its wait status says.
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/child.h"

namespace dorv {

std::vector<std::string> inherited_environment()
{
    std::vector<std::string> env;
    for (char** e = environ; e && *e; ++e)
        env.emplace_back(*e);
    return env;
}

std::vector<char*> exec_pointers(std::vector<std::string>& texts)
{
    std::vector<char*> out;
    out.reserve(texts.size() + 1);
    for (auto& t : texts)
        out.push_back(t.data());
    out.push_back(nullptr);
    return out;
}

std::string describe_wait_status(int status)
{
    if (WIFSIGNALED(status)) {
        int sig = WTERMSIG(status);
        return "signal " + std::to_string(sig) + " (" + strsignal(sig) + ")";
    }
    return "exit status " + std::to_string(WEXITSTATUS(status));
}

} // namespace dorv
