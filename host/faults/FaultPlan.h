// The runs of a fault sweep, planned from one run in which nothing failed:
// each call failing alone, and each function failing at every call. A loop
// that calls one function thousands of times (a field painted pixel by
// pixel) fails at its first, second and last call only.
#pragma once

#include <vector>

// Consecutive calls of one function from one place in the module.
struct CallBurst {
    int function;  // the failure table's id
    long long length;
};

struct FaultRun {
    int function;
    // Which of the function's calls fails (1 for its first); 0: all of them.
    long long call;
};

struct FaultPlan {
    long long calls = 0;   // every call of the run without faults
    int collapsed = 0;     // bursts longer than kBurstKept
    long long unfailed = 0;  // their calls that fail in no run of their own
    std::vector<FaultRun> single;
    std::vector<FaultRun> persistent;
    // Calls of each function (by table id) in the run without faults.
    std::vector<long long> callsOf;
};

// A burst at most this long fails at each of its calls.
constexpr long long kBurstKept = 3;

FaultPlan PlanFaults(const std::vector<CallBurst>& bursts, int functions);

// Keeps the first `first` single runs and every `every`th of the rest:
// where each run costs seconds (an emulated machine).
void SampleSingleRuns(FaultPlan& plan, int first, int every);
