// ppihost check: whether a plug-in keeps the host's contract, one line per
// check. A fault in the plug-in fails the check it happened in; a fresh
// ppihost then goes on with the next one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

extern const char kCheckUsage[];

// The exit code: 0 when no check failed, 1 otherwise.
int CheckCommand(const std::vector<std::string>& args);

// True while a check runs: a fault then belongs to it.
bool CheckRunning();

// Reports the fault as the running check's failure, runs the remaining
// checks in a new ppihost and ends this process with its exit code.
[[noreturn]] void ContinueChecksAfterFault(const EXCEPTION_RECORD& record);
