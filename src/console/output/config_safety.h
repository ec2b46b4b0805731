// What each configuration format can carry of a value that came from a monitored host.
// A value a format cannot carry is left out of it, never written: these rules say which.
#pragma once

#include <optional>
#include <string>

namespace dorv {

// Why v cannot be one word of a console command line that the scheduler hands over as
// values ('=' would make it a named value, a leading '-' an option); "" when it can.
std::string console_word_problem(const std::string& v);

// Why v cannot stand in Nagios object configuration, as a service or host name or in a
// check_command: only letters, digits and "/._+:@-" pass, not starting with '-'. Anything
// else could make the scheduler run the command line through a shell ("'", ";", "$", a
// line end), end an argument ("!"), start a comment (";") or split a value (a blank).
// "" when it can.
std::string nagios_problem(const std::string& v);

// v as an Icinga 2 string literal: in quotes, with '\', '"' and '$' (a macro sign, as
// "$$") escaped. Nothing when v holds a byte that no escape carries safely (a control
// character, a line end, anything outside printable ASCII).
std::optional<std::string> icinga_string(const std::string& v);

// Why v cannot be (part of) an Icinga 2 object name; "" when it can.
std::string icinga_name_problem(const std::string& v);

// v for a comment line: every byte that the Nagios rule refuses, other than a blank,
// shown as '?', so that a comment never carries what the configuration left out.
std::string shown(const std::string& v);

} // namespace dorv
