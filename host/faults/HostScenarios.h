// What ppihost does with any plug-in while the system fails it: load it,
// read its texts and unload it; run a filter over an image, whole, over a
// rectangle and in place; open a filter's set-up and end it by Cancel.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/faults/FaultScenario.h"

// "load", then "runs:N" for each filter, and "setup:N" with set-ups.
std::vector<std::string> HostScenarioTokens(int filters, bool setup);
// "filter 1 over an image", for the report.
std::string HostScenarioTitle(const std::string& token);

std::unique_ptr<FaultScenario> WINAPI MakeHostScenario(const std::string& token, const std::wstring& plugin);
