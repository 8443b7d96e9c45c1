// `ppihost check --faults`: the plug-in loaded, its texts read, each filter
// run (and, with --setup, each set-up ended by Cancel) while the system
// fails one of its calls at a time, or one of its functions at every call.
// The runs happen in worker processes, each a ppihost of its own.
#pragma once

#include <string>

#include "host/check/CheckContext.h"

// The exit code: 0 when nothing failed, 1 otherwise.
int CheckFaults(const CheckOptions& options);

// In a worker: serves runs over the pipes "IN,OUT"; returns the exit code.
int ServeFaultRuns(const CheckOptions& options, const std::string& pipes);
