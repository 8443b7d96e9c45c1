#include "host/faults/FaultWorker.h"

#include <windows.h>

#include <exception>
#include <map>
#include <memory>

#include "host/faults/FaultPlan.h"
#include "host/faults/LeakGauge.h"
#include "host/session/ImportFaults.h"
#include "host/session/PluginLibrary.h"
#include "host/worker/Worker.h"

namespace {

// The loader's notice of a module it mapped, its imports bound and its
// DllMain not yet run (LdrRegisterDllNotification).
struct CountedName {
    USHORT Length;
    USHORT MaximumLength;
    const wchar_t* Buffer;
};
struct DllNotice {
    ULONG flags;
    const CountedName* fullName;
    const CountedName* baseName;
    void* base;
    ULONG size;
};
const ULONG kDllLoaded = 1;

class Worker {
public:
    Worker(PipeLines& pipe, const std::wstring& plugin, ScenarioMaker make) : pipe(pipe), plugin(plugin), make(make) {
        wchar_t full[MAX_PATH * 4];
        const DWORD n = GetFullPathNameW(plugin.c_str(), MAX_PATH * 4, full, nullptr);
        fullPath = n && n < MAX_PATH * 4 ? std::wstring(full) : plugin;
        typedef LONG(NTAPI * Register)(ULONG, void(CALLBACK*)(ULONG, const DllNotice*, void*), void*, void**);
        if (const auto reg = reinterpret_cast<Register>(
                reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "LdrRegisterDllNotification"))))
            reg(0, Loaded, this, &cookie);
    }

    bool Serve(const std::string& command) {
        if (command == WorkerWords::kFilters) return Filters();
        std::string token;
        FaultRun run;
        const char* counted = AfterWord(command, WorkerWords::kCount);
        const bool counting = counted != nullptr;
        if (counting) token = counted;
        if (!counting && !ParseRunCommand(command, token, run)) return Answer("bad command " + command);
        FaultScenario* scenario = Scenario(token);
        if (!scenario) return Answer("no scenario " + token);
        if (!counting) {
            // The first run of a scenario in a process fills the system's
            // caches; the figures start after it.
            if (!warmed[token]) {
                Run(*scenario, nullptr, false);
                warmed[token] = true;
                figures = LeakFigures::Measure();
            }
        }
        DoneAnswer outcome = Run(*scenario, counting ? nullptr : &run, counting);
        if (!counting && outcome.problem.empty())
            outcome.problem = Leaks(*scenario, run);
        else if (!counting)
            figures = LeakFigures::Measure();
        return pipe.Write(DoneLine(outcome));
    }

private:
    bool Filters() {
        try {
            PluginLibrary library(plugin);
            pipe.Write(std::string(WorkerWords::kFilters) + " " + std::to_string(library.RawCount()));
            return Answer("");
        } catch (const std::exception& e) {
            return Answer(e.what());
        }
    }

    // The answer to a command that ran nothing.
    bool Answer(const std::string& problem) {
        DoneAnswer done;
        done.problem = problem;
        return pipe.Write(DoneLine(done));
    }

    FaultScenario* Scenario(const std::string& token) {
        std::unique_ptr<FaultScenario>& scenario = scenarios[token];
        if (!scenario) scenario = make(token, plugin);
        return scenario.get();
    }

    // One load, the scenario and the unload; with counting, the calls go
    // to the parent as bursts.
    DoneAnswer Run(FaultScenario& scenario, const FaultRun* run, bool counting) {
        DoneAnswer outcome;
        scenario.Prepare();
        pending = {run, counting, true, false, ""};
        std::unique_ptr<PluginLibrary> library;
        std::string loadError;
        try {
            library.reset(new PluginLibrary(plugin));
        } catch (const std::exception& e) {
            loadError = e.what();
        }
        pending.loading = false;
        // Where the loader says nothing of its loads, the failures start
        // right after the load.
        if (library && !pending.installed) Arm(library->Module());
        std::string problem = pending.error.empty() ? "" : "cannot fail its imports: " + pending.error;
        if (problem.empty() && library) {
            try {
                problem = scenario.Exercise(*library);
                library.reset();
            } catch (const std::exception& e) {
                problem = std::string("the host could not go on: ") + e.what();
            }
        } else if (problem.empty() && (!pending.installed || faults.Failures() == 0)) {
            // A load refused because a call of its own failed is what a
            // host must be ready for; any other is not.
            problem = "the plug-in did not load: " + loadError;
        }
        // Still loaded only when the scenario threw.
        if (!library && problem.empty()) {
            const std::string held = faults.Held();
            if (!held.empty()) problem = "a leak: " + held;
        }
        outcome.problem = problem;
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
        pending = {};
        if (outcome.problem.empty()) outcome.problem = scenario.AfterUnload();
        return outcome;
    }

    // Points the module's imports at the shims and starts the run's
    // failures: from the loader's notice of the plug-in, before its
    // DllMain, so that its load fails too.
    void Arm(HMODULE module) {
        pending.installed = true;
        if (!faults.Install(module, &pending.error)) return;
        const FaultRun* run = pending.run;
        if (run && run->call > 0 && run->onward) faults.FailFrom(run->function, run->call);
        if (run && run->call > 0 && !run->onward) faults.FailCallOf(run->function, run->call);
        if (run && run->call == 0) faults.FailFunctions({run->function});
        faults.KeepLog(pending.counting);
    }

    static void CALLBACK Loaded(ULONG reason, const DllNotice* notice, void* context) {
        Worker& worker = *static_cast<Worker*>(context);
        if (reason != kDllLoaded || !worker.pending.loading || worker.pending.installed || !notice->fullName) return;
        const std::wstring name(notice->fullName->Buffer, notice->fullName->Length / sizeof(wchar_t));
        // Told before its imports are bound (Wine's 32-bit loader), the run
        // fails them once the load returns instead: binding would overwrite
        // the shims, and putting back the unbound slots would break it.
        const HMODULE module = static_cast<HMODULE>(notice->base);
        if (lstrcmpiW(name.c_str(), worker.fullPath.c_str()) == 0 && ImportFaults::ImportsBound(module))
            worker.Arm(module);
    }

    void SendBursts() {
        for (const std::string& unknown : faults.Unknown()) pipe.Write(std::string(WorkerWords::kUnknown) + " " + unknown);
        const std::vector<ImportCall>& log = faults.Log();
        for (size_t i = 0; i < log.size();) {
            size_t end = i + 1;
            while (end < log.size() && log[end].function == log[i].function && log[end].caller == log[i].caller)
                ++end;
            pipe.Write(std::string(WorkerWords::kBurst) + " " + std::to_string(log[i].function) + " " + std::to_string(end - i));
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
    // The run that the next load starts.
    struct Pending {
        const FaultRun* run = nullptr;
        bool counting = false;
        bool loading = false;  // a run's load, not another of the plug-in's
        bool installed = false;
        std::string error;
    } pending;
    std::wstring fullPath;
    void* cookie = nullptr;
};

}  // namespace

int RunFaultWorker(const std::string& pipes, const std::wstring& plugin, ScenarioMaker make) {
    std::unique_ptr<Worker> worker;
    return ServeWorker(pipes, [&](const std::string& command, PipeLines& pipe) {
        if (!worker) worker.reset(new Worker(pipe, plugin, make));
        return worker->Serve(command);
    });
}
