// The command line of a configured check: split into words at blanks, where single quotes
// group a word that holds blanks and nothing else is special, and where "{NAME}" of a
// parameter stands for that parameter's value as a part of its word. No shell ever sees
// it: the words become the program's arguments as they are.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorv {

// One piece of a word: literal text, or the placeholder of the parameter param.
struct word_piece {
    std::string text; // the literal text; the parameter's name for a placeholder
    int param = -1;   // index into the check's parameters; -1 for literal text
};

using command_word = std::vector<word_piece>;

struct split_command {
    std::vector<command_word> words;
    std::optional<std::string> error; // why the text is no command line (an open quote)
};

// Splits text. A '{' followed by the name of one of params and a '}' is that parameter's
// placeholder, also when the name holds blanks; every other brace is literal text.
split_command split_command_line(std::string_view text, const std::vector<std::string>& params);

// The names in text that look like placeholders ("{NAME}", NAME not empty and without
// braces) but name none of params, in order.
std::vector<std::string> unknown_placeholders(std::string_view text, const std::vector<std::string>& params);

// The arguments: each word with its placeholders replaced by values[param].
std::vector<std::string> expand_command(const std::vector<command_word>& words,
                                        const std::vector<std::string>& values);

// Whether a word holds a placeholder.
bool has_placeholder(const command_word& word);

} // namespace dorv
