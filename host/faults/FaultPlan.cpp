#include "host/faults/FaultPlan.h"

#include <algorithm>

FaultPlan PlanFaults(const std::vector<CallBurst>& bursts, int functions) {
    FaultPlan plan;
    plan.callsOf.assign(static_cast<size_t>(functions), 0);
    for (const CallBurst& burst : bursts) {
        if (burst.function < 0 || burst.function >= functions || burst.length <= 0) continue;
        long long& before = plan.callsOf[static_cast<size_t>(burst.function)];
        if (before == 0) plan.persistent.push_back({burst.function, 0});
        const long long first = before + 1, last = before + burst.length;
        if (burst.length <= kBurstKept) {
            for (long long call = first; call <= last; ++call) plan.single.push_back({burst.function, call});
        } else {
            ++plan.collapsed;
            plan.unfailed += burst.length - kBurstKept;
            for (const long long call : {first, first + 1, last}) plan.single.push_back({burst.function, call});
        }
        before = last;
        plan.calls += burst.length;
    }
    return plan;
}

void SampleSingleRuns(FaultPlan& plan, int first, int every) {
    if (first < 0 || every < 1) return;
    std::vector<FaultRun> kept;
    for (size_t i = 0; i < plan.single.size(); ++i)
        if (i < static_cast<size_t>(first) || (i - first) % every == 0) kept.push_back(plan.single[i]);
    plan.single.swap(kept);
}
