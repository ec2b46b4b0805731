// Filtering the probe commands' PATH.
#include "probes/probe_path.h"

namespace dorv {

std::string probe_path(const char* path)
{
    std::string kept;
    std::string_view rest = path ? path : "";
    while (!rest.empty() || kept.empty()) {
        std::size_t colon = rest.find(':');
        std::string_view element = rest.substr(0, colon);
        if (!element.empty() && element.front() == '/') {
            if (!kept.empty())
                kept += ':';
            kept += element;
        }
        if (colon == std::string_view::npos)
            break;
        rest.remove_prefix(colon + 1);
    }
    return kept.empty() ? "/usr/bin:/bin:/usr/sbin:/sbin" : kept;
}

} // namespace dorv
