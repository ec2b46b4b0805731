// The layouts of top's summary lines whose amounts carry labels: FreeBSD and DragonFly
// "Mem:", BSD "Swap:", Linux procps "Mem"/"Swap", BusyBox "Mem:", OpenBSD "Memory: Real:", NetBSD, SunOS
// and IRIX "Memory:". Each amount is read with its unit.
#include "probes/top_layouts.h"

#include "probes/labelled_amounts.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <limits>
#include <optional>
#include <vector>

namespace dorv {

namespace {

using namespace labelled;

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
    save_ram(f, used, total);
    return true;
}

// The used amount of a line that shows used or free amounts (or both) of total: the used
// amount where shown, unless the free amount exceeds the total, which no used amount makes
// true.
std::int64_t used_of(std::optional<std::int64_t> used, std::optional<std::int64_t> free, std::int64_t total)
{
    return used && !(free && *free > total) ? *used : total - *free;
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
    save_swap(f, used_of(v[used], v[free], *v[total]), *v[total]);
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
    f.pending_mem.reset();
    if (v[used] && *v[used] > *v[total]) {
        save_ram(f, *v[used], *v[total]);
        return true;
    }
    std::int64_t unused = v[free] ? *v[free] : *v[total] - *v[used];
    unused = sat_add(unused, v[cache].value_or(0));
    save_ram(f, *v[total] - unused, *v[total]);
    if (!f.ram_untrue)
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
    save_swap(f, used_of(v[used], v[free], *v[total]), *v[total]);
    if (f.pending_mem) {
        auto [mem_total, mem_free] = *f.pending_mem;
        if (v[avail])
            save_ram(f, mem_total - *v[avail], mem_total);
        else if (v[cached])
            save_ram(f, mem_total - sat_add(mem_free, *v[cached]), mem_total);
        f.pending_mem.reset();
    }
    return true;
}

// BusyBox: "Mem: 574368K used, 24109360K free, 12044K shrd, 4908K buff, 218836K cached".
// The total is used plus free; free RAM counts the buffers and the page cache, as the
// procps reading does.
bool busybox_mem(std::string_view rest, free_figures& f)
{
    enum { used, free, shrd, buff, cached, roles };
    std::optional<std::vector<item>> items = read_items(rest, kib);
    std::array<std::optional<std::int64_t>, roles> v;
    if (!items ||
        !by_role(*items, {{"used", used}, {"free", free}, {"shrd", shrd}, {"buff", buff}, {"cached", cached}},
                 v))
        return false;
    if (!v[used] || !v[free])
        return false;
    std::int64_t total = sat_add(*v[used], *v[free]);
    std::int64_t unused = sat_add(*v[free], sat_add(v[buff].value_or(0), v[cached].value_or(0)));
    save_ram(f, total - unused, total);
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
    save_ram(f, total - available, total);
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
    save_ram(f, *v[real] - *v[free], *v[real]);
    std::optional<std::int64_t> total = v[swap_total];
    if (!total && v[swap_used] && v[swap_free])
        total = sat_add(*v[swap_used], *v[swap_free]);
    if (total && v[swap_used])
        save_swap(f, *v[swap_used], *total);
    else if (total && v[swap_free])
        save_swap(f, *total - *v[swap_free], *total);
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
    save_ram(f, real, sat_add(real, free));
    save_swap(f, swap_used, swap_total);
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

} // namespace

line_subject subject_of(std::string_view line)
{
    if (line.starts_with("Memory:"))
        return {true, true};
    if (line.starts_with("Mem:"))
        return {true, false};
    if (line.starts_with("Swap:"))
        return {false, true};
    if (std::optional<linux_line> l = linux_prefix(line))
        return {!l->swap, l->swap};
    return {};
}

bool read_labelled_line(std::string_view line, free_figures& figures)
{
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
                   busybox_mem(line.substr(4), figures) || has_labels(line.substr(4));
    else if (std::optional<linux_line> l = linux_prefix(line))
        labelled = l->swap ? procps_swap(l->rest, l->unit, figures) : procps_mem(l->rest, l->unit, figures);
    return labelled;
}

} // namespace dorv
