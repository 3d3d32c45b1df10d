// vyr: the sensor's settings, information and measurement from a shell.

#include "commands.h"
#include "output.h"
#include "run.h"

#include <CLI/CLI.hpp>
#include <exception>

int main(int argc, char** argv)
{
    CLI::App app("vyr: set up and read VYR scanning laser range sensors over TCP or a serial line.",
                 "vyr");
    app.set_version_flag("--version", std::string("vyr ") + VYR_VERSION);
    // Parse errors quote what was typed; set before the subcommands, which inherit it.
    app.failure_message([](const CLI::App* failed, const CLI::Error& error) {
        const std::string text = CLI::FailureMessage::simple(failed, error);
        std::string shown = "vyr: ";
        for (size_t begin = 0, end; begin < text.size(); begin = end + 1) {
            end = std::min(text.find('\n', begin), text.size());
            shown += visible_text(text.substr(begin, end - begin)) + (end < text.size() ? "\n" : "");
        }
        return shown;
    });
    app.require_subcommand(1);
    app.fallthrough();
    Common common;
    add_common_options(app, common);
    add_ports_command(app, common);
    add_info_command(app, common);
    add_maintenance_commands(app, common);
    add_scan_command(app, common);
    add_find_command(app, common);
    app.footer("Exit codes: 0 success, 1 the sensor refused or answered wrongly or the output "
               "could not be written, 2 usage error, 3 could not connect, 130 or 143 interrupted "
               "(Ctrl-C, SIGTERM); with several targets the highest of them. find: 0 a sensor was "
               "found, 1 none.\n"
               "Examples:\n"
               "  vyr info --host 192.168.0.10\n"
               "  vyr heater on --hosts fleet.txt --json\n"
               "  vyr scan --serial ttyACM0 --count 100 > scans.csv\n"
               "  vyr find --range 192.168.0.0/24\n"
               "Each subcommand has its own --help.");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // Help and version are successes; every other parse failure is a usage error.
        return finish_output(app.exit(error) == 0 ? exit_ok : exit_usage);
    } catch (const std::exception& error) {
        // Whatever was printed stays printed; the rest is a message, never an abort.
        print_error_line(std::string("internal error: ") + error.what());
        return finish_output(exit_refused);
    }
    return finish_output(common.exit_code);
}
