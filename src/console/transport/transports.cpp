// The transports by what the command line asks. A transport is a file of its own that
// defines whether it is wanted and its maker; this table is the one place that names them.
#include "console/transport/transport.h"

namespace dorv {

bool wants_ssh(const transport_setup& setup);
transport make_ssh_transport(const transport_setup& setup, std::string& note);
bool wants_local(const transport_setup& setup);
transport make_local_transport(const transport_setup& setup, std::string& note);

namespace {

struct transport_row {
    const char* name;
    bool (*wanted)(const transport_setup& setup);
    transport (*make)(const transport_setup& setup, std::string& note);
};

// The first row that is wanted is taken; the last is wanted always.
const transport_row transports[] = {
    {"ssh", wants_ssh, make_ssh_transport},
    {"local", wants_local, make_local_transport},
};

} // namespace

transport pick_transport(const transport_setup& setup, std::string& note)
{
    for (const transport_row& row : transports)
        if (row.wanted(setup))
            return row.make(setup, note);
    return make_local_transport(setup, note);
}

} // namespace dorv
