// The host's one error convention. What stops a command (a bad argument, a
// file that cannot be read or written, a plug-in that cannot be loaded) is a
// HostError, thrown, and shown by main as one line: "ppihost: <text>". What a
// plug-in did wrong is never thrown: it is the outcome of a check or a run
// (CheckResult, RunResult, a worker's answer), reported beside the others.
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
