#include "host/faults/FaultSweep.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "host/session/ImportFaults.h"

namespace {

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

}  // namespace

RunResult FaultSweep::Ask(const std::string& command, std::vector<std::string>* before) {
    WorkerAnswer answer = worker.Ask(command);
    if (before) *before = std::move(answer.lines);
    RunResult result;
    switch (answer.kind) {
    case WorkerAnswer::Done:
        result.kind = answer.done.problem.empty() ? RunResult::Clean : RunResult::Problem;
        result.text = answer.done.problem;
        result.calls = answer.done.calls;
        result.failures = answer.done.failures;
        return result;
    case WorkerAnswer::Fault: result.kind = RunResult::Fault; break;
    case WorkerAnswer::Hang: result.kind = RunResult::Hang; break;
    case WorkerAnswer::Abort: result.kind = RunResult::Abort; break;
    }
    result.text = answer.text;
    // Which call failed is not known once the process is gone: the one meant.
    result.failures = 1;
    return result;
}

RunResult FaultSweep::FilterCount(int& filters) {
    std::vector<std::string> lines;
    const RunResult result = Ask(WorkerWords::kFilters, &lines);
    filters = -1;
    // The answer comes as a line of its own, before the run's.
    for (const std::string& line : lines)
        if (const char* count = AfterWord(line, WorkerWords::kFilters)) filters = std::atoi(count);
    return result;
}

RunResult FaultSweep::Count(const std::string& token, std::vector<CallBurst>& bursts,
                            std::vector<std::string>& unknown) {
    std::vector<std::string> lines;
    const RunResult result = Ask(std::string(WorkerWords::kCount) + " " + token, &lines);
    for (const std::string& line : lines) {
        if (const char* name = AfterWord(line, WorkerWords::kUnknown)) unknown.push_back(name);
        CallBurst burst;
        const char* figures = AfterWord(line, WorkerWords::kBurst);
        if (figures && std::sscanf(figures, "%d %lld", &burst.function, &burst.length) == 2) bursts.push_back(burst);
    }
    return result;
}

RunResult FaultSweep::Run(const std::string& token, const FaultRun& run) {
    RunResult result = Ask(RunCommand(token, run), nullptr);
    // The run made other calls than the run without faults: what was
    // planned was not tried.
    if (result.kind == RunResult::Clean && result.failures == 0) {
        result.kind = RunResult::Problem;
        result.text = kNotMade;
    }
    return result;
}

std::vector<ScenarioSweep> SweepScenarios(FaultSweep& sweep, const std::vector<std::string>& tokens,
                                          const FaultSample& sample,
                                          const std::function<void(long long, long long)>& progress) {
    std::vector<bool> runsOut;
    for (int id = 0; id < FailableImportCount(); ++id) runsOut.push_back(ImportRunsOut(id));
    std::vector<ScenarioSweep> sweeps;
    long long total = 0, done = 0;
    for (const std::string& token : tokens) {
        ScenarioSweep s;
        s.token = token;
        const double start = Seconds();
        std::vector<CallBurst> bursts;
        s.counting = sweep.Count(token, bursts, s.unknown);
        s.plan = PlanFaults(bursts, runsOut);
        SampleRuns(s.plan, sample);
        // Nothing to plan from a run that went wrong without any fault.
        if (s.counting.kind != RunResult::Clean) {
            s.plan.single.clear();
            s.plan.onward.clear();
            s.plan.persistent.clear();
        }
        s.seconds = Seconds() - start;
        total += static_cast<long long>(s.plan.single.size() + s.plan.onward.size() + s.plan.persistent.size());
        sweeps.push_back(s);
        progress(0, total);
    }
    for (ScenarioSweep& s : sweeps) {
        const double start = Seconds();
        for (const std::vector<FaultRun>* runs : {&s.plan.single, &s.plan.onward, &s.plan.persistent})
            for (const FaultRun& run : *runs) {
                const RunResult result = sweep.Run(s.token, run);
                ++s.runs;
                if (result.kind != RunResult::Clean) s.found.push_back({run, result});
                progress(++done, total);
            }
        s.seconds += Seconds() - start;
    }
    return sweeps;
}
