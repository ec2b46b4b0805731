// The parameters each check's description gave last time, kept per user in a small file
// and keyed by the agent they came from (the destination and the agent's command, or the
// local agent's path). With them a run sends its values at once, and the agent runs the
// check's probe once; the description is asked for again only when the agent answers that
// the arguments were not what it expects.
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
    // path "" keeps nothing (no home directory to keep it in).
    param_cache(std::string path, std::string key);

    // "$XDG_CACHE_HOME/dorv-console/parameters", else "$HOME/.cache/dorv-console/parameters".
    static std::string default_path();

    std::optional<std::vector<param_info>> find(const std::string& check);
    // Keeps params for check, or forgets check when params is nullptr. Failures to write
    // are ignored: the cache only saves time.
    void store(const std::string& check, const std::vector<param_info>* params);

  private:
    std::vector<std::string> read_lines() const;

    std::string path_;
    std::string key_;
};

} // namespace dorv
