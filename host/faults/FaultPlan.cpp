#include "host/faults/FaultPlan.h"

#include <cstdio>

namespace {

void Keep(std::vector<FaultRun>& runs, const FaultSample& sample) {
    std::vector<FaultRun> kept;
    for (size_t i = 0; i < runs.size(); ++i)
        if (i < static_cast<size_t>(sample.first) || (i - sample.first) % sample.every == 0) kept.push_back(runs[i]);
    runs.swap(kept);
}

}  // namespace

bool ParseFaultSample(const std::string& text, FaultSample& sample) {
    int first = -1, every = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%d,%d%c", &first, &every, &rest) != 2 || first < 0 || every < 1) return false;
    sample = {first, every};
    return true;
}

FaultPlan PlanFaults(const std::vector<CallBurst>& bursts, const std::vector<bool>& runsOut) {
    const int functions = static_cast<int>(runsOut.size());
    FaultPlan plan;
    plan.callsOf.assign(static_cast<size_t>(functions), 0);
    for (const CallBurst& burst : bursts) {
        if (burst.function < 0 || burst.function >= functions || burst.length <= 0) continue;
        long long& before = plan.callsOf[static_cast<size_t>(burst.function)];
        if (before == 0) plan.persistent.push_back({burst.function, 0});
        const long long first = before + 1, last = before + burst.length;
        std::vector<long long> calls;
        if (burst.length <= kBurstKept) {
            for (long long call = first; call <= last; ++call) calls.push_back(call);
        } else {
            ++plan.collapsed;
            plan.unfailed += burst.length - kBurstKept;
            calls = {first, first + 1, last};
        }
        for (const long long call : calls) {
            plan.single.push_back({burst.function, call});
            if (call > 1 && runsOut[static_cast<size_t>(burst.function)])
                plan.onward.push_back({burst.function, call, true});
        }
        before = last;
        plan.calls += burst.length;
    }
    // From the first call on is every call, from the last one is that call
    // alone: runs of their own already.
    std::vector<FaultRun> onward;
    for (const FaultRun& run : plan.onward)
        if (run.call < plan.callsOf[static_cast<size_t>(run.function)]) onward.push_back(run);
    plan.onward.swap(onward);
    plan.singleBefore = static_cast<long long>(plan.single.size());
    plan.onwardBefore = static_cast<long long>(plan.onward.size());
    return plan;
}

void SampleRuns(FaultPlan& plan, const FaultSample& sample) {
    if (!sample.On()) return;
    plan.sample = sample;
    Keep(plan.single, sample);
    Keep(plan.onward, sample);
}
