#include "host/check/FaultsCheck.h"

#include <algorithm>
#include <memory>

#include "host/HostError.h"
#include "host/check/CheckReport.h"
#include "host/cli/Console.h"
#include "host/cli/ProgressBar.h"
#include "host/faults/FaultReport.h"
#include "host/faults/FaultSweep.h"
#include "host/faults/FaultWorker.h"
#include "host/faults/HostScenarios.h"
#include "host/session/ImportFaults.h"

int CheckFaults(const CheckOptions& options) {
    CheckTally tally;
    FaultSweep sweep(options.self + L" --faults", PatienceOr(options, 60));
    int filters = -1;
    const RunResult counted = sweep.FilterCount(filters);
    if (filters < 0) {
        ReportCheck(tally, "faults", Failed("the plug-in to load and count its filters", counted.text));
        WriteStdout(TallyLine(tally) + "\n");
        return kExitFailure;
    }
    std::vector<std::string> tokens;
    for (const std::string& token : HostScenarioTokens(filters, options.setup))
        if (options.filter < 0 || token == "load" || HostScenarioTitle(token).rfind(
                                                         "filter " + std::to_string(options.filter) + " ", 0) == 0)
            tokens.push_back(token);
    std::vector<ScenarioSweep> sweeps;
    {
        ProgressBar bar("faults");
        sweeps = SweepScenarios(sweep, tokens, options.sample, [&bar](long long done, long long total) {
            if (total > 0) bar.Report(static_cast<int>(done * 100 / total), 100);
        });
    }
    std::vector<std::string> unknown;
    for (const ScenarioSweep& s : sweeps) {
        for (const FaultLine& line : ReportSweep(s, HostScenarioTitle(s.token), FailingText))
            ReportCheck(tally, "faults",
                        {line.kind == FaultLine::Failed   ? Verdict::Fail
                         : line.kind == FaultLine::Passed ? Verdict::Pass
                                                          : Verdict::Info,
                         line.text});
        for (const std::string& name : s.unknown)
            if (std::find(unknown.begin(), unknown.end(), name) == unknown.end()) unknown.push_back(name);
    }
    if (!unknown.empty()) {
        std::string names;
        for (const std::string& name : unknown) names += (names.empty() ? "" : ", ") + name;
        ReportCheck(tally, "faults", {Verdict::Info, "imports in neither list, passed through: " + names});
    }
    if (sweep.Starts() > 1)
        ReportCheck(tally, "faults",
                    {Verdict::Info, std::to_string(sweep.Starts() - 1) + " workers started again after a run ended one"});
    WriteStdout(TallyLine(tally) + "\n");
    return tally.failed ? kExitFailure : 0;
}

int ServeFaultRuns(const CheckOptions& options, const std::string& pipes) {
    return RunFaultWorker(pipes, options.plugin, MakeHostScenario);
}
