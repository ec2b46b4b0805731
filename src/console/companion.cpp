// Handing a command line over to a companion program.
#include "console/companion.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/child.h"
#include "console/output.h"
#include "console/self_exe.h"

namespace dorv {

std::string console_path(const std::string& self_path)
{
    return running_executable().value_or(self_path);
}

int run_companion(const std::string& program, const std::string& what, const std::string& self_path,
                  const std::vector<std::string>& front, const std::vector<std::string>& args, std::FILE* err)
{
    std::string self = console_path(self_path);
    std::string dir = self.rfind('/') == std::string::npos ? "." : self.substr(0, self.rfind('/'));
    std::string tried;
    for (const std::string& path : {dir + "/" + program, dir + "/../libexec/dorv/" + program}) {
        std::vector<std::string> texts = {path};
        texts.insert(texts.end(), front.begin(), front.end());
        texts.insert(texts.end(), args.begin(), args.end());
        std::vector<char*> argv = exec_pointers(texts);
        std::fflush(nullptr);
        ::execv(path.c_str(), argv.data());
        tried += (tried.empty() ? "" : ", ") + path + " (" + std::strerror(errno) + ")";
    }
    std::fprintf(err, "dorv-console: %s needs %s: %s\n", what.c_str(), program.c_str(), tried.c_str());
    return exit_unknown;
}

} // namespace dorv
