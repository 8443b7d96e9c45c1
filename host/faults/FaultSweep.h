// The parent side of a fault sweep: plans the runs of each scenario from a
// run without faults and hands them, one at a time, to a worker process
// (FaultWorker), starting a new one after a run that ended it. A fault, an
// abort and a hang in the plug-in are outcomes of that run, never of the
// sweep.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/faults/FaultReport.h"
#include "host/worker/Worker.h"

class FaultSweep {
public:
    // worker: a command line that starts a worker once " --worker IN,OUT"
    // is added. A run that has not answered after patienceSeconds is a hang.
    FaultSweep(const std::wstring& worker, int patienceSeconds) : worker(worker, patienceSeconds) {}

    // The plug-in's filter count in filters; -1, and the run says why, when
    // it cannot say.
    RunResult FilterCount(int& filters);
    // The run without faults, its calls as bursts; imports in neither of
    // the failure table's lists, "DLL!name".
    RunResult Count(const std::string& token, std::vector<CallBurst>& bursts, std::vector<std::string>& unknown);
    RunResult Run(const std::string& token, const FaultRun& run);
    // Workers started so far.
    int Starts() const { return worker.Starts(); }

private:
    // The answer as a run's outcome; lines before it go to before.
    RunResult Ask(const std::string& command, std::vector<std::string>* before);

    WorkerProcess worker;
};

// Every scenario's counting run, then every planned run, calling progress
// after each; sample keeps some of the single-call and onward runs.
std::vector<ScenarioSweep> SweepScenarios(FaultSweep& sweep, const std::vector<std::string>& tokens,
                                          const FaultSample& sample,
                                          const std::function<void(long long done, long long total)>& progress);
