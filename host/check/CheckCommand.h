// ppihost check: whether a plug-in keeps the host's contract, one line per
// check. The checks run in a worker: a fault, an abort or a hang in the
// plug-in fails the check it happened in, and a fresh worker goes on with the
// next one.
#pragma once

#include <string>
#include <vector>

extern const char kCheckUsage[];

// The exit code: 0 when no check failed, 1 otherwise.
int CheckCommand(const std::vector<std::string>& args);

