// Reading the modules file.
#include "exporter/modules.h"

#include <algorithm>
#include <sstream>

#include "base/text_helpers.h"

namespace dorv {

namespace {

bool good_name(const std::string& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), is_name_char);
}

} // namespace

bool split_words(const std::string& line, std::vector<std::string>& words)
{
    std::string word;
    bool in_word = false, quoted = false;
    for (char c : line) {
        if (c == '"') {
            quoted = !quoted;
            in_word = true;
        } else if (is_blank(c) && !quoted) {
            if (in_word)
                words.push_back(word);
            word.clear();
            in_word = false;
        } else {
            word += c;
            in_word = true;
        }
    }
    if (in_word)
        words.push_back(word);
    return !quoted;
}

const probe_module* find_module(const std::vector<probe_module>& modules, const std::string& name)
{
    for (const probe_module& m : modules)
        if (m.name == name)
            return &m;
    return nullptr;
}

std::vector<probe_module> parse_modules(const std::string& text, std::string& error)
{
    std::vector<probe_module> modules = {{default_module, {{default_module}}}};
    std::istringstream in(text);
    std::string raw;
    auto fail = [&](int number, const std::string& why) {
        error = "line " + std::to_string(number) + ": " + why;
        return std::vector<probe_module>{};
    };
    for (int number = 1; std::getline(in, raw); ++number) {
        std::string line(trim_blanks(chomp(raw)));
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line[0] == '[') {
            const std::string prefix = "[module:";
            if (line.rfind(prefix, 0) != 0 || line.back() != ']')
                return fail(number, "a section is [module:NAME], not " + line);
            std::string name = line.substr(prefix.size(), line.size() - prefix.size() - 1);
            if (!good_name(name))
                return fail(number,
                            "a module's name is letters, digits, '_', '-' and '.', not \"" + name + "\"");
            if (find_module(modules, name))
                return fail(number, "the module " + name + " is defined twice");
            if (modules.size() > 1 && modules.back().commands.empty())
                return fail(number, "the module " + modules.back().name + " has no run");
            modules.push_back({name, {}});
            continue;
        }
        std::size_t eq = line.find('=');
        if (eq == std::string::npos || trim_blanks(std::string_view(line).substr(0, eq)) != "run")
            return fail(number, "a module holds \"run = CHECK [VALUE ...]\" lines, not " + line);
        if (modules.size() == 1)
            return fail(number, "a run belongs to a [module:NAME] section");
        std::vector<std::string> words = {"run"};
        if (!split_words(line.substr(eq + 1), words) || words.size() < 2)
            return fail(number, "a run needs a check name (and a closed quote): " + line);
        modules.back().commands.push_back(std::move(words));
    }
    if (modules.size() > 1 && modules.back().commands.empty()) {
        error = "the module " + modules.back().name + " has no run";
        return {};
    }
    return modules;
}

} // namespace dorv
