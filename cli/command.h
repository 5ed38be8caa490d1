#pragma once

#include <CLI/CLI.hpp>

// Each subcommand of tervane-cli lives in files of its own and registers
// itself on the application with one of these functions. A subcommand's
// callback stores the program's exit code in *exit_code.
void add_discover_command(CLI::App& app, int* exit_code);
void add_change_ip_command(CLI::App& app, int* exit_code);
void add_batch_command(CLI::App& app, int* exit_code);
void add_records_command(CLI::App& app, int* exit_code);
