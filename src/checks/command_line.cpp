// Splitting a configured check's command line.
#include "checks/command_line.h"

#include <algorithm>

#include "base/text_helpers.h"

namespace dorv {

namespace {

// The parameter whose placeholder starts at text[i] (a '{'), and the placeholder's length.
std::optional<std::pair<int, std::size_t>> placeholder_at(std::string_view text, std::size_t i,
                                                          const std::vector<std::string>& params)
{
    std::size_t close = text.find('}', i + 1);
    if (close == std::string_view::npos)
        return std::nullopt;
    std::string_view name = text.substr(i + 1, close - i - 1);
    auto it = std::find(params.begin(), params.end(), name);
    if (it == params.end())
        return std::nullopt;
    return std::make_pair(static_cast<int>(it - params.begin()), close - i + 1);
}

void add_literal(command_word& word, char c)
{
    if (word.empty() || word.back().param >= 0)
        word.push_back({});
    word.back().text += c;
}

} // namespace

split_command split_command_line(std::string_view text, const std::vector<std::string>& params)
{
    split_command out;
    command_word word;
    bool in_word = false, quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\'') {
            quoted = !quoted;
            in_word = true; // '' is an empty word
        } else if (!quoted && is_blank(c)) {
            if (in_word)
                out.words.push_back(std::move(word));
            word.clear();
            in_word = false;
        } else if (auto p = c == '{' ? placeholder_at(text, i, params) : std::nullopt) {
            word.push_back({params[static_cast<std::size_t>(p->first)], p->first});
            i += p->second - 1;
            in_word = true;
        } else {
            add_literal(word, c);
            in_word = true;
        }
    }
    if (quoted)
        out.error = "a single quote is not closed";
    if (in_word)
        out.words.push_back(std::move(word));
    return out;
}

std::vector<std::string> unknown_placeholders(std::string_view text, const std::vector<std::string>& params)
{
    std::vector<std::string> unknown;
    for (std::size_t open = text.find('{'); open != std::string_view::npos; open = text.find('{', open + 1)) {
        std::size_t close = text.find_first_of("{}", open + 1);
        if (close == std::string_view::npos || text[close] != '}' || close == open + 1)
            continue;
        std::string name(text.substr(open + 1, close - open - 1));
        if (std::find(params.begin(), params.end(), name) == params.end())
            unknown.push_back(name);
    }
    return unknown;
}

std::vector<std::string> expand_command(const std::vector<command_word>& words,
                                        const std::vector<std::string>& values)
{
    std::vector<std::string> argv;
    for (const auto& word : words) {
        std::string arg;
        for (const auto& piece : word)
            arg += piece.param >= 0 ? values[static_cast<std::size_t>(piece.param)] : piece.text;
        argv.push_back(std::move(arg));
    }
    return argv;
}

bool has_placeholder(const command_word& word)
{
    return std::any_of(word.begin(), word.end(), [](const word_piece& p) { return p.param >= 0; });
}

} // namespace dorv
