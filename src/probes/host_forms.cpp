// The forms of the probe commands learned in this session.
#include "probes/host_forms.h"

namespace dorv {

host_forms& session_forms()
{
    static host_forms forms;
    return forms;
}

} // namespace dorv
