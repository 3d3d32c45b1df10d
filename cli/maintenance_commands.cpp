// heater, phase, address and reboot: the setting commands of the window's panels, for
// one sensor or many.

#include "address_check.h"
#include "commands.h"
#include "output.h"
#include "run.h"
#include "setting_commands.h"
#include "vyr_driver.h"

#include <CLI/CLI.hpp>

#ifndef _WIN32
#include "address_verification.h"
#include "terminal.h"

#include <atomic>
#include <chrono>
#include <thread>
#endif

namespace {

namespace sc = setting_commands;

using sc::Recording_link;

bool reboot_went_through(kvt::Vyr_driver& driver)
{
    return driver.last_error() == kvt::Error::none;
}

// "192.168.0.10" as the four field texts; false unless four numbers 0..255. text becomes
// the address as sent, without leading zeros.
bool address_fields(std::string& text, sc::Address& fields)
{
    if (!parse_ipv4(text, text)) {
        return false;
    }
    size_t begin = 0;
    for (std::string& field : fields) {
        const size_t end = std::min(text.find('.', begin), text.size());
        field = text.substr(begin, end - begin);
        begin = end + 1;
    }
    return true;
}

struct Address_request
{
    std::string ip, mask, gateway;
    sc::Address_form form = sc::Address_form::automatic;
    bool force = false;
    bool verify = false;
};

// Only a simulated sensor is reached at a loopback address, and it may move to another.
bool on_loopback(const Target& target)
{
    uint32_t address = 0;
    return !target.serial &&
           (target.address == "localhost" ||
            (sc::address_value(target.address, address) && address >> 24 == 127));
}

#ifndef _WIN32
// Waits for the sensor at its new address; a failure when it was not seen there.
void verify_new_address(const sc::Network_settings& settings, const Target& target,
                        Result& result)
{
    namespace av = address_verification;
    av::Request request;
    sc::address_value(settings.ip_address, request.address);
    sc::address_value(settings.subnet_mask, request.netmask);
    sc::address_value(settings.default_gateway, request.gateway);
    request.port = target.serial ? int(default_port) : int(target.number);
    request.simulated = av::simulated_sensor(!target.serial, target.address);
    // A stop signal only notes itself; the wait must see it.
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!done && !stop) {
            stop = stop_signal() != 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    const av::Outcome outcome = av::verify(request, vyr_find::system_interfaces(), &stop);
    done = true;
    watcher.join();
    if (outcome.verdict == av::Verdict::answers) {
        result.fields["verified"] = outcome.text;
        result.fields["serial_number"] = outcome.serial_number;
    } else {
        result.fields["verified"] = false;
        result.fail(exit_refused, "the sensor was not seen at its new address", outcome.text);
    }
}
#endif

int change_address(Common& common, Address_request request)
{
    sc::Network_settings settings;
    const std::pair<std::string*, sc::Address*> parts[] = {
        {&request.ip, &settings.ip_address},
        {&request.mask, &settings.subnet_mask},
        {&request.gateway, &settings.default_gateway},
    };
    for (const auto& [text, fields] : parts) {
        if (!address_fields(*text, *fields)) {
            return usage_error("\"" + *text +
                               "\": not an IPv4 address (four numbers 0..255 with dots)");
        }
    }
    std::vector<Target> targets;
    if (!collect_targets(common, targets)) {
        return exit_usage;
    }
    // Sensors on one network that took the same address would all be lost at once.
    if (targets.size() > 1) {
        return usage_error("address set changes one sensor at a time; name exactly one target");
    }
#ifdef _WIN32
    if (request.verify) {
        return usage_error("--verify is not available on Windows");
    }
#endif
    if (!request.force) {
        const std::string refusal = sc::address_refusal(settings, on_loopback(targets.front()));
        if (!refusal.empty()) {
            return usage_error(refusal + "; nothing was sent (--force sends it all the same)");
        }
    }
    return run_on_targets(common, "address", targets, [&](kvt::Vyr_driver& driver, Result& result) {
        Recording_link link(driver);
        switch (sc::change_address(link, settings, request.form)) {
        case sc::Address_result::changed:
            result.fields = {{"address", request.ip},
                             {"netmask", request.mask},
                             {"gateway", request.gateway},
                             {"rebooted", true}};
#ifndef _WIN32
            if (request.verify) {
                driver.close(); // the reboot ended the connection
                verify_new_address(settings, targets.front(), result);
            }
#endif
            break;
        case sc::Address_result::refused:
            result.fail(exit_refused, "the sensor did not take the new address", link.why());
            break;
        case sc::Address_result::reboot_failed:
            result.fields = {{"address", request.ip}, {"rebooted", false}};
            result.fail(exit_refused, driver.last_error_text(),
                        "the sensor took the new address, but did not reboot (" +
                            driver_reason(driver, "no confirmation") +
                            "); it takes effect at its next start");
            break;
        }
    });
}

void add_heater(CLI::App& app, Common& common)
{
    static std::string state;
    CLI::App* heater = app.add_subcommand("heater", "Switch the sensor's heater on or off");
    heater->add_option("state", state, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    heater->footer(
        "Examples:\n  vyr heater on --host 192.168.0.10\n  vyr heater off --hosts fleet.txt");
    heater->callback([&common] {
        const bool on = state == "on";
        common.exit_code =
            run_on_named_targets(common, "heater", [on](kvt::Vyr_driver& driver, Result& result) {
                Recording_link link(driver);
                if (sc::set_heater(link, on)) {
                    result.fields["heater"] = on ? "on" : "off";
                } else {
                    result.fail(exit_refused, "the sensor did not take the heater command",
                                link.why());
                }
            });
    });
}

void add_phase(CLI::App& app, Common& common)
{
    static int degrees = -1;
    CLI::App* phase =
        app.add_subcommand("phase", "Print the sensor's phase, or set it with: phase set N");
    phase->footer(
        "Examples:\n  vyr phase --host 192.168.0.10\n  vyr phase set 45 --host 192.168.0.10");
    CLI::App* set = phase->add_subcommand("set", "Set the phase, a whole number of degrees 0..359");
    set->add_option("degrees", degrees, "0..359")->required()->transform(whole_number(0, 359));
    set->footer("Example:\n  vyr phase set 45 --host 192.168.0.10");
    phase->callback([&common, set] {
        const bool setting = set->parsed();
        const int value = degrees;
        common.exit_code =
            run_on_named_targets(common, "phase", [=](kvt::Vyr_driver& driver, Result& result) {
                Recording_link link(driver);
                const int degrees_now =
                    setting ? (sc::set_phase(link, value) ? value : -1) : sc::get_phase(link);
                if (degrees_now >= 0) {
                    result.fields["phase"] = degrees_now;
                } else {
                    result.fail(exit_refused,
                                setting ? "the sensor did not take the phase"
                                        : "the sensor did not report its phase",
                                link.why());
                }
            });
    });
}

void add_address(CLI::App& app, Common& common)
{
    static Address_request request;
    CLI::App* address = app.add_subcommand(
        "address", "Change the sensor's network address: address set IP MASK GATEWAY");
    address->require_subcommand(1);
    CLI::App* set = address->add_subcommand(
        "set", "Send the new address, mask and gateway, then reboot the sensor");
    set->add_option("ip", request.ip, "New IP address")->required();
    set->add_option("mask", request.mask, "Subnet mask")->required();
    set->add_option("gateway", request.gateway, "Default gateway")->required();
    const std::map<std::string, sc::Address_form> forms = {{"auto", sc::Address_form::automatic},
                                                           {"compact", sc::Address_form::compact},
                                                           {"dotted", sc::Address_form::dotted}};
    set->add_option("--form", request.form, "auto (compact, then dotted), compact or dotted")
        ->transform(CLI::CheckedTransformer(forms, CLI::ignore_case))
        ->default_str("auto");
    set->add_flag("--force", request.force,
                  "Send values that cannot work as well (a mask with gaps, a network, broadcast, "
                  "multicast or reserved address, a gateway outside the subnet)");
    set->add_flag("--verify", request.verify,
                  "After the reboot wait up to 30 s for the sensor at its new address; exit 1 "
                  "when it is not seen there"
#ifdef _WIN32
                  " (not available on Windows)"
#endif
    );
    set->footer(
        "Example:\n  vyr address set 192.168.0.11 255.255.255.0 192.168.0.1 --host 192.168.0.10 "
        "--verify");
    set->callback([&common] { common.exit_code = change_address(common, request); });
}

void add_reboot(CLI::App& app, Common& common)
{
    CLI::App* reboot = app.add_subcommand("reboot", "Restart the sensor");
    reboot->footer("Example:\n  vyr reboot --host 192.168.0.10");
    reboot->callback([&common] {
        common.exit_code =
            run_on_named_targets(common, "reboot", [](kvt::Vyr_driver& driver, Result& result) {
                driver.reboot();
                if (reboot_went_through(driver)) {
                    result.fields["rebooted"] = true;
                } else {
                    result.fail(exit_refused, driver.last_error_text(),
                                driver_reason(driver, "the sensor did not confirm the reboot"));
                }
            });
    });
}

} // namespace

void add_maintenance_commands(CLI::App& app, Common& common)
{
    add_heater(app, common);
    add_phase(app, common);
    add_address(app, common);
    add_reboot(app, common);
}
