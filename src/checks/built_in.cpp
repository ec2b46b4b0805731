// The built-in check table and its rows as offered checks.
#include "checks/built_in.h"

#include "checks/catalog.h"
#include "probes/cpu.h"
#include "probes/disk.h"
#include "probes/memory.h"
#include "probes/processes.h"
#include "protocol/reply_budget.h"

namespace dorv {

namespace {

// A built-in check: its catalog row's name and description with its builder and runner.
constexpr check_t built_in(catalog_index i, params_fn params, run_fn run)
{
    return {check_catalog[i].name, check_catalog[i].desc, params, run};
}

class built_in_offer final : public offered_check {
  public:
    explicit built_in_offer(const check_t& row) : row_(row), name_(row.name), desc_(row.desc) {}

    const std::string& name() const override { return name_; }
    const std::string& description() const override { return desc_; }
    std::optional<std::string> refusal() const override { return std::nullopt; }

    void describe(param_array& descriptors, std::size_t budget) override { row_.params(descriptors, budget); }
    bool lists_mount_points() const override { return row_.params == params_diskspace; }

    void run(const std::string& cmd, const param_array& args, param_array& reply) override
    {
        std::string resultstring = "No result";
        int status = -1;
        row_.run_check(args, status, resultstring);
        if (status == -1) {
            add_last_value(cmd, reply, "errormessage", resultstring);
            return;
        }
        array_add(reply, "checkid", 0, name_);
        array_add(reply, "result", 0, status != 0 ? "up" : "down");
        add_last_value(cmd, reply, "resultstring", resultstring);
    }

  private:
    const check_t& row_;
    std::string name_, desc_;
};

} // namespace

const check_t checks[] = {
    built_in(catalog_cpu, params_cpu, run_cpu),
    built_in(catalog_diskspace, params_diskspace, run_diskspace),
    built_in(catalog_ram, params_ram, run_ram),
    built_in(catalog_swap, params_swap, run_swap),
    built_in(catalog_processes, params_processes, run_processes),
    {},
};

std::unique_ptr<offered_check> built_in_check(const check_t& row)
{
    return std::make_unique<built_in_offer>(row);
}

} // namespace dorv
