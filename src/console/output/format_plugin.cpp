// What a scheduler reads: one monitoring-plugin result (format plugin) or one passive
// check result per check (format passive), printed at the end. A failed command is an
// UNKNOWN result of its own; lists and descriptions are readable text.
#include <ctime>

#include "console/output/format.h"
#include "console/output/format_human.h"
#include "console/output/passive_result.h"
#include "console/output/plugin_output.h"
#include "console/output/result_sink.h"
#include "console/text/text.h"

namespace dorv {

namespace {

class scheduler_output : public stream_output {
  public:
    using stream_output::stream_output;

    void list(const std::vector<check_info>& offered) override { print(human_list(offered)); }
    void describe(const std::string& check, const std::vector<param_info>& params) override
    {
        print(human_describe(check, params));
    }
    void result(const run_outcome& r) override { runs_.push_back(r); }
    void error(const command_error& e) override
    {
        run_outcome r;
        r.check = e.check;
        r.text = e.message;
        r.service = e.service.empty() ? e.check : e.service;
        runs_.push_back(std::move(r));
    }
    // Each service hears that it was not run.
    void not_run(const command_error& e) override
    {
        command_error told = e;
        told.message = "not run: " + e.message;
        error(told);
    }
    void skipped(const std::string& check, const std::string& why) override { complain_skipped(check, why); }
    void usage_error(const std::string& error) override
    {
        std::fprintf(s_.out, "DORV UNKNOWN - %s (see --help)\n", plugin_text(error).c_str());
        std::fprintf(s_.err, "dorv-console: %s\n\n%s", error.c_str(),
                     (s_.usage ? s_.usage() : std::string()).c_str());
    }

  protected:
    std::vector<run_outcome> runs_;
};

class plugin_output : public scheduler_output {
  public:
    using scheduler_output::scheduler_output;
    void finish() override
    {
        if (!runs_.empty())
            print(plugin_report(runs_));
    }
};

// Passive results go to standard output as command-file lines, or to the scheduler's API
// when the setup has a sink (--submit).
class passive_output : public scheduler_output {
  public:
    using scheduler_output::scheduler_output;
    void finish() override
    {
        std::vector<passive_result> results = passive_results(runs_, s_.host.value_or(""));
        if (s_.sink)
            rejected_ = deliver(*s_.sink, results, s_.delivery_seconds, s_.err);
        else
            print(passive_lines(results, std::time(nullptr)));
    }
    bool delivered() const override { return rejected_ == 0; }

  private:
    std::size_t rejected_ = 0;
};

} // namespace

std::unique_ptr<console_output> make_plugin_output(const output_setup& setup)
{
    return std::make_unique<plugin_output>(setup);
}

std::unique_ptr<console_output> make_passive_output(const output_setup& setup)
{
    return std::make_unique<passive_output>(setup);
}

} // namespace dorv
