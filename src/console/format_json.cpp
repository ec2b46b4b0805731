// One JSON object per command on standard output, failures and checks left out included.
#include "console/format.h"

namespace dorv {

namespace {

class json_output : public stream_output {
  public:
    using stream_output::stream_output;

    void list(const std::vector<check_info>& offered) override { print(json_list(offered)); }
    void describe(const std::string& check, const std::vector<param_info>& params) override
    {
        print(json_describe(check, params));
    }
    void result(const run_outcome& r) override { print(json_run(r)); }
    void error(const command_error& e) override { print(json_error(e.verb, e.check, e.message)); }
    void skipped(const std::string& check, const std::string& why) override
    {
        print(json_skipped(check, why));
    }
};

} // namespace

std::unique_ptr<console_output> make_json_output(const output_setup& setup)
{
    return std::make_unique<json_output>(setup);
}

} // namespace dorv
