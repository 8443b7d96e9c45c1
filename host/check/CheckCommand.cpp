#include "host/check/CheckCommand.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <new>

#include "host/HostError.h"
#include "host/check/CheckReport.h"
#include "host/check/FaultsCheck.h"
#include "host/check/FilterChecks.h"
#include "host/check/HostEnvironmentCheck.h"
#include "host/check/PluginChecks.h"
#include "host/check/SetupCheck.h"
#include "host/cli/CommandLine.h"
#include "host/cli/Console.h"
#include "host/image/WicImage.h"
#include "host/session/HostEnvironment.h"
#include "host/worker/Worker.h"

const char kCheckUsage[] =
    "ppihost check PLUGIN [--filter N] [--image IN] [--setup] [--faults [--sample FIRST,EVERY]] [--patience S] "
    "[--no-speed]";

namespace {

// A check runs in the checks' worker. One that needs a process of its own,
// started clean, runs here and starts its own.
struct Check {
    std::string name;
    std::function<CheckResult(CheckContext&)> run;
    bool ownWorker = false;
};

// Ample for any one check, even in an emulator; a set-up has its own, shorter
// patience and says so itself.
const int kCheckPatienceSeconds = 300;

std::wstring Quote(const std::wstring& argument) {
    std::wstring quoted = L"\"" + argument;
    // Backslashes before the closing quote would escape it.
    for (size_t i = argument.size(); i > 0 && argument[i - 1] == L'\\'; --i) quoted += L'\\';
    return quoted + L"\"";
}

std::wstring CommandLineOf(const CheckOptions& options) {
    wchar_t self[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring line = Quote(std::wstring(self, n)) + L" check " + Quote(options.plugin);
    if (options.filter >= 0) line += L" --filter " + std::to_wstring(options.filter);
    if (!options.image.empty()) line += L" --image " + Quote(options.image);
    if (options.setup) line += L" --setup";
    if (!options.speed) line += L" --no-speed";
    return line;
}

std::vector<Check> PluginCheckList() {
    return {{"load", CheckLoad},
            {"stdcall", CheckStdcall},
            {"reload", CheckReload},
            {"info", CheckInfo},
            {"names", CheckNames}};
}

void AddFilterChecks(std::vector<Check>& list, const CheckOptions& options, int count) {
    for (int i = 0; i < count; ++i) {
        if (options.filter >= 0 && options.filter != i) continue;
        const std::string filter = "filter " + std::to_string(i) + " ";
        list.push_back({filter + "rectangles", [i](CheckContext& c) { return CheckRectangles(c, i); }});
        list.push_back({filter + "progress", [i](CheckContext& c) { return CheckProgress(c, i); }});
        list.push_back({filter + "empty rectangles", [i](CheckContext& c) { return CheckEmptyRectangles(c, i); }});
        list.push_back({filter + "set-up", [i](CheckContext& c) { return CheckSetup(c, i); }});
        if (options.speed)
            list.push_back({filter + "speed", [i](CheckContext& c) { return MeasureSpeed(c, i); }});
    }
    for (size_t e = 0; e < HostEnvironments().size(); ++e)
        list.push_back({"host-env", [e](CheckContext& c) { return CheckHostEnvironment(c, e); }, true});
}

// The checks once the information check found `filters`; before, -1.
std::vector<Check> CheckList(const CheckOptions& options, int filters) {
    std::vector<Check> list = PluginCheckList();
    if (filters > 0) AddFilterChecks(list, options, filters);
    return list;
}

CheckResult RunOne(const Check& check, CheckContext& context) {
    try {
        return check.run(context);
    } catch (const PluginNotLoaded&) {
        return Skipped("the plug-in did not load");
    } catch (const HostError& e) {
        return {Verdict::Fail, e.what()};
    } catch (const std::bad_alloc&) {
        return Skipped("not enough memory");
    }
}

// The worker's side: "check INDEX FILTERS" runs that check of the list, with
// the filter count the parent knows; "environment N FILE" one host state.
int ServeChecks(const CheckOptions& options, const std::string& pipes) {
    ComScope com;
    CheckContext context(options);
    return ServeWorker(pipes, [&](const std::string& command, PipeLines& pipe) {
        CheckResult result = {Verdict::Fail, "the worker cannot read the command " + command};
        unsigned index = 0;
        int filters = -1;
        const char* check = AfterWord(command, WorkerWords::kCheck);
        const char* environment = AfterWord(command, WorkerWords::kEnvironment);
        int used = 0;
        if (check && std::sscanf(check, "%u %d", &index, &filters) == 2) {
            const std::vector<Check> list = CheckList(options, filters);
            if (filters > 0) context.filterCount = filters;
            if (index < list.size() && !list[index].ownWorker) result = RunOne(list[index], context);
        } else if (environment && std::sscanf(environment, "%u %n", &index, &used) == 1) {
            result = ServeHostEnvironment(options, index, WideFromUtf8(environment + used));
        }
        pipe.Write(VerdictLine(result));
        if (check && context.filterCount > 0)
            pipe.Write(std::string(WorkerWords::kFilters) + " " + std::to_string(context.filterCount));
        return pipe.Write(DoneLine({}));
    });
}

}  // namespace

int CheckCommand(const std::vector<std::string>& args) {
    const ParsedArgs parsed = SplitArgs(args, {"--filter", "--image", "--worker", "--sample", "--patience"},
                                        {"--setup", "--faults", "--no-speed"});
    if (!parsed.error.empty() || parsed.positional.size() != 1)
        throw HostError(
            (parsed.error.empty() ? std::string(parsed.positional.empty() ? "missing arguments" : "too many arguments")
                                  : parsed.error) +
                "; usage: " + kCheckUsage,
            kExitUsage);
    CheckOptions options;
    options.plugin = WideFromUtf8(parsed.positional[0]);
    if (const std::string* filter = parsed.Option("--filter")) {
        if (!ParseInteger(*filter, options.filter) || options.filter < 0)
            throw HostError("bad filter index '" + *filter + "'", kExitUsage);
    }
    if (const std::string* image = parsed.Option("--image")) options.image = WideFromUtf8(*image);
    options.setup = parsed.Option("--setup") != nullptr;
    options.speed = parsed.Option("--no-speed") == nullptr;
    if (const std::string* sample = parsed.Option("--sample"))
        if (!ParseFaultSample(*sample, options.sample)) throw HostError("bad --sample '" + *sample + "'", kExitUsage);
    if (const std::string* patience = parsed.Option("--patience"))
        if (!ParseInteger(*patience, options.patience) || options.patience < 1)
            throw HostError("bad --patience '" + *patience + "'", kExitUsage);
    if (const std::string* pipes = parsed.Option("--worker"))
        return parsed.Option("--faults") ? ServeFaultRuns(options, *pipes) : ServeChecks(options, *pipes);

    options.self = CommandLineOf(options);
    ComScope com;
    CheckContext context(options);
    // Read before any check, so that a bad file is an error and not a
    // failure of the plug-in.
    context.MainImage();
    WriteStdout("ppihost check " + Utf8FromWide(options.plugin) + (sizeof(void*) == 8 ? " (64-bit)\n" : " (32-bit)\n"));
    if (parsed.Option("--faults")) return CheckFaults(options);

    CheckTally tally;
    WorkerProcess worker(options.self, PatienceOr(options, kCheckPatienceSeconds));
    int filters = -1;
    std::vector<Check> list = CheckList(options, filters);
    for (size_t i = 0; i < list.size(); ++i) {
        CheckResult result;
        if (list[i].ownWorker) {
            result = RunOne(list[i], context);
        } else {
            const WorkerAnswer answer = worker.Ask(std::string(WorkerWords::kCheck) + " " + std::to_string(i) + " " +
                                                   std::to_string(filters));
            result = VerdictOf(answer);
            for (const std::string& line : answer.lines)
                if (const char* count = AfterWord(line, WorkerWords::kFilters)) filters = std::atoi(count);
        }
        ReportCheck(tally, list[i].name, result);
        if (list[i].name == "info" && filters > 0) {
            if (options.filter >= filters)
                throw HostError("bad filter index " + std::to_string(options.filter) + ": the plug-in has " +
                                    std::to_string(filters) + " filters",
                                kExitUsage);
            context.filterCount = filters;
            list = CheckList(options, filters);
        }
    }
    WriteStdout(TallyLine(tally) + "\n");
    return tally.failed ? kExitFailure : 0;
}
