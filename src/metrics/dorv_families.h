// The metric families that dorv's runs give, named once for the console's prometheus
// format, the many-hosts run and the exporter, and the answer of a run that gave none.
#pragma once

#include <string>
#include <string_view>

#include "metrics/exposition.h"

namespace dorv::families {

inline constexpr metric_family up{
    "dorv_up", "gauge",
    "1 when the agent answered every command of the run, 0 when it could not be reached or did not "
    "answer in time"};
inline constexpr metric_family duration{"dorv_probe_duration_seconds", "gauge",
                                        "How long the run took, in seconds"};
inline constexpr metric_family check_state{
    "dorv_check_state", "gauge",
    "The state of the check as a plugin states it: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN"};
inline constexpr metric_family cpu_load{
    "dorv_cpu_load_ratio", "gauge",
    "The user and system share of the processor time, as the agent measured it"};
inline constexpr metric_family filesystem_free{"dorv_filesystem_free_ratio", "gauge",
                                               "The free share of the file system mounted at mountpoint"};
inline constexpr metric_family memory_free{"dorv_memory_free_ratio", "gauge", "The free share of the RAM"};
inline constexpr metric_family swap_free{"dorv_swap_free_ratio", "gauge", "The free share of the swap space"};
inline constexpr metric_family process_running{
    "dorv_process_running", "gauge", "1 when a process whose command begins with name is running, else 0"};
inline constexpr metric_family plugin_value{
    "dorv_plugin_value", "gauge",
    "An item of a configured check's performance data, in base units: seconds, bytes, a ratio for %"};
inline constexpr metric_family plugin_counter{
    "dorv_plugin_counter_total", "counter",
    "An item of a configured check's performance data that counts (unit c)"};
inline constexpr metric_family plugin_warning{
    "dorv_plugin_warning", "gauge", "The warning limit of a performance data item, in its base unit"};
inline constexpr metric_family plugin_critical{
    "dorv_plugin_critical", "gauge", "The critical limit of a performance data item, in its base unit"};

// The exposition of a run that gave no answer: why as a comment, dorv_up 0 and its
// duration, each sample with labels.
std::string unanswered(const metric_labels& labels, double seconds, std::string_view why);

} // namespace dorv::families
