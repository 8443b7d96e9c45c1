// A failure the user can act on: one line, shown as "ppihost: <text>".
#pragma once

#include <stdexcept>
#include <string>

class HostError : public std::runtime_error {
public:
    // text is UTF-8; exitCode is what the process ends with.
    explicit HostError(const std::string& text, int exitCode = 1) : std::runtime_error(text), code(exitCode) {}
    int ExitCode() const { return code; }

private:
    int code;
};

// Bad command lines end with 2, everything else with 1.
constexpr int kExitUsage = 2;
constexpr int kExitFailure = 1;
