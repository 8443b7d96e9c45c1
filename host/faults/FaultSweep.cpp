#include "host/faults/FaultSweep.h"

#include <cstdio>
#include <cstdlib>

#include "host/session/ImportFaults.h"

namespace {

struct Watch {
    HANDLE process;
    HANDLE answered;
    DWORD patienceMs;
    volatile LONG expired;
};

// Ends a worker that does not answer in time; its pipe then closes and the
// waiting read returns.
DWORD WINAPI WatchRun(void* data) {
    Watch& watch = *static_cast<Watch*>(data);
    if (WaitForSingleObject(watch.answered, watch.patienceMs) == WAIT_TIMEOUT) {
        InterlockedExchange(&watch.expired, 1);
        TerminateProcess(watch.process, 0xDEAD);
    }
    return 0;
}

double Seconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

}  // namespace

FaultSweep::FaultSweep(const std::wstring& worker, int patienceSeconds)
    : worker(worker), patienceSeconds(patienceSeconds) {}

FaultSweep::~FaultSweep() {
    if (pipe) pipe->Write(SweepWords::kQuit);
    Stop();
}

bool FaultSweep::Start(std::string* error) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE toChild = nullptr, childIn = nullptr, fromChild = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &toChild, &inherit, 0)) return false;
    if (!CreatePipe(&fromChild, &childOut, &inherit, 0)) {
        CloseHandle(childIn);
        CloseHandle(toChild);
        return false;
    }
    // Only the child's ends are inherited.
    SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
    // What the plug-in or its runtime prints is not the sweep's output.
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr);
    std::wstring line = worker + L" --worker " + std::to_wstring(reinterpret_cast<uintptr_t>(childIn)) + L"," +
                        std::to_wstring(reinterpret_cast<uintptr_t>(childOut));
    std::vector<wchar_t> buffer(line.begin(), line.end());
    buffer.push_back(0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = startup.hStdOutput = startup.hStdError = nul;
    const bool started = CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &process);
    const DWORD startError = GetLastError();
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
    if (!started) {
        CloseHandle(toChild);
        CloseHandle(fromChild);
        if (error) *error = "cannot start a worker, error " + std::to_string(startError);
        return false;
    }
    pipe = new PipeLines(fromChild, toChild);
    ++starts;
    return true;
}

void FaultSweep::Stop() {
    if (!pipe) return;
    CloseHandle(pipe->Out());
    WaitForSingleObject(process.hProcess, 5000);
    TerminateProcess(process.hProcess, 0xDEAD);
    CloseHandle(pipe->In());
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    delete pipe;
    pipe = nullptr;
}

RunResult FaultSweep::Ask(const std::string& command, std::vector<std::string>* before) {
    RunResult result;
    std::string error;
    if (!pipe && !Start(&error)) {
        result.kind = RunResult::Abort;
        result.text = error;
        return result;
    }
    Watch watch = {process.hProcess, CreateEventW(nullptr, TRUE, FALSE, nullptr),
                   static_cast<DWORD>(patienceSeconds) * 1000, 0};
    const HANDLE watcher = CreateThread(nullptr, 0, WatchRun, &watch, 0, nullptr);
    std::string line, fault;
    bool answered = false;
    if (pipe->Write(command)) {
        while (pipe->Read(line)) {
            DoneAnswer done;
            if (ParseDoneLine(line, done)) {
                result.calls = done.calls;
                result.failures = done.failures;
                result.text = done.problem;
                result.kind = done.problem.empty() ? RunResult::Clean : RunResult::Problem;
                answered = true;
                break;
            }
            if (const char* what = AfterWord(line, SweepWords::kFault))
                fault = what;
            else if (before)
                before->push_back(line);
        }
    }
    SetEvent(watch.answered);
    if (watcher) {
        WaitForSingleObject(watcher, INFINITE);
        CloseHandle(watcher);
    }
    CloseHandle(watch.answered);
    if (answered) return result;
    // The worker is gone: this run ended it.
    WaitForSingleObject(process.hProcess, 5000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    Stop();
    if (!fault.empty()) {
        result.kind = RunResult::Fault;
        result.text = fault;
    } else if (watch.expired) {
        result.kind = RunResult::Hang;
        result.text = "a hang: no answer within " + std::to_string(patienceSeconds) + " s";
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "an abort: the process ended with exit code %lu (0x%lX)",
                      static_cast<unsigned long>(code), static_cast<unsigned long>(code));
        result.kind = RunResult::Abort;
        result.text = text;
    }
    // Which call failed is not known once the process is gone: the one meant.
    result.failures = 1;
    return result;
}

int FaultSweep::FilterCount(std::string* error) {
    std::vector<std::string> lines;
    const RunResult result = Ask(SweepWords::kFilters, &lines);
    // The answer comes as a line of its own, before the run's.
    for (const std::string& line : lines)
        if (const char* count = AfterWord(line, SweepWords::kFilters)) return std::atoi(count);
    if (error) *error = result.text;
    return -1;
}

RunResult FaultSweep::Count(const std::string& token, std::vector<CallBurst>& bursts,
                            std::vector<std::string>& unknown) {
    std::vector<std::string> lines;
    const RunResult result = Ask(std::string(SweepWords::kCount) + " " + token, &lines);
    for (const std::string& line : lines) {
        if (const char* name = AfterWord(line, SweepWords::kUnknown)) unknown.push_back(name);
        CallBurst burst;
        const char* figures = AfterWord(line, SweepWords::kBurst);
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
