// The command lines of the project's programs, parsed by CLI11 with one
// behaviour everywhere: --help and --version print to standard output and
// end with exit status 0; a usage error is one line on standard error,
// "<program>: <reason> (see --help)", and exit status 2.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace i2m {

// Sets up --help and --version on `app` for the program `name`.
void add_standard_flags(CLI::App& app, const std::string& name);

// A check that a value (each of a list) is a positive number, with a
// message a user reads at a glance.
CLI::Validator positive_number();

// Parses the arguments into `app`. Returns nothing when the program goes
// on, otherwise the exit status it must end with (after printing).
std::optional<int> parse_command_line(CLI::App& app, int argc, char** argv);

}  // namespace i2m
