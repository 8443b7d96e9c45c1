// The child side of a fault sweep. The parent hands it one run at a time
// over a pipe; a fault, an abort or a hang in the plug-in ends this process
// and not the sweep, whose parent starts another worker for the next run.
#pragma once

#include <string>

#include "host/faults/FaultScenario.h"

// pipes: "IN,OUT", the handle values the parent passed down. Answers until
// the parent says quit or goes away; returns the exit code.
int RunFaultWorker(const std::string& pipes, const std::wstring& plugin, ScenarioMaker make);
