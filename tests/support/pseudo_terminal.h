#ifndef VYR_TESTS_SUPPORT_PSEUDO_TERMINAL_H
#define VYR_TESTS_SUPPORT_PSEUDO_TERMINAL_H

#include <string>

// The master side of a fresh pseudo-terminal; the program under test opens device_path().
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& device_path() const { return device_path_; }
    void send(const std::string& bytes);
    // Whatever arrives within timeout_ms, up to size bytes.
    std::string receive(size_t size, int timeout_ms = 1000);
    // The line speed the device side was set to, as a number of baud.
    long speed() const;

private:
    int master_ = -1;
    std::string device_path_;
};

#endif
