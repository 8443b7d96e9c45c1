#include "host/check/HostEnvironmentCheck.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "host/cli/Console.h"
#include "host/session/ClientInfo.h"
#include "host/session/FaultGuard.h"
#include "host/session/HostEnvironment.h"
#include "host/session/SetupSession.h"

namespace {

// A worker runs each filter once, and each set-up with Cancel: ample even
// in an emulator.
const DWORD kPatienceMs = 300 * 1000;

struct WorkerRun {
    std::string output;
    DWORD exitCode = 0;
    bool hung = false;
    std::string startError;
};

// Runs `line` with its standard output into a pipe of ours; a worker still
// running after kPatienceMs is ended.
WorkerRun RunWorker(const std::wstring& line) {
    WorkerRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE fromChild = nullptr, childOut = nullptr;
    if (!CreatePipe(&fromChild, &childOut, &inherit, 0)) {
        run.startError = SystemMessage(GetLastError());
        return run;
    }
    SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
    // What the plug-in or its runtime prints to stderr is not the verdict.
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr);
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdError = nul;
    startup.hStdOutput = childOut;
    PROCESS_INFORMATION process = {};
    const bool started = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &process);
    const DWORD startError = GetLastError();
    CloseHandle(childOut);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) {
        CloseHandle(fromChild);
        run.startError = SystemMessage(startError);
        return run;
    }
    const ULONGLONG deadline = GetTickCount64() + kPatienceMs;
    for (;;) {
        DWORD available = 0;
        if (PeekNamedPipe(fromChild, nullptr, 0, nullptr, &available, nullptr) && available) {
            char chunk[4096];
            DWORD read = 0;
            if (ReadFile(fromChild, chunk, sizeof chunk, &read, nullptr)) run.output.append(chunk, read);
            continue;
        }
        // Its output may still be in the pipe once it has ended.
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0) {
            char chunk[4096];
            DWORD read = 0;
            while (PeekNamedPipe(fromChild, nullptr, 0, nullptr, &available, nullptr) && available &&
                   ReadFile(fromChild, chunk, sizeof chunk, &read, nullptr) && read)
                run.output.append(chunk, read);
            break;
        }
        if (GetTickCount64() > deadline) {
            TerminateProcess(process.hProcess, 0xDEAD);
            WaitForSingleObject(process.hProcess, INFINITE);
            run.hung = true;
            break;
        }
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(fromChild);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return run;
}

// "22,232"
std::string Grouped(long long n) {
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

// The call a fault would be reported in.
const char* during = "the worker's start";
int duringFilter = -1;

[[noreturn]] void ReportWorkerFault(const EXCEPTION_RECORD& record) {
    const char* floating = FloatExceptionName(record.ExceptionCode);
    char kind[64];
    if (floating)
        std::snprintf(kind, sizeof kind, "%s exception", floating);
    else if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION)
        std::snprintf(kind, sizeof kind, "access violation");
    else
        std::snprintf(kind, sizeof kind, "exception 0x%08lX", static_cast<unsigned long>(record.ExceptionCode));
    WriteStdout("FAIL " + std::string(kind) + " in " + FaultPlace(record.ExceptionAddress) + " during " + during +
                (duringFilter >= 0 ? " of filter " + std::to_string(duringFilter) : std::string()) + "\n");
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;) Sleep(INFINITE);
}

LONG WINAPI ReportUnhandled(EXCEPTION_POINTERS* info) { ReportWorkerFault(*info->ExceptionRecord); }

int WINAPI IgnoreProgress(int, int, void*) { return 0; }

// The worker's verdict, its one line.
int Answer(const char* word, const std::string& text) {
    WriteStdout(std::string(word) + " " + text + "\n");
    return 0;
}

// One call into the plug-in as a host in env makes it; what it left of the
// host's state, "" when nothing.
template <class Call>
std::string AsHost(const HostEnvironment& env, const char* name, int filter, Call call) {
    const HostEnvironment& standard = HostEnvironments()[0];
    during = name;
    duringFilter = filter;
    SetFloatControl(env.mxcsr, env.x87Control);
    call();
    const FloatControl after = ReadFloatControl();
    SetFloatControl(standard.mxcsr, standard.x87Control);
    during = "the worker's own work";
    duringFilter = -1;
    const std::string change = FloatControlChange(env, after);
    return change.empty() ? "" : change + " after " + name + " of filter " + std::to_string(filter);
}

}  // namespace

CheckResult CheckHostEnvironment(CheckContext& context, size_t environment) {
    const HostEnvironment& env = HostEnvironments()[environment];
    std::wstring& reference = context.environmentReference;
    if (environment == 0) {
        wchar_t folder[MAX_PATH], file[MAX_PATH];
        if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"ppi", 0, file))
            return Skipped(std::string(env.name) + ": no temporary file for the default state's bytes: " +
                           SystemMessage(GetLastError()));
        reference = file;
    } else if (reference.empty()) {
        return Skipped(std::string(env.name) + ": the default state's run gave no bytes to compare with");
    }
    const WorkerRun run = RunWorker(context.options.self + L" --environment " + std::to_wstring(environment) +
                                    L" --reference \"" + reference + L"\"");
    std::string line = run.output.substr(0, run.output.find('\n'));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    CheckResult result = {Verdict::Fail, ""};
    if (!run.startError.empty())
        result.text = "cannot start a worker: " + run.startError;
    else if (run.hung)
        result.text = "a hang: the worker had not ended " + std::to_string(kPatienceMs / 1000) + " s later";
    else if (line.rfind("ok ", 0) == 0)
        result = {Verdict::Pass, line.substr(3)};
    else if (line.rfind("FAIL ", 0) == 0)
        result.text = line.substr(5);
    else if (line.rfind("skip ", 0) == 0)
        result = {Verdict::Skip, line.substr(5)};
    else
        result.text = "the worker ended with exit code " + std::to_string(run.exitCode) + " and no verdict";
    if (environment == 0 && result.verdict != Verdict::Pass) {
        DeleteFileW(reference.c_str());
        reference.clear();
    }
    result.text = std::string(env.name) + ": " + result.text;
    return result;
}

