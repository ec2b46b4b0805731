// One JSON object per command on standard output, failures included.
#include "console/format.h"

namespace dorv {

namespace {

class json_output : public console_output {
  public:
    explicit json_output(const output_setup& setup) : s_(setup) {}

    void list(const std::vector<check_info>& offered) override { print(json_list(offered)); }
    void describe(const std::string& check, const std::vector<param_info>& params) override
    {
        print(json_describe(check, params));
    }
    void result(const run_outcome& r) override { print(json_run(r)); }
    void error(const command_error& e) override { print(json_error(e.verb, e.check, e.message)); }
    void not_run(const command_error&) override {}
    void skipped(const std::string& check, const std::string& why) override
    {
        print(json_skipped(check, why));
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

std::unique_ptr<console_output> make_json_output(const output_setup& setup)
{
    return std::make_unique<json_output>(setup);
}

} // namespace dorv
