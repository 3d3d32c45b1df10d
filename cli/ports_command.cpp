#include "commands.h"
#include "output.h"
#include "result.h"
#include "run.h"
#include "vyr_driver.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// The USB product string of the device a port belongs to; empty for other ports.
std::string port_description(const std::string& name)
{
    std::error_code error;
    fs::path device = fs::canonical(fs::path("/sys/class/tty") / name / "device", error);
    for (int depth = 0; !error && depth < 8 && device.has_relative_path();
         ++depth, device = device.parent_path()) {
        std::ifstream product(device / "product");
        std::string text;
        if (product && std::getline(product, text)) {
            return text;
        }
    }
    return "";
}

int list_ports(const Common& common)
{
    std::vector<int> sensor_flags;
    const std::vector<std::string> names = kvt::Vyr_driver::list_ports(sensor_flags);
    if (common.json) {
        Json ports = Json::array();
        for (size_t i = 0; i < names.size(); ++i) {
            ports.push_back({{"name", names[i]},
                             {"sensor", sensor_flags[i] == 1},
                             {"description", port_description(names[i])}});
        }
        write_out(json_text(Json{{"command", "ports"}, {"exit_code", 0}, {"ports", ports}}, 2) +
                  "\n");
        return exit_ok;
    }
    // A device's product string is the device's to choose: shown, never obeyed.
    std::vector<std::string> shown;
    size_t width = 0;
    for (const std::string& name : names) {
        shown.push_back(visible_text(name));
        width = std::max(width, shown.back().size());
    }
    for (size_t i = 0; i < names.size(); ++i) {
        write_out(shown[i] + std::string(width - shown[i].size(), ' ') + "  " +
                  (sensor_flags[i] == 1 ? "sensor" : "      ") + "  " +
                  visible_text(port_description(names[i])) + "\n");
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
