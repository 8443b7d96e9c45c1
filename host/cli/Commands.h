// ppihost's commands. Each takes the arguments after its own name, throws
// HostError on failure and returns the exit code.
#pragma once

#include <string>
#include <vector>

int ListCommand(const std::vector<std::string>& args);
int RunCommand(const std::vector<std::string>& args);
int SetupCommand(const std::vector<std::string>& args);
int ChartCommand(const std::vector<std::string>& args);

// The full usage text, several lines.
std::string UsageText();
