// Memory checks.
//
// top's summary lines come in many layouts. Those whose amounts carry labels (FreeBSD and
// DragonFly "Mem:", BSD "Swap:", Linux procps "Mem"/"Swap", OpenBSD "Memory: Real:",
// NetBSD, SunOS and IRIX "Memory:") are read by label, each amount with its unit; a line
// with labels that none of them knows sets nothing. A line of bare numbers that begins
// with "Mem:", "Swap:" or "Memory:" is read by how many numbers it holds.
#include "probes/memory.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <limits>
#include <vector>

#include "checks/descriptors.h"
#include "config/config.h"
#include "probes/numbers.h"

namespace dorv {

namespace {

constexpr std::int64_t int64_top = std::numeric_limits<std::int64_t>::max();

std::uint64_t magnitude(std::int64_t v)
{
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

} // namespace

void get_free_save(int* where, std::int64_t used, std::int64_t total)
{
    if (!where)
        return;
    if (total == 0) {
        *where = 0;
        return;
    }
    // |used| * 100 / |total| without forming a product that could overflow: the whole
    // quotient times 100, plus the remainder's share, found by adding the remainder 100
    // times modulo total (each sum stays below 2 * total, within 64 bits).
    std::uint64_t u = magnitude(used);
    std::uint64_t t = magnitude(total);
    std::uint64_t q = u / t;
    std::uint64_t r = u % t;
    std::uint64_t share;
    if (q > (std::uint64_t{1} << 40)) {
        share = std::uint64_t{1} << 47; // far beyond the int range either way
    } else if (r <= std::numeric_limits<std::uint64_t>::max() / 100) {
        share = q * 100 + r * 100 / t;
    } else {
        std::uint64_t acc = 0;
        std::uint64_t d = 0;
        for (int k = 0; k < 100; ++k) {
            acc += r;
            if (acc >= t) {
                acc -= t;
                ++d;
            }
        }
        share = q * 100 + d;
    }
    auto used_share = static_cast<std::int64_t>(share);
    std::int64_t free = (used < 0) != (total < 0) ? 100 + used_share : 100 - used_share;
    *where = static_cast<int>(
        std::clamp<std::int64_t>(free, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

namespace {

// ---- Amounts ------------------------------------------------------------------------
// Amounts are counted in KiB, the unit of a bare amount on every layout that has none of
// its own. Sums and products saturate at the top of the 64-bit range.

std::int64_t sat_add(std::int64_t a, std::int64_t b)
{
    return a > int64_top - b ? int64_top : a + b;
}
std::int64_t sat_mul(std::int64_t a, std::int64_t b)
{
    return b != 0 && a > int64_top / b ? int64_top : a * b;
}

constexpr std::int64_t kib = 1;

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}
bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// The unit letter written directly after an amount, in KiB.
std::int64_t unit_letter(char c)
{
    switch (c) {
    case 'K':
    case 'k':
        return kib;
    case 'M':
        return kib << 10;
    case 'G':
        return kib << 20;
    case 'T':
        return kib << 30;
    case 'P':
        return kib << 40;
    case 'E':
        return kib << 50;
    default:
        return 0;
    }
}

struct scanner {
    std::string_view text;
    std::size_t at = 0;

    bool done() const { return at >= text.size(); }
    char peek(std::size_t ahead = 0) const { return at + ahead < text.size() ? text[at + ahead] : '\0'; }
    void skip(std::size_t n = 1) { at = std::min(text.size(), at + n); }
    void blanks()
    {
        while (is_blank(peek()))
            skip();
    }
    bool eat(std::string_view word)
    {
        if (!text.substr(at).starts_with(word))
            return false;
        skip(word.size());
        return true;
    }
};

struct amount {
    std::int64_t kib = 0;
    bool percent = false; // "15%": a share, not an amount of memory
};

// Reads digits, an optional fraction and an optional unit letter (or '%'). Bare amounts
// count in `unit`.
std::optional<amount> read_amount(scanner& sc, std::int64_t unit)
{
    if (!is_digit(sc.peek()))
        return std::nullopt;
    std::int64_t whole = 0;
    while (is_digit(sc.peek())) {
        whole = sat_add(sat_mul(whole, 10), sc.peek() - '0');
        sc.skip();
    }
    // Three decimals are more than any top prints; further digits are passed over.
    std::int64_t frac = 0;
    std::int64_t scale = 1;
    if (sc.peek() == '.' && is_digit(sc.peek(1))) {
        sc.skip();
        for (; is_digit(sc.peek()); sc.skip()) {
            if (scale < 1000) {
                frac = frac * 10 + (sc.peek() - '0');
                scale *= 10;
            }
        }
    }
    amount a;
    if (sc.peek() == '%') {
        sc.skip();
        a.percent = true;
        a.kib = whole;
        return a;
    }
    if (std::int64_t letter = unit_letter(sc.peek())) {
        unit = letter;
        sc.skip();
    }
    // frac < 1000 and unit <= 2^50: the product stays within 64 bits.
    a.kib = sat_add(sat_mul(whole, unit), frac * unit / scale);
    return a;
}

// ---- Labelled lists: "36M Active, 5256K Inact, ..." ----------------------------------

struct item {
    amount value;
    std::string_view label;
};

// Splits a list of "amount label" items, separated by commas (procps also ends one with a
// full stop: "0 used.  3419356 avail Mem"). Nothing when the text is not such a list.
std::optional<std::vector<item>> read_items(std::string_view text, std::int64_t unit)
{
    scanner sc{text};
    std::vector<item> items;
    for (;;) {
        while (is_blank(sc.peek()) || sc.peek() == ',')
            sc.skip();
        if (sc.done())
            break;
        std::optional<amount> a = read_amount(sc, unit);
        if (!a || !is_blank(sc.peek()))
            return std::nullopt;
        sc.blanks();
        std::size_t start = sc.at;
        while (!sc.done() && sc.peek() != ',' && sc.peek() != '.')
            sc.skip();
        std::string_view label = text.substr(start, sc.at - start);
        while (!label.empty() && is_blank(label.back()))
            label.remove_suffix(1);
        if (label.empty())
            return std::nullopt;
        if (sc.peek() == '.')
            sc.skip();
        items.push_back({*a, label});
    }
    if (items.empty())
        return std::nullopt;
    return items;
}

struct label_role {
    std::string_view label;
    int role;
};

// The amount of each role of a layout, from items that must all carry one of its labels,
// each role at most once. Only the role `percent_role` takes a share ("15% Inuse"), and it
// must be one. False when the items are not of this layout.
template <std::size_t Roles>
bool by_role(const std::vector<item>& items, std::initializer_list<label_role> labels,
             std::array<std::optional<std::int64_t>, Roles>& out, int percent_role = -1)
{
    for (const item& it : items) {
        auto found = std::find_if(labels.begin(), labels.end(),
                                  [&](const label_role& l) { return l.label == it.label; });
        if (found == labels.end())
            return false;
        auto role = static_cast<std::size_t>(found->role);
        if (out[role] || it.value.percent != (found->role == percent_role))
            return false;
        out[role] = it.value.kib;
    }
    return true;
}

// FreeBSD and DragonFly: "Mem: 36M Active, 5256K Inact, 2028K Laundry, 13M Wired,
// 6312K Cache, 15M Buf, 408K Free", a field left out when it is zero. In use are Active,
// Laundry, Wired and Buf; the total is the sum of every field shown.
bool bsd_mem(std::string_view rest, free_figures& f)
{
    enum { active, inact, laundry, wired, cache, buf, free, roles };
    std::optional<std::vector<item>> items = read_items(rest, kib);
    std::array<std::optional<std::int64_t>, roles> v;
    if (!items || !by_role(*items,
                           {{"Active", active},
                            {"Inact", inact},
                            {"Laundry", laundry},
                            {"Wired", wired},
                            {"Cache", cache},
                            {"Buf", buf},
                            {"Free", free}},
                           v))
        return false;
    std::int64_t used = 0;
    std::int64_t total = 0;
    for (int role = 0; role < roles; ++role) {
        std::int64_t kb = v[static_cast<std::size_t>(role)].value_or(0);
        total = sat_add(total, kb);
        if (role == active || role == laundry || role == wired || role == buf)
            used = sat_add(used, kb);
    }
    get_free_save(&f.ram, used, total);
    return true;
}

// FreeBSD, DragonFly, OpenBSD and NetBSD: "Swap: 256M Total, 38M Used, 217M Free,
// 15% Inuse, 4K In, 8K Out", Used left out when it is zero.
bool bsd_swap(std::string_view rest, free_figures& f)
{
    enum { total, used, free, inuse, in, out, roles };
    std::optional<std::vector<item>> items = read_items(rest, kib);
    std::array<std::optional<std::int64_t>, roles> v;
    if (!items ||
        !by_role(
            *items,
            {{"Total", total}, {"Used", used}, {"Free", free}, {"Inuse", inuse}, {"In", in}, {"Out", out}}, v,
            inuse))
        return false;
    if (!v[total] || (!v[used] && !v[free]))
        return false;
    get_free_save(&f.swap, v[used] ? *v[used] : *v[total] - *v[free], *v[total]);
    return true;
}

// Linux procps, every generation:
//   3.2        "Mem:  2059208k total, 1949316k used, 109892k free, 183924k buffers"
//              "Swap: 1004020k total, 17684k used, 986336k free, 1205916k cached"
//   3.3 early  "Kb Mem:" / "KiB Mem:" with the same labels, bare amounts
//   3.3.10+    "KiB Mem :  3861332 total, 3446476 free, 216940 used, 197916 buff/cache"
//              "KiB Swap:  2097148 total, 2097148 free, 0 used.  3419356 avail Mem"
//   4.x        the same in "MiB", "GiB" ... with one decimal.
// Free RAM is "avail Mem" where the Swap line shows it, else free plus buffers or
// buff/cache plus the Swap line's "cached".
bool procps_mem(std::string_view rest, std::int64_t unit, free_figures& f)
{
    enum { total, used, free, cache, roles };
    std::optional<std::vector<item>> items = read_items(rest, unit);
    std::array<std::optional<std::int64_t>, roles> v;
    if (!items ||
        !by_role(
            *items,
            {{"total", total}, {"used", used}, {"free", free}, {"buffers", cache}, {"buff/cache", cache}}, v))
        return false;
    if (!v[total] || (!v[free] && !v[used]))
        return false;
    std::int64_t unused = v[free] ? *v[free] : *v[total] - *v[used];
    unused = sat_add(unused, v[cache].value_or(0));
    get_free_save(&f.ram, *v[total] - unused, *v[total]);
    f.pending_mem = free_figures::linux_mem{*v[total], unused};
    return true;
}

bool procps_swap(std::string_view rest, std::int64_t unit, free_figures& f)
{
    enum { total, used, free, cached, avail, roles };
    std::optional<std::vector<item>> items = read_items(rest, unit);
    std::array<std::optional<std::int64_t>, roles> v;
    if (!items ||
        !by_role(*items,
                 {{"total", total}, {"used", used}, {"free", free}, {"cached", cached}, {"avail Mem", avail}},
                 v))
        return false;
    if (!v[total] || (!v[used] && !v[free]))
        return false;
    get_free_save(&f.swap, v[used] ? *v[used] : *v[total] - *v[free], *v[total]);
    if (f.pending_mem) {
        auto [mem_total, mem_free] = *f.pending_mem;
        if (v[avail])
            get_free_save(&f.ram, mem_total - *v[avail], mem_total);
        else if (v[cached])
            get_free_save(&f.ram, mem_total - sat_add(mem_free, *v[cached]), mem_total);
        f.pending_mem.reset();
    }
    return true;
}

// procps-ng's "KiB Mem :", "MiB Swap:", "Kb Mem:" ...: the unit word, then "Mem" or
// "Swap", then a colon.
struct linux_line {
    std::int64_t unit;
    bool swap;
    std::string_view rest;
};

std::optional<linux_line> linux_prefix(std::string_view line)
{
    static constexpr std::pair<std::string_view, std::int64_t> words[] = {
        {"Kb", kib},        {"KiB", kib},       {"MiB", kib << 10}, {"GiB", kib << 20},
        {"TiB", kib << 30}, {"PiB", kib << 40}, {"EiB", kib << 50},
    };
    for (auto [word, unit] : words) {
        scanner sc{line};
        if (!sc.eat(word) || !is_blank(sc.peek()))
            continue;
        sc.blanks();
        bool swap = sc.eat("Swap");
        if (!swap && !sc.eat("Mem"))
            return std::nullopt;
        sc.blanks();
        if (!sc.eat(":"))
            return std::nullopt;
        return linux_line{unit, swap, line.substr(sc.at)};
    }
    return std::nullopt;
}

// NetBSD: "Memory: 45M Act, 12M Inact, 8K Wired, 4M Exec, 22M File, 1834M Free", a field
// left out when it is zero. Act, Inact, Wired and Free are the page queues and add up to
// the memory that the kernel manages; Exec and File count pages on those queues by what
// they hold. Free is the free queue plus the file cache (File), which the kernel hands
// back on demand, as NetBSD's own account of available memory counts it.
bool netbsd_memory(std::string_view rest, free_figures& f)
{
    enum { act, inact, wired, exec, file, free, roles };
    std::optional<std::vector<item>> items = read_items(rest, kib);
    std::array<std::optional<std::int64_t>, roles> v;
    if (!items || !by_role(*items,
                           {{"Act", act},
                            {"Inact", inact},
                            {"Wired", wired},
                            {"Exec", exec},
                            {"File", file},
                            {"Free", free}},
                           v))
        return false;
    std::int64_t total = 0;
    for (int queue : {act, inact, wired, free})
        total = sat_add(total, v[static_cast<std::size_t>(queue)].value_or(0));
    std::int64_t available = std::min(total, sat_add(v[free].value_or(0), v[file].value_or(0)));
    get_free_save(&f.ram, total - available, total);
    return true;
}

// SunOS: "Memory: 3647M phys mem, 1621M free mem, 2047M swap, 2047M free swap" or
// "Memory: 128M real, 24M free, 96M swap in use, 290M swap free"; IRIX:
// "Memory: 512M max, 467M avail, 281M free, 1024M swap, 1020M free swap".
bool sunos_memory(std::string_view rest, free_figures& f)
{
    enum { real, free, avail, swap_total, swap_used, swap_free, roles };
    std::optional<std::vector<item>> items = read_items(rest, kib);
    std::array<std::optional<std::int64_t>, roles> v;
    if (!items || !by_role(*items,
                           {{"real", real},
                            {"phys mem", real},
                            {"max", real},
                            {"free", free},
                            {"free mem", free},
                            {"avail", avail},
                            {"swap", swap_total},
                            {"total swap", swap_total},
                            {"swap total", swap_total},
                            {"swap in use", swap_used},
                            {"swap free", swap_free},
                            {"free swap", swap_free}},
                           v))
        return false;
    if (!v[real] || !v[free])
        return false;
    get_free_save(&f.ram, *v[real] - *v[free], *v[real]);
    std::optional<std::int64_t> total = v[swap_total];
    if (!total && v[swap_used] && v[swap_free])
        total = sat_add(*v[swap_used], *v[swap_free]);
    if (total && v[swap_used])
        get_free_save(&f.swap, *v[swap_used], *total);
    else if (total && v[swap_free])
        get_free_save(&f.swap, *total - *v[swap_free], *total);
    return true;
}

// OpenBSD: "Memory: Real: 411M/713M act/tot Free: 256M Cache: 152M Swap: 192M/512M", older
// releases without "Cache:" and with "used/tot" at the end. RAM in use is the "tot"
// amount, of that plus "Free:"; swap is used of total after "Swap:".
bool openbsd_memory(std::string_view rest, free_figures& f)
{
    scanner sc{rest};
    auto one = [&](std::int64_t& out) {
        sc.blanks();
        std::optional<amount> a = read_amount(sc, kib);
        if (!a || a->percent)
            return false;
        out = a->kib;
        return true;
    };
    auto two = [&](std::int64_t& first, std::int64_t& second) {
        if (!one(first) || sc.peek() != '/')
            return false;
        sc.skip();
        return one(second);
    };
    std::int64_t active = 0, real = 0, free = 0, cache = 0, swap_used = 0, swap_total = 0;
    if (!two(active, real))
        return false;
    sc.blanks();
    sc.eat("act/tot");
    sc.blanks();
    if (!sc.eat("Free:") || !one(free))
        return false;
    sc.blanks();
    if (sc.eat("Cache:") && !one(cache))
        return false;
    sc.blanks();
    if (!sc.eat("Swap:") || !two(swap_used, swap_total))
        return false;
    sc.blanks();
    sc.eat("used/tot");
    sc.blanks();
    if (!sc.done())
        return false;
    get_free_save(&f.ram, real, sat_add(real, free));
    get_free_save(&f.swap, swap_used, swap_total);
    return true;
}

// A list of amounts with word labels ("45M Act, 12M Inact"): a layout with labels, even
// when no reader here knows them. Bare numbers ("1000 250 750 0") are not labels.
bool has_labels(std::string_view rest)
{
    std::optional<std::vector<item>> items = read_items(rest, kib);
    return items && std::all_of(items->begin(), items->end(), [](const item& it) {
               char c = it.label.front();
               return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
           });
}

// ---- Count rules: lines of no known layout, read by how many numbers they hold -------

void count_rules(std::string_view line, free_figures& f)
{
    std::vector<std::int32_t> n = parse_nums(line);
    std::size_t nums = n.size();
    auto at = [&](std::size_t k) { return std::int64_t{n[k - 1]}; }; // k-th number, from 1

    if (line.starts_with("Memory: Real:")) {
        // Too few numbers for the rule: nothing changes.
        if (nums >= 5) {
            get_free_save(&f.ram, at(2), at(2) + at(3));
            get_free_save(&f.swap, at(4), at(5));
        }
    } else if (line.starts_with("Memory:")) {
        if (nums == 5) {
            get_free_save(&f.ram, at(1) - at(3), at(1));
            get_free_save(&f.swap, at(4) - at(5), at(4));
        } else if (nums == 4) {
            get_free_save(&f.ram, at(1) - at(2), at(1));
            get_free_save(&f.swap, at(3) - at(4), at(3));
        }
    } else if (line.starts_with("Swap:")) {
        if (nums == 4)
            get_free_save(&f.swap, at(3), at(1));
        else if (nums == 2)
            get_free_save(&f.swap, at(1) - at(2), at(1));
    } else if (line.starts_with("Mem:")) {
        if (nums == 4 || nums == 5)
            get_free_save(&f.ram, at(2), at(1));
        else if (nums == 6)
            get_free_save(&f.ram, at(1) + at(3) + at(5), at(1) + at(2) + at(3) + at(4) + at(5) + at(6));
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

} // namespace

void parse_top_line(std::string_view line, free_figures& figures)
{
    // A line is a C text: it ends at a zero byte.
    line = line.substr(0, line.find('\0'));
    // A line with labels that no reader knows sets nothing: its numbers mean something
    // else than the count rules assume.
    bool labelled = false;
    if (line.starts_with("Memory: Real:"))
        labelled = openbsd_memory(line.substr(13), figures);
    else if (line.starts_with("Memory:"))
        labelled = netbsd_memory(line.substr(7), figures) || sunos_memory(line.substr(7), figures) ||
                   has_labels(line.substr(7));
    else if (line.starts_with("Swap:"))
        labelled = bsd_swap(line.substr(5), figures) || procps_swap(line.substr(5), kib, figures) ||
                   has_labels(line.substr(5));
    else if (line.starts_with("Mem:"))
        labelled = bsd_mem(line.substr(4), figures) || procps_mem(line.substr(4), kib, figures) ||
                   has_labels(line.substr(4));
    else if (std::optional<linux_line> l = linux_prefix(line))
        labelled = l->swap ? procps_swap(l->rest, l->unit, figures)
                           : procps_mem(l->rest, l->unit, figures);
    if (!labelled)
        count_rules(line, figures);
}

void parse_top(line_source& lines, free_figures& figures)
{
    std::string line;
    while (lines.next(line))
        parse_top_line(chomp(line), figures);
}

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
    if (ram)
        *ram = f.ram;
    if (swap)
        *swap = f.swap;
    const char* missing = (ram && f.ram == -1) ? "RAM" : (swap && f.swap == -1) ? "swap" : nullptr;
    if (missing && problem)
        *problem = top.cause(std::string("printed no line that gives the ") + missing + " figure");
    return 1;
}

int read_top(int* ram, int* swap, std::string& problem) { return get_free(ram, swap, &problem); }

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
    free_check(arg, status, result, 1, "Free RAM Limit [%]", "%d%% of RAM memory free",
               "Low RAM memory: %d%% free");
}

void run_swap(const param_array& arg, int& status, std::string& result)
{
    free_check(arg, status, result, 0, "Free Swap Limit [%]", "%d%% of SWAP memory free",
               "Low SWAP memory: %d%% free");
}

} // namespace dorv
