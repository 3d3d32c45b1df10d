#include "commands.h"
#include "output.h"
#include "result.h"
#include "run.h"
#include "vyr_driver.h"

#include <CLI/CLI.hpp>
#include <algorithm>

namespace {

int list_ports(const Common& common)
{
    const std::vector<kvt::Port_entry> entries = kvt::Vyr_driver::list_port_entries();
    if (common.json) {
        Json ports = Json::array();
        for (const kvt::Port_entry& entry : entries) {
            ports.push_back({{"name", entry.name},
                             {"sensor", entry.sensor},
                             {"description", entry.description}});
        }
        write_out(json_text(Json{{"command", "ports"}, {"exit_code", 0}, {"ports", ports}}, 2) +
                  "\n");
        return exit_ok;
    }
    // A device's product string is the device's to choose: shown, never obeyed.
    std::vector<std::string> shown;
    size_t width = 0;
    for (const kvt::Port_entry& entry : entries) {
        shown.push_back(visible_text(entry.name));
        width = std::max(width, shown.back().size());
    }
    for (size_t i = 0; i < entries.size(); ++i) {
        write_out(shown[i] + std::string(width - shown[i].size(), ' ') + "  " +
                  (entries[i].sensor ? "sensor" : "      ") + "  " +
                  visible_text(entries[i].description) + "\n");
    }
    return exit_ok;
}

} // namespace

void add_ports_command(CLI::App& app, Common& common)
{
    CLI::App* ports =
        app.add_subcommand("ports", "List the serial ports, sensor ports first and marked");
    ports->footer("Example:\n  vyr ports\n  vyr ports --json");
    ports->callback([&common] { common.exit_code = list_ports(common); });
}
