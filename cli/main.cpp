// tervane-cli: the headless front end over the same engines as the GUI.
#include <CLI/CLI.hpp>

#include "cli/command.h"

int main(int argc, char** argv) {
    CLI::App app{"tervane-cli - find and set up IP cameras on the local network"};
    app.require_subcommand(1);
    int exit_code = 0;
    add_discover_command(app, &exit_code);
    add_change_ip_command(app, &exit_code);
    add_batch_command(app, &exit_code);
    add_records_command(app, &exit_code);
    CLI11_PARSE(app, argc, argv);
    return exit_code;
}