namespace {

int Serve(const CheckOptions& options, const HostEnvironment& env, bool isReference, const std::wstring& reference) {
    ComScope com;
    CheckContext context(options);
    const Image& image = context.MainImage();
    PluginLibrary plugin(options.plugin);
    plugin.SetStackOffset(env.stackOffset);
    // White under a white guide shows a rounding that goes down.
    SetDrawColor(255, 255, 255);

    std::vector<uint32_t> bytes;
    const int count = plugin.Count();
    std::vector<int> filters;
    for (int i = 0; i < count; ++i)
        if (options.filter < 0 || options.filter == i) filters.push_back(i);
    for (int i : filters) {
        std::vector<uint32_t> source = image.pixels, destination(image.pixels.size(), 0);
        FilterRect rect = {0, 0, image.width, image.height};
        const std::string change = AsHost(env, "PBF_Execute", i, [&] {
            plugin.Execute(i, source.data(), destination.data(), &rect, image.width, IgnoreProgress, nullptr);
        });
        if (!change.empty()) return Answer("FAIL", change);
        bytes.insert(bytes.end(), destination.begin(), destination.end());
    }
    if (options.setup) {
        InitDialogControls();
        for (int i : filters) {
            std::vector<uint32_t> pixels = image.pixels;
            SetupRequest request;
            request.index = i;
            request.press = IDCANCEL;
            request.quick = true;
            SetupOutcome outcome;
            const std::string change = AsHost(env, "PBF_Setup", i, [&] {
                outcome = RunSetup(plugin, pixels.data(), image.width, image.height, request);
            });
            if (!change.empty()) return Answer("FAIL", change);
            if (outcome.closedByForce) return Answer("FAIL", "the set-up of filter " + std::to_string(i) +
                                                                  " stayed open after Cancel, ended by force");
        }
    }
    if (!plugin.StackError().empty()) return Answer("FAIL", plugin.StackError());

    const size_t perFilter = image.pixels.size();
    const std::string what = std::to_string(filters.size()) + (filters.size() == 1 ? " filter" : " filters") +
                             " over the " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                             " image" + (options.setup ? ", set-ups ended by Cancel" : "");
    if (isReference) {
        HANDLE file = CreateFileW(reference.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(bytes.size() * sizeof(uint32_t));
        const bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes.data(), size, &written, nullptr) &&
                        written == size;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (!ok) return Answer("skip", "cannot keep the default state's bytes: " + SystemMessage(GetLastError()));
        return Answer("ok", what + "; the reference for the other states");
    }
    std::vector<uint32_t> want(bytes.size(), 0);
    HANDLE file = CreateFileW(reference.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD read = 0;
    const DWORD size = static_cast<DWORD>(want.size() * sizeof(uint32_t));
    const bool ok = file != INVALID_HANDLE_VALUE && ReadFile(file, want.data(), size, &read, nullptr) && read == size;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!ok) return Answer("skip", "cannot read the default state's bytes back");
    for (size_t f = 0; f < filters.size(); ++f) {
        long long differ = 0;
        size_t first = 0;
        for (size_t i = 0; i < perFilter; ++i) {
            if (bytes[f * perFilter + i] == want[f * perFilter + i]) continue;
            if (differ++ == 0) first = i;
        }
        if (!differ) continue;
        char where[96];
        std::snprintf(where, sizeof where, " (first at %d,%d: %08x, want %08x)",
                      static_cast<int>(first % static_cast<size_t>(image.width)),
                      static_cast<int>(first / static_cast<size_t>(image.width)),
                      static_cast<unsigned>(bytes[f * perFilter + first]),
                      static_cast<unsigned>(want[f * perFilter + first]));
        return Answer("FAIL", Grouped(differ) + " pixels of filter " + std::to_string(filters[f]) +
                                   " differ from the default state's run" + where);
    }
    return Answer("ok", what + ": the default state's bytes, no exception, the host's state kept");
}

}  // namespace

int ServeHostEnvironment(const CheckOptions& options, size_t environment, const std::wstring& reference) {
    if (environment >= HostEnvironments().size()) return Answer("FAIL", "no such state");
    InstallFaultGuard(ReportWorkerFault);
    SetUnhandledExceptionFilter(ReportUnhandled);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    try {
        return Serve(options, HostEnvironments()[environment], environment == 0, reference);
    } catch (const std::exception& e) {
        // The load check says why, in the parent.
        return Answer("skip", std::string("the plug-in could not be run: ") + e.what());
    }
}
