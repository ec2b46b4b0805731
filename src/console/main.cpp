// Entry point of dorv-console.
#include <cstdio>
#include <string>
#include <vector>

#include "console/console.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return dorv::run_console(argc > 0 ? argv[0] : "dorv-console", args, stdout, stderr);
}
