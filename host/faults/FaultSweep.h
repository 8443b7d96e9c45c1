// The parent side of a fault sweep: plans the runs of each scenario from a
// run without faults and hands them, one at a time, to a worker process
// (FaultWorker), starting a new one after a run that ended it. A fault, an
// abort and a hang in the plug-in are outcomes of that run, never of the
// sweep.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "host/faults/FaultPlan.h"
#include "host/faults/PipeLines.h"

struct RunResult {
    enum Kind { Clean, Problem, Fault, Hang, Abort };
    Kind kind = Clean;
    // "exception 0xC0000005 (reading 00000000) at x.ppi+0x1A2B", "exit code
    // 3", or the scenario's words.
    std::string text;
    long long calls = 0;
    // Calls that were failed; 0 when the call meant to fail never came.
    long long failures = 0;
};

class FaultSweep {
public:
    // worker: a command line that starts a worker once " --worker IN,OUT"
    // is added. A run that has not answered after patienceSeconds is a hang.
    FaultSweep(const std::wstring& worker, int patienceSeconds);
    ~FaultSweep();
    FaultSweep(const FaultSweep&) = delete;
    FaultSweep& operator=(const FaultSweep&) = delete;

    // The plug-in's filter count; -1, with error set, when it cannot say.
    int FilterCount(std::string* error);
    // The run without faults, its calls as bursts; imports in neither of
    // the failure table's lists, "DLL!name".
    RunResult Count(const std::string& token, std::vector<CallBurst>& bursts, std::vector<std::string>& unknown);
    RunResult Run(const std::string& token, const FaultRun& run);
    // Workers started so far.
    int Starts() const { return starts; }

private:
    bool Start(std::string* error);
    void Stop();
    // Sends command; lines before the answer go to before. The answer is
    // the "done" or "fault" line, or empty when the worker ended without.
    RunResult Ask(const std::string& command, std::vector<std::string>* before);

    const std::wstring worker;
    const int patienceSeconds;
    PROCESS_INFORMATION process = {};
    PipeLines* pipe = nullptr;
    int starts = 0;
};

// One scenario swept: its plan, the run without faults, and every run whose
// outcome was not clean.
struct ScenarioSweep {
    std::string token;
    FaultPlan plan;
    RunResult counting;
    std::vector<std::string> unknown;
    struct Found {
        FaultRun run;
        RunResult result;
    };
    std::vector<Found> found;
    long long runs = 0;
    double seconds = 0;
};

// A run's text when the call meant to fail was not made.
constexpr char kNotMade[] = "the call meant to fail was not made";

// Every scenario's counting run, then every planned run, calling progress
// after each; sample keeps some of the single-call and onward runs.
std::vector<ScenarioSweep> SweepScenarios(FaultSweep& sweep, const std::vector<std::string>& tokens,
                                          const FaultSample& sample,
                                          const std::function<void(long long done, long long total)>& progress);
