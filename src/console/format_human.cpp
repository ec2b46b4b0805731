// Readable text for a person at a terminal: results on standard output, failures on
// standard error.
#include "console/format.h"
#include "console/text/text.h"

namespace dorv {

namespace {

class human_output : public stream_output {
  public:
    using stream_output::stream_output;

    void list(const std::vector<check_info>& offered) override { print(human_list(offered)); }
    void describe(const std::string& check, const std::vector<param_info>& params) override
    {
        print(human_describe(check, params));
    }
    void result(const run_outcome& r) override { print(human_run(r)); }
    void error(const command_error& e) override { complain(human_text(e.message)); }
    void skipped(const std::string& check, const std::string& why) override { complain_skipped(check, why); }
};

} // namespace

std::unique_ptr<console_output> make_human_output(const output_setup& setup)
{
    return std::make_unique<human_output>(setup);
}

} // namespace dorv
