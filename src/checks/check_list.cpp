// The checks offered to one request.
#include "checks/check_list.h"

#include "checks/built_in.h"
#include "checks/configured.h"

namespace dorv {

check_list::check_list(std::string config_path) : config_path_(std::move(config_path))
{
    for (const check_t* row = checks; row->name; ++row)
        checks_.push_back(built_in_check(*row));
}

void check_list::read_configured()
{
    if (configured_read_)
        return;
    configured_read_ = true;
    for (auto& c : offer_configured(load_configured_checks(config_path_)))
        checks_.push_back(std::move(c));
}

const std::vector<std::unique_ptr<offered_check>>& check_list::all()
{
    read_configured();
    return checks_;
}

offered_check* check_list::find(std::string_view name)
{
    for (int pass = 0; pass < 2; ++pass) {
        for (const auto& c : checks_)
            if (c->name() == name)
                return c.get();
        if (configured_read_)
            break;
        read_configured();
    }
    return nullptr;
}

} // namespace dorv
