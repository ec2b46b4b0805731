// Finding a companion program from where the running program lies.
#include "console/companions/companion.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/child.h"

namespace dorv {

std::vector<std::string> companion_places(const std::string& name, const std::string& self_path)
{
    const std::string self = console_path(self_path);
    if (self.empty())
        return {};
    const auto slash = self.rfind('/');
    // Started through PATH with no word from the system: the working directory stands in.
    const std::string dir = slash == std::string::npos ? "." : self.substr(0, slash);
    return {dir + "/" + name, dir + "/../libexec/dorv/" + name};
}

std::optional<std::string> companion_program(const std::string& name, const std::string& self_path)
{
    for (const std::string& path : companion_places(name, self_path))
        if (::access(path.c_str(), X_OK) == 0)
            return path;
    return std::nullopt;
}

std::string console_path(const std::string& self_path)
{
    return running_executable().value_or(self_path);
}

int run_companion(const std::string& name, const std::string& what, const std::string& self_path,
                  const std::vector<std::string>& front, const std::vector<std::string>& args, std::FILE* err)
{
    std::string tried;
    for (const std::string& path : companion_places(name, self_path)) {
        std::vector<std::string> texts = {path};
        texts.insert(texts.end(), front.begin(), front.end());
        texts.insert(texts.end(), args.begin(), args.end());
        std::vector<char*> argv = exec_pointers(texts);
        std::fflush(nullptr);
        ::execv(path.c_str(), argv.data());
        tried += (tried.empty() ? "" : ", ") + path + " (" + std::strerror(errno) + ")";
    }
    std::fprintf(err, "dorv-console: %s needs %s: %s\n", what.c_str(), name.c_str(), tried.c_str());
    return 3; // UNKNOWN, as a plugin that cannot run says
}

} // namespace dorv
