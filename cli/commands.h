#ifndef VYR_CLI_COMMANDS_H
#define VYR_CLI_COMMANDS_H

// Each adds its subcommands to the program's parser; they run from the parser's callbacks
// and leave their exit code in common.

namespace CLI {
class App;
}
struct Common;

void add_ports_command(CLI::App& app, Common& common);
void add_info_command(CLI::App& app, Common& common);
void add_maintenance_commands(CLI::App& app, Common& common); // heater, phase, address, reboot
void add_scan_command(CLI::App& app, Common& common);
void add_find_command(CLI::App& app, Common& common); // searches, no target needed

#endif
