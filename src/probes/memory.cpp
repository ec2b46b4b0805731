// Memory checks.
//
// A line of bare numbers that begins with "Mem:", "Swap:" or "Memory:" is read by how
// many numbers it holds; lines whose amounts carry labels are read in top_layouts.cpp.
#include "probes/memory.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "base/text_helpers.h"
#include "probes/numbers.h"
#include "probes/top_layouts.h"
#include "protocol/descriptors.h"

namespace dorv {

namespace {

// ---- Count rules: lines of no known layout, read by how many numbers they hold -------

void count_rules(std::string_view line, free_figures& f)
{
    std::vector<std::int32_t> n = parse_nums(line);
    std::size_t nums = n.size();
    auto at = [&](std::size_t k) { return std::int64_t{n[k - 1]}; }; // k-th number, from 1

    if (line.starts_with("Memory: Real:")) {
        // Too few numbers for the rule: nothing changes.
        if (nums >= 5) {
            save_ram(f, at(2), at(2) + at(3));
            save_swap(f, at(4), at(5));
        }
    } else if (line.starts_with("Memory:")) {
        if (nums == 5) {
            save_ram(f, at(1) - at(3), at(1));
            save_swap(f, at(4) - at(5), at(4));
        } else if (nums == 4) {
            save_ram(f, at(1) - at(2), at(1));
            save_swap(f, at(3) - at(4), at(3));
        }
    } else if (line.starts_with("Swap:")) {
        if (nums == 4)
            save_swap(f, at(3), at(1));
        else if (nums == 2)
            save_swap(f, at(1) - at(2), at(1));
    } else if (line.starts_with("Mem:")) {
        if (nums == 4 || nums == 5)
            save_ram(f, at(2), at(1));
        else if (nums == 6)
            save_ram(f, at(1) + at(3) + at(5), at(1) + at(2) + at(3) + at(4) + at(5) + at(6));
    }
}

// "%d" takes value, "%%" writes '%'.
std::string format_figure(std::string_view format, int value)
{
    std::string out;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 'd') {
            out += std::to_string(value);
            ++i;
        } else if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

// A '-' directly before a number that stands on its own ("-512M", ", -4"): no amount of
// memory is below zero.
bool has_negative_amount(std::string_view line)
{
    for (std::size_t i = 0; i + 1 < line.size(); ++i)
        if (line[i] == '-' && is_digit(line[i + 1]) &&
            (i == 0 || is_blank(line[i - 1]) || line[i - 1] == ',' || line[i - 1] == ':' ||
             line[i - 1] == '/'))
            return true;
    return false;
}

// A summary line with a negative amount gives no figure for what it speaks of. False for
// any other line.
bool negative_line(std::string_view line, free_figures& f)
{
    line_subject subject = subject_of(line);
    if ((!subject.ram && !subject.swap) || !has_negative_amount(line))
        return false;
    // A procps Swap line completes the RAM figure of the Mem line before it.
    if (subject.ram || f.pending_mem) {
        f.ram = -1;
        f.ram_untrue = "a negative amount";
    }
    if (subject.swap) {
        f.swap = -1;
        f.swap_untrue = "a negative amount";
    }
    f.pending_mem.reset();
    return true;
}

} // namespace

void parse_top_line(std::string_view line, free_figures& figures)
{
    // A line is a C text: it ends at a zero byte.
    line = line.substr(0, line.find('\0'));
    if (negative_line(line, figures))
        return;
    // A line with labels that no reader knows sets nothing: its numbers mean something
    // else than the count rules assume.
    bool labelled = read_labelled_line(line, figures);
    if (!labelled)
        count_rules(line, figures);
}

void parse_top(line_source& lines, free_figures& figures)
{
    std::string line;
    while (lines.next(line))
        parse_top_line(chomp(line), figures);
}

void parse_free(line_source& lines, free_figures& figures)
{
    std::string line;
    while (lines.next(line)) {
        std::string_view text = chomp(line);
        if (!text.starts_with("Swap:") || has_negative_amount(text))
            continue;
        std::vector<std::int32_t> n = parse_nums(text);
        if (n.size() == 3)
            save_swap(figures, std::int64_t{n[0]} - n[2], n[0]);
    }
}

namespace {

// The swap figure of free, when it gives one that can be true; its cause is traced
// otherwise, and top's stands.
void swap_from_free(free_figures& f)
{
    command_pipe free(free_command);
    free_figures g;
    parse_free(free, g);
    if (!free.failure() && g.swap != -1)
        f.swap = g.swap;
    else
        free.cause(g.swap_untrue
                       ? std::string("printed a Swap line whose amounts cannot be true: ") + g.swap_untrue
                       : "printed no Swap line of total, used and free");
}

} // namespace

int get_free(int* ram, int* swap, std::string* problem)
{
    command_pipe top("top -d 1 -n 1 -b");
    free_figures f;
    f.ram = ram ? *ram : -1;
    f.swap = swap ? *swap : -1;
    parse_top(top, f);
    if (top.failure()) {
        if (problem)
            *problem = *top.failure();
        return top.started() ? 1 : 0;
    }
    // BusyBox's top: a RAM figure, no swap line, and a good end.
    if (swap && f.swap == -1 && !f.swap_untrue && f.ram != -1 && top.exit_status() == 0)
        swap_from_free(f);
    if (ram)
        *ram = f.ram;
    if (swap)
        *swap = f.swap;
    bool no_ram = ram && f.ram == -1;
    if (!problem || (!no_ram && !(swap && f.swap == -1)))
        return 1;
    std::string figure = no_ram ? "RAM" : "swap";
    if (const char* untrue = no_ram ? f.ram_untrue : f.swap_untrue)
        *problem = top.cause("printed a line whose " + figure + " amounts cannot be true: " + untrue);
    else
        *problem = top.cause("printed no line that gives the " + figure + " figure");
    return 1;
}

int read_top(int* ram, int* swap, std::string& problem)
{
    return get_free(ram, swap, &problem);
}

void free_check(const param_array& arg, int& status, std::string& result, int check_ram, const char* var,
                const char* msg_ok, const char* msg_fail, const free_reader& read)
{
    int ram = -1;
    int swap = -1;
    if (arg.empty() || arg.key(0) != var)
        return;
    int limit = leading_int(arg.value(0));
    std::string problem;
    read(check_ram ? &ram : nullptr, check_ram ? nullptr : &swap, problem);
    int free = check_ram ? ram : swap;
    // Only a measured figure is compared; without one the reply says why.
    if (!problem.empty() || free == -1) {
        result = problem.empty() ? std::string("no ") + (check_ram ? "RAM" : "swap") + " figure" : problem;
        return;
    }
    status = free > limit ? 1 : 0;
    result = format_figure(status ? msg_ok : msg_fail, free);
}

int params_ram(param_array& param, std::size_t)
{
    param_number(param, "Free RAM Limit [%]", 1, "100");
    return param.size();
}

int params_swap(param_array& param, std::size_t)
{
    param_number(param, "Free Swap Limit [%]", 1, "100");
    return param.size();
}

void run_ram(const param_array& arg, int& status, std::string& result)
{
    free_check(arg, status, result, 1, "Free RAM Limit [%]", "%d%% of RAM memory free",
               "Low RAM memory: %d%% free");
}

void run_swap(const param_array& arg, int& status, std::string& result)
{
    free_check(arg, status, result, 0, "Free Swap Limit [%]", "%d%% of SWAP memory free",
               "Low SWAP memory: %d%% free");
}

} // namespace dorv
