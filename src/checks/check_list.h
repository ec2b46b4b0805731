// The checks the agent offers to one request, in the order the console numbers them: the
// built-in rows, then the administrator's own, read afresh from the configuration.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "checks/offered_check.h"

namespace dorv {

class check_list {
  public:
    explicit check_list(std::string config_path);

    // Every check offered, the configuration read now if it was not yet.
    const std::vector<std::unique_ptr<offered_check>>& all();

    // The check named name, nullptr when none is. The configuration is read only when no
    // built-in check has the name, so a request about one reads no file.
    offered_check* find(std::string_view name);

  private:
    void read_configured();

    std::string config_path_;
    bool configured_read_ = false;
    std::vector<std::unique_ptr<offered_check>> checks_;
};

} // namespace dorv
