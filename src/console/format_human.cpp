// Readable text for a person at a terminal: results on standard output, failures on
// standard error.
#include "console/format.h"
#include "console/text.h"

namespace dorv {

namespace {

class human_output : public console_output {
  public:
    explicit human_output(const output_setup& setup) : s_(setup) {}

    void list(const std::vector<check_info>& offered) override { print(human_list(offered)); }
    void describe(const std::string& check, const std::vector<param_info>& params) override
    {
        print(human_describe(check, params));
    }
    void result(const run_outcome& r) override { print(human_run(r)); }
    void error(const command_error& e) override
    {
        std::fprintf(s_.err, "dorv-console: %s\n", human_text(e.message).c_str());
    }
    void not_run(const command_error&) override {}
    void skipped(const std::string& check, const std::string& why) override
    {
        std::fprintf(s_.err, "dorv-console: run-all leaves out %s: %s\n", human_text(check).c_str(),
                     human_text(why).c_str());
    }
    void usage_error(const std::string& error) override
    {
        std::fprintf(s_.err, "dorv-console: %s (see --help)\n", error.c_str());
    }
    void finish() override {}

  private:
    void print(const std::string& text) { std::fputs(text.c_str(), s_.out); }

    output_setup s_;
};

} // namespace

std::unique_ptr<console_output> make_human_output(const output_setup& setup)
{
    return std::make_unique<human_output>(setup);
}

} // namespace dorv
