#include "received_lines.h"

std::vector<std::string> command_texts(const vyr_sim::Simulator& sim)
{
    std::vector<std::string> texts;
    for (const vyr_sim::Received_line& line : sim.received()) {
        texts.push_back(line.text);
    }
    return texts;
}

std::vector<std::string> commands_after_open(const vyr_sim::Simulator& sim)
{
    std::vector<std::string> texts;
    bool opened = false;
    for (const vyr_sim::Received_line& line : sim.received()) {
        if (opened) {
            texts.push_back(line.text);
        }
        opened = opened || line.text == "PP";
    }
    return texts;
}

std::vector<long> received_rates(const vyr_sim::Simulator& sim)
{
    std::vector<long> rates;
    for (const vyr_sim::Received_line& line : sim.received()) {
        rates.push_back(line.host_rate);
    }
    return rates;
}
