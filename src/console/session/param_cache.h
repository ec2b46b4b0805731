// The parameters each check's description gave last time, kept per user and keyed by the
// agent they came from (the destination and the agent's command, or the local agent's
// path). With them a run sends its values at once, and the agent runs the check's probe
// once; the description is asked for again only when the agent answers that the arguments
// were not what it expects.
//
// Each agent has a small file of its own in the cache directory, named by a hash of its
// key, so a fleet of any size keeps every host's descriptions: one host's entries never
// push out another's, and consoles running for different hosts at once never write the
// same file. A run reads and writes only its agent's file (at most max_checks_per_agent
// lines), so its memory does not grow with the fleet. On disk a host costs one file of a
// few hundred bytes; files no run has read for stale_days days are removed
// (swept at most once a day, when a new agent's file is made).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/replies/agent_replies.h"

namespace dorv {

// One line of the file: KEY TAB CHECK TAB then, per parameter, NAME US TYPE US MAXLENGTH
// separated by TAB (US is the byte 0x1f). Nothing when the texts cannot be kept in it.
std::optional<std::string> cache_line(const std::string& key, const std::string& check,
                                      const std::vector<param_info>& params);
// One line read back (list values are never kept).
struct cache_entry {
    std::string key;
    std::string check;
    std::vector<param_info> params;
};
// Nothing when line is not one.
std::optional<cache_entry> parse_cache_line(const std::string& line);

class param_cache {
  public:
    static constexpr std::size_t max_checks_per_agent = 256;
    static constexpr int stale_days = 30;

    // dir "" keeps nothing (no home directory to keep it in).
    param_cache(std::string dir, std::string key);

    // "$XDG_CACHE_HOME/dorv-console/parameters.d", else "$HOME/.cache/dorv-console/parameters.d",
    // else the same under the user's home directory in the password database: the first
    // this user can write in, made when missing; "" when none.
    static std::string default_path();

    // The file that holds this agent's entries ("" when nothing is kept).
    const std::string& file() const { return file_; }

    std::optional<std::vector<param_info>> find(const std::string& check);
    // Keeps params for check, or forgets check when params is nullptr. Failures to write
    // are ignored: the cache only saves time.
    void store(const std::string& check, const std::vector<param_info>* params);

  private:
    std::vector<std::string> read_lines() const;
    // Removes the files of agents no run has asked about for stale_days days; once a day.
    void remove_stale() const;

    std::string dir_;
    std::string key_;
    std::string file_;
};

} // namespace dorv
