// Memory checks.
#include "probes/memory.h"

#include <algorithm>
#include <vector>

#include "checks/descriptors.h"
#include "config/config.h"
#include "probes/numbers.h"

namespace dorv {

void get_free_save(int* where, std::int64_t used, std::int64_t total)
{
    if (!where)
        return;
    if (total == 0) {
        *where = 0;
        return;
    }
    std::int64_t free = 100 - used * 100 / total;
    *where = static_cast<int>(std::clamp<std::int64_t>(free, INT32_MIN, INT32_MAX));
}

void parse_top_line(std::string_view line, free_figures& figures)
{
    std::vector<std::int32_t> n = parse_nums(line);
    std::size_t nums = n.size();
    auto at = [&](std::size_t k) { return std::int64_t{n[k - 1]}; };  // k-th number, from 1

    if (line.starts_with("Memory: Real:")) {
        if (nums >= 5) {
            get_free_save(&figures.ram, at(2), at(2) + at(3));
            get_free_save(&figures.swap, at(4), at(5));
        }
        return;
    }
    if (line.starts_with("Memory:")) {
        if (nums == 5) {
            get_free_save(&figures.ram, at(1) - at(3), at(1));
            get_free_save(&figures.swap, at(4) - at(5), at(4));
        } else if (nums == 4) {
            get_free_save(&figures.ram, at(1) - at(2), at(1));
            get_free_save(&figures.swap, at(3) - at(4), at(3));
        }
    } else if (line.starts_with("Swap:")) {
        if (nums == 4)
            get_free_save(&figures.swap, at(3), at(1));
        else if (nums == 2)
            get_free_save(&figures.swap, at(1) - at(2), at(1));
    } else if (line.starts_with("Mem:")) {
        if (nums == 4 || nums == 5)
            get_free_save(&figures.ram, at(2), at(1));
        else if (nums == 6)
            get_free_save(&figures.ram, at(1) + at(3) + at(5), at(1) + at(2) + at(3) + at(4) + at(5) + at(6));
    }
}

void parse_top(line_source& lines, free_figures& figures)
{
    std::string line;
    while (lines.next(line))
        parse_top_line(chomp(line), figures);
}

int get_free(int* ram, int* swap)
{
    command_pipe top("top -d 1 -n 1 -b");
    if (!top.started())
        return 0;
    free_figures f{*ram, *swap};
    parse_top(top, f);
    *ram = f.ram;
    *swap = f.swap;
    return 1;
}

namespace {

void free_check(const param_array& arg, int& status, std::string& result, bool check_ram,
                const char* var, const char* msg_ok_head, const char* msg_ok_tail, const char* msg_fail_head,
                const char* msg_fail_tail)
{
    int ram = -1;
    int swap = -1;
    if (arg.empty() || arg.key(0) != var)
        return;
    int limit = leading_int(arg.value(0));
    get_free(&ram, &swap);
    int free = check_ram ? ram : swap;
    status = free > limit ? 1 : 0;
    result = status ? msg_ok_head + std::to_string(free) + msg_ok_tail
                    : msg_fail_head + std::to_string(free) + msg_fail_tail;
}

}  // namespace

int params_ram(param_array& param)
{
    param_number(param, "Free RAM Limit [%]", 1, "100");
    return param.size();
}

int params_swap(param_array& param)
{
    param_number(param, "Free Swap Limit [%]", 1, "100");
    return param.size();
}

void run_ram(const param_array& arg, int& status, std::string& result)
{
    free_check(arg, status, result, true, "Free RAM Limit [%]", "", "% of RAM memory free", "Low RAM memory: ",
               "% free");
}

void run_swap(const param_array& arg, int& status, std::string& result)
{
    free_check(arg, status, result, false, "Free Swap Limit [%]", "", "% of SWAP memory free",
               "Low SWAP memory: ", "% free");
}

}  // namespace dorv
