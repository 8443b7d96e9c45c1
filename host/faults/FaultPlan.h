// The runs of a fault sweep, planned from one run in which nothing failed:
// each call failing alone, each function that can run out (memory, disk)
// failing from one of its calls on, and each function failing at every call.
// A loop that calls one function thousands of times (a field painted pixel
// by pixel) fails at its first, second and last call only. Plain C++.
#pragma once

#include <string>
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
    // The call'th call and every one after it fail.
    bool onward = false;
};

// Keeps the first `first` runs of a kind and every `every`th of the rest:
// where each run costs seconds (an emulated machine). Off while first < 0.
struct FaultSample {
    int first = -1;
    int every = 1;
    bool On() const { return first >= 0 && every >= 1; }
};

// "FIRST,EVERY", two integers, FIRST >= 0 and EVERY >= 1; false otherwise.
bool ParseFaultSample(const std::string& text, FaultSample& sample);

struct FaultPlan {
    long long calls = 0;   // every call of the run without faults
    int collapsed = 0;     // bursts longer than kBurstKept
    long long unfailed = 0;  // their calls that fail in no run of their own
    std::vector<FaultRun> single;
    std::vector<FaultRun> onward;
    std::vector<FaultRun> persistent;
    // Calls of each function (by table id) in the run without faults.
    std::vector<long long> callsOf;
    // The sample taken of single and onward, and how many there were.
    FaultSample sample;
    long long singleBefore = 0;
    long long onwardBefore = 0;
};

// A burst at most this long fails at each of its calls.
constexpr long long kBurstKept = 3;

// runsOut: for each function, whether it fails from a call on too (memory,
// a disk that fills up).
FaultPlan PlanFaults(const std::vector<CallBurst>& bursts, const std::vector<bool>& runsOut);

void SampleRuns(FaultPlan& plan, const FaultSample& sample);
