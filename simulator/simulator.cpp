#include "simulator.h"

#include <thread>
#include <chrono>

namespace vyr_sim {

// Interface placeholder so dependants can build; endpoints come next.
struct Simulator::Impl {};

Simulator::Simulator() : impl_(new Impl) {}
Simulator::~Simulator() = default;
bool Simulator::start_tcp(int) { return false; }
int Simulator::tcp_port() const { return 0; }
bool Simulator::start_serial() { return false; }
std::string Simulator::serial_path() const { return {}; }
void Simulator::stop() {}
std::vector<Received_line> Simulator::received() const { return {}; }
void Simulator::clear_received() {}
bool Simulator::wait_for_received(size_t, int) const { return false; }
int Simulator::connections_accepted() const { return 0; }
bool Simulator::client_connected() const { return false; }
bool Simulator::write_record(const std::string&) const { return false; }
void Simulator::set_serial_rate(long) {}
long Simulator::serial_rate() const { return 115200; }
void Simulator::set_mismatch(Mismatch) {}
void Simulator::set_old_protocol(bool) {}
bool Simulator::old_protocol() const { return false; }
void Simulator::set_time_adjust_mode(bool) {}
bool Simulator::time_adjust_mode() const { return false; }
bool Simulator::laser_on() const { return false; }
void Simulator::set_parameter(const std::string&, const std::string&) {}
void Simulator::set_scans_per_minute(int) {}
void Simulator::set_version_field(const std::string&, const std::string&) {}
void Simulator::set_info_field(const std::string&, const std::string&) {}
void Simulator::set_pacing(Pacing) {}
int Simulator::reboot_count() const { return 0; }
void Simulator::set_heater(bool) {}
bool Simulator::heater() const { return false; }
void Simulator::set_phase(int) {}
int Simulator::phase() const { return 0; }
void Simulator::set_ip_settings(const Ip_settings&) {}
Ip_settings Simulator::ip_settings() const { return {}; }
void Simulator::set_ip_forms_accepted(Ip_forms) {}
void Simulator::set_fault(Fault, bool) {}
void Simulator::clear_faults() {}
void Simulator::set_fault_command(const std::string&) {}
void Simulator::set_fault_delay_ms(int) {}
void Simulator::set_trickle_ms(int) {}

} // namespace vyr_sim
