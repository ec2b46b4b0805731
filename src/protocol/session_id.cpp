// Session identifier.
#include "protocol/session_id.h"

#include <cstdlib>
#include <ctime>

namespace dorv {

std::string g_session_id;

char* random_hex(char* where)
{
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < 4; ++i)
        *where++ = digits[::random() % 16];
    return where;
}

std::string generate_session_id()
{
    ::srandom(static_cast<unsigned>(std::time(nullptr)));
    char buf[37];
    char* p = buf;
    p = random_hex(random_hex(p));
    for (int group = 0; group < 3; ++group) {
        *p++ = '-';
        p = random_hex(p);
    }
    *p++ = '-';
    p = random_hex(random_hex(random_hex(p)));
    *p = '\0';
    g_session_id = buf;
    return g_session_id;
}

} // namespace dorv
