// Finding a companion program from where the running program lies.
#include "console/companions/companion.h"

#include <unistd.h>

namespace dorv {

std::vector<std::string> companion_places(const std::string& name, const std::string& self_path)
{
    const std::string self = running_executable().value_or(self_path);
    if (self.empty())
        return {};
    const auto slash = self.rfind('/');
    // Started through PATH with no word from the system: the working directory stands in.
    const std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
    return {dir + "/" + name, dir + "/../libexec/dorv/" + name};
}

std::string companion_program(const std::string& name, const std::string& self_path)
{
    for (const std::string& path : companion_places(name, self_path))
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    return "";
}

} // namespace dorv
