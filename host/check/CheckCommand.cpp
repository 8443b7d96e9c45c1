#include "host/check/CheckCommand.h"

#include <cstdio>
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
#include "host/session/FaultGuard.h"
#include "host/session/HostEnvironment.h"

const char kCheckUsage[] =
    "ppihost check PLUGIN [--filter N] [--image IN] [--setup] [--faults [--sample FIRST,EVERY] [--patience S]] "
    "[--no-speed]";

namespace {

struct Check {
    std::string name;
    std::function<CheckResult(CheckContext&)> run;
};

// Everything the fault handler needs, set up before any check runs.
struct Progress {
    bool running = false;
    bool faulted = false;
    size_t next = 0;  // the check running now
    std::string name;
    int filterCount = -1;
    CheckTally tally;
    // This ppihost with the command's own arguments, without --resume.
    std::wstring commandLine;
} progress;

// Held while a line is written, and for good by a fault: the plug-in may
// fault on a thread of its own while this one goes on checking, and the
// output belongs to the new process from then on.
CRITICAL_SECTION output;

void Report(const std::string& name, const CheckResult& result) {
    EnterCriticalSection(&output);
    ReportCheck(progress.tally, name, result);
    LeaveCriticalSection(&output);
}

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
        list.push_back({"host-env", [e](CheckContext& c) { return CheckHostEnvironment(c, e); }});
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

// "--resume NEXT,COUNT,PASSED,FAILED,SKIPPED", as ContinueChecksAfterFault
// writes it.
bool ParseResume(const std::string& text) {
    unsigned next = 0;
    int count = 0, passed = 0, failed = 0, skipped = 0;
    char rest = 0;
    if (std::sscanf(text.c_str(), "%u,%d,%d,%d,%d%c", &next, &count, &passed, &failed, &skipped, &rest) != 5)
        return false;
    progress.next = next;
    progress.filterCount = count;
    progress.tally = {passed, failed, skipped};
    return true;
}

}  // namespace

int CheckCommand(const std::vector<std::string>& args) {
    const ParsedArgs parsed = SplitArgs(args, {"--filter", "--image", "--resume", "--worker", "--environment", "--reference",
                                               "--sample", "--patience"},
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
    // A worker of --faults: runs as its parent asks, over the pipes given.
    if (const std::string* pipes = parsed.Option("--worker")) return ServeFaultRuns(options, *pipes);
    // A worker of the host-environment checks: one state.
    if (const std::string* environment = parsed.Option("--environment")) {
        const std::string* reference = parsed.Option("--reference");
        int index = -1;
        if (!reference || !ParseInteger(*environment, index) || index < 0)
            throw HostError("bad --environment '" + *environment + "'", kExitUsage);
        return ServeHostEnvironment(options, static_cast<size_t>(index), WideFromUtf8(*reference));
    }
    const std::string* resume = parsed.Option("--resume");
    if (resume && !ParseResume(*resume)) throw HostError("bad --resume '" + *resume + "'", kExitUsage);

    InitializeCriticalSection(&output);
    options.self = CommandLineOf(options);
    ComScope com;
    CheckContext context(options);
    // Read before any check, so that a bad file is an error and not a
    // failure of the plug-in.
    context.MainImage();
    if (!resume)
        WriteStdout("ppihost check " + Utf8FromWide(options.plugin) +
                    (sizeof(void*) == 8 ? " (64-bit)\n" : " (32-bit)\n"));

    progress.commandLine = options.self;
    if (parsed.Option("--faults")) return CheckFaults(options, progress.commandLine);
    std::vector<Check> list = PluginCheckList();
    for (size_t i = 0; i < list.size(); ++i) {
        if (i >= progress.next) {
            progress.next = i;
            progress.name = list[i].name;
            progress.running = true;
            const CheckResult result = RunOne(list[i], context);
            progress.running = false;
            Report(list[i].name, result);
            if (list[i].name == "info") progress.filterCount = context.filterCount;
        }
        if (list[i].name == "info" && progress.filterCount > 0) {
            if (options.filter >= progress.filterCount)
                throw HostError("bad filter index " + std::to_string(options.filter) + ": the plug-in has " +
                                    std::to_string(progress.filterCount) + " filters",
                                kExitUsage);
            context.filterCount = progress.filterCount;
            AddFilterChecks(list, options, progress.filterCount);
        }
    }
    EnterCriticalSection(&output);
    WriteStdout(TallyLine(progress.tally) + "\n");
    return progress.tally.failed ? kExitFailure : 0;
}

bool CheckRunning() { return progress.running; }

void ContinueChecksAfterFault(const EXCEPTION_RECORD& record) {
    EnterCriticalSection(&output);
    // A second fault, in this handler or in what the first one left behind.
    if (progress.faulted) TerminateProcess(GetCurrentProcess(), 3);
    progress.faulted = true;
    char module[MAX_PATH];
    FaultModuleName(record.ExceptionAddress, module, MAX_PATH);
    const std::string seen = ExceptionText(record) + " in " + module;
    ReportCheck(progress.tally, progress.name, Failed("no fault", seen));

    // The process is not to be trusted after a fault in foreign code: the
    // rest goes on in a new one, writing to the same output.
    const std::wstring line = progress.commandLine + L" --resume " + std::to_wstring(progress.next + 1) + L"," +
                              std::to_wstring(progress.filterCount) + L"," + std::to_wstring(progress.tally.passed) +
                              L"," + std::to_wstring(progress.tally.failed) + L"," +
                              std::to_wstring(progress.tally.skipped);
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    const DWORD streams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    HANDLE* targets[] = {&startup.hStdInput, &startup.hStdOutput, &startup.hStdError};
    for (int i = 0; i < 3; ++i) {
        *targets[i] = GetStdHandle(streams[i]);
        SetHandleInformation(*targets[i], HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    PROCESS_INFORMATION child = {};
    DWORD exitCode = 3;
    if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child)) {
        WaitForSingleObject(child.hProcess, INFINITE);
        GetExitCodeProcess(child.hProcess, &exitCode);
    } else {
        WriteStderr("ppihost: cannot start ppihost again for the remaining checks: " + SystemMessage(GetLastError()) +
                    "\n");
    }
    // Not ExitProcess: the plug-in's DllMain would run in this broken process.
    TerminateProcess(GetCurrentProcess(), exitCode);
    for (;;) Sleep(INFINITE);
}
