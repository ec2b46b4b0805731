// The host file of a many-hosts run: one host a line, its ssh destination and, after a
// blank, the name the scheduler knows it by. Pure: it takes the file's text.
#pragma once

#include <string>
#include <vector>

namespace dorv {

struct host_entry {
    std::string destination; // what ssh connects to: [user@]host
    std::string name;        // the scheduler's host name; the destination's host by default
};

// The hosts of text. Blank lines and lines beginning with '#' are skipped. A line that is
// not a host (more than two words, a destination beginning with '-', a name with ';')
// sets error to say which and where, and nothing is returned.
std::vector<host_entry> parse_host_list(const std::string& text, std::string& error);

} // namespace dorv
