// A check the agent offers, whatever its source: a built-in row or a check of the
// administrator's own. The request handlers know checks only through this.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "protocol/param_array.h"

namespace dorv {

class offered_check {
  public:
    virtual ~offered_check() = default;

    virtual const std::string& name() const = 0;
    virtual const std::string& description() const = 0;

    // Why the check does not run, as the console is told beside its description; nothing
    // for a check that may run.
    virtual std::optional<std::string> refusal() const = 0;

    // Appends the check's parameter descriptors to an empty list, keeping its packed form
    // within budget characters.
    virtual void describe(param_array& descriptors, std::size_t budget) = 0;

    // Whether the values of its list are the host's mount points (whose file system types
    // a console may ask for beside them).
    virtual bool lists_mount_points() const { return false; }

    // Runs the check with the console's values and appends the reply pairs to cmd.
    virtual void run(const std::string& cmd, const param_array& args, param_array& reply) = 0;
};

} // namespace dorv
