#include "host/faults/FaultWorker.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <map>

#include "host/faults/FaultPlan.h"
#include "host/faults/LeakGauge.h"
#include "host/faults/PipeLines.h"
#include "host/session/FaultGuard.h"
#include "host/session/ImportFaults.h"
#include "host/session/PluginLibrary.h"

namespace {

HANDLE answers = nullptr;

// The parent reads this as the run's outcome; nothing of this process is
// trusted after it, so no DllMain runs either.
[[noreturn]] void ReportFault(const EXCEPTION_RECORD& record) {
    char text[160];
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2)
        std::snprintf(text, sizeof text, "fault exception 0x%08lX (%s %p)",
                      static_cast<unsigned long>(record.ExceptionCode),
                      record.ExceptionInformation[0] == 1   ? "writing"
                      : record.ExceptionInformation[0] == 8 ? "running"
                                                            : "reading",
                      reinterpret_cast<void*>(record.ExceptionInformation[1]));
    else
        std::snprintf(text, sizeof text, "fault exception 0x%08lX", static_cast<unsigned long>(record.ExceptionCode));
    const std::string line = std::string(text) + " at " + FaultPlace(record.ExceptionAddress) + "\n";
    DWORD written = 0;
    WriteFile(answers, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;) Sleep(INFINITE);
}

LONG WINAPI ReportUnhandled(EXCEPTION_POINTERS* info) { ReportFault(*info->ExceptionRecord); }

struct Outcome {
    long long calls = 0;
    long long failures = 0;
    int firstFailed = -1;
    std::string problem;
};

class Worker {
public:
    Worker(PipeLines& pipe, const std::wstring& plugin, ScenarioMaker make) : pipe(pipe), plugin(plugin), make(make) {}

    bool Serve(const std::string& command) {
        if (command == "quit") return false;
        if (command == "filters") return Filters();
        std::string token;
        FaultRun run;
        const bool counting = command.rfind("count ", 0) == 0;
        if (counting) token = command.substr(6);
        if (!counting && !ParseRunCommand(command, token, run)) return pipe.Write("done 0 0 -1 bad command " + command);
        FaultScenario* scenario = Scenario(token);
        if (!scenario) return pipe.Write("done 0 0 -1 no scenario " + token);
        if (!counting) {
            // The first run of a scenario in a process fills the system's
            // caches; the figures start after it.
            if (!warmed[token]) {
                Run(*scenario, nullptr, false);
                warmed[token] = true;
                figures = LeakFigures::Measure();
            }
        }
        Outcome outcome = Run(*scenario, counting ? nullptr : &run, counting);
        if (!counting && outcome.problem.empty())
            outcome.problem = Leaks(*scenario, run);
        else if (!counting)
            figures = LeakFigures::Measure();
        return pipe.Write("done " + std::to_string(outcome.calls) + " " + std::to_string(outcome.failures) + " " +
                          std::to_string(outcome.firstFailed) + " " + outcome.problem);
    }

private:
    bool Filters() {
        try {
            PluginLibrary library(plugin);
            pipe.Write("filters " + std::to_string(library.RawCount()));
            return pipe.Write("done 0 0 -1");
        } catch (const std::exception& e) {
            return pipe.Write(std::string("done 0 0 -1 ") + e.what());
        }
    }

    FaultScenario* Scenario(const std::string& token) {
        std::unique_ptr<FaultScenario>& scenario = scenarios[token];
        if (!scenario) scenario = make(token, plugin);
        return scenario.get();
    }

    // One load, the scenario and the unload; with counting, the calls go
    // to the parent as bursts.
    Outcome Run(FaultScenario& scenario, const FaultRun* run, bool counting) {
        Outcome outcome;
        scenario.Prepare();
        std::unique_ptr<PluginLibrary> library;
        try {
            library.reset(new PluginLibrary(plugin));
        } catch (const std::exception& e) {
            outcome.problem = std::string("the plug-in did not load: ") + e.what();
            return outcome;
        }
        std::string error;
        if (!faults.Install(library->Module(), &error)) {
            outcome.problem = "cannot fail its imports: " + error;
            return outcome;
        }
        if (run && run->call > 0 && run->onward) faults.FailFrom(run->function, run->call);
        if (run && run->call > 0 && !run->onward) faults.FailCallOf(run->function, run->call);
        if (run && run->call == 0) faults.FailFunctions({run->function});
        faults.KeepLog(counting);
        try {
            outcome.problem = scenario.Exercise(*library);
            library.reset();
        } catch (const std::exception& e) {
            outcome.problem = std::string("the host could not go on: ") + e.what();
        }
        // Still loaded only when the scenario threw.
        if (!library) {
            const std::string held = faults.HeldGdiObjects();
            if (outcome.problem.empty() && !held.empty())
                outcome.problem = "a leak: GDI objects not given back (" + held + ")";
        }
        outcome.calls = faults.Calls();
        outcome.failures = faults.Failures();
        outcome.firstFailed = faults.FirstFailedFunction();
        if (counting) SendBursts();
        faults.KeepLog(false);
        if (library) {
            faults.Uninstall();
            library.reset();
        } else {
            faults.Forget();
        }
        if (outcome.problem.empty()) outcome.problem = scenario.AfterUnload();
        return outcome;
    }

    void SendBursts() {
        for (const std::string& unknown : faults.Unknown()) pipe.Write("unknown " + unknown);
        const std::vector<ImportCall>& log = faults.Log();
        for (size_t i = 0; i < log.size();) {
            size_t end = i + 1;
            while (end < log.size() && log[end].function == log[i].function && log[end].caller == log[i].caller)
                ++end;
            pipe.Write("burst " + std::to_string(log[i].function) + " " + std::to_string(end - i));
            i = end;
        }
    }

    // A run that left something behind is run again: caches the system
    // fills once are not a leak, what is left each time is.
    std::string Leaks(FaultScenario& scenario, const FaultRun& run) {
        LeakFigures after = LeakFigures::Measure();
        std::string more = figures.More(after);
        if (!more.empty()) {
            const LeakFigures first = after;
            Run(scenario, &run, false);
            after = LeakFigures::Measure();
            more = first.More(after);
        }
        figures = after;
        return more.empty() ? "" : "a leak: " + more + " after the unload";
    }

    PipeLines& pipe;
    const std::wstring plugin;
    const ScenarioMaker make;
    ImportFaults faults;
    std::map<std::string, std::unique_ptr<FaultScenario>> scenarios;
    std::map<std::string, bool> warmed;
    LeakFigures figures;
};

}  // namespace

int RunFaultWorker(const std::string& pipes, const std::wstring& plugin, ScenarioMaker make) {
    unsigned long long in = 0, out = 0;
    if (std::sscanf(pipes.c_str(), "%llu,%llu", &in, &out) != 2) return 2;
    PipeLines pipe(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(in)),
                   reinterpret_cast<HANDLE>(static_cast<uintptr_t>(out)));
    answers = pipe.Out();
    InstallFaultGuard(ReportFault);
    SetUnhandledExceptionFilter(ReportUnhandled);
    // No system dialog for a plug-in that cannot be loaded or that faults.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    Worker worker(pipe, plugin, make);
    std::string command;
    while (pipe.Read(command))
        if (!worker.Serve(command)) break;
    return 0;
}
