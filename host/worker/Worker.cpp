#include "host/worker/Worker.h"

#include <cstdint>
#include <cstdio>

#include "host/cli/Console.h"
#include "host/session/FaultGuard.h"

namespace {

struct Watch {
    HANDLE process;
    HANDLE answered;
    DWORD patienceMs;
    volatile LONG expired;
};

// Ends a worker that does not answer in time; its pipe then closes and the
// waiting read returns.
DWORD WINAPI WatchCommand(void* data) {
    Watch& watch = *static_cast<Watch*>(data);
    if (WaitForSingleObject(watch.answered, watch.patienceMs) == WAIT_TIMEOUT) {
        InterlockedExchange(&watch.expired, 1);
        TerminateProcess(watch.process, 0xDEAD);
    }
    return 0;
}

HANDLE answers = nullptr;
std::string doing;

// The parent reads this as the command's outcome; nothing of this process is
// trusted after it, so no DllMain runs either.
[[noreturn]] void ReportFault(const EXCEPTION_RECORD& record) {
    const std::string line = std::string(WorkerWords::kFault) + " " + ExceptionText(record) + " in " +
                             FaultPlace(record.ExceptionAddress) + (doing.empty() ? "" : " during " + doing) + "\n";
    DWORD written = 0;
    WriteFile(answers, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;) Sleep(INFINITE);
}

LONG WINAPI ReportUnhandled(EXCEPTION_POINTERS* info) { ReportFault(*info->ExceptionRecord); }

}  // namespace

WorkerProcess::WorkerProcess(const std::wstring& commandLine, int patienceSeconds)
    : commandLine(commandLine), patienceSeconds(patienceSeconds) {}

WorkerProcess::~WorkerProcess() {
    if (pipe) pipe->Write(WorkerWords::kQuit);
    Stop();
}

bool WorkerProcess::Start(std::string& error) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE toChild = nullptr, childIn = nullptr, fromChild = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &toChild, &inherit, 0) || !CreatePipe(&fromChild, &childOut, &inherit, 0)) {
        error = "cannot start a worker: " + SystemMessage(GetLastError());
        if (toChild) CloseHandle(toChild);
        if (childIn) CloseHandle(childIn);
        return false;
    }
    // Only the child's ends are inherited.
    SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
    // What the plug-in or its runtime prints is not the answer.
    const HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inherit, OPEN_EXISTING, 0, nullptr);
    std::wstring line = commandLine + L" --worker " + std::to_wstring(reinterpret_cast<uintptr_t>(childIn)) + L"," +
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
        error = "cannot start a worker: " + SystemMessage(startError);
        return false;
    }
    pipe = new PipeLines(fromChild, toChild);
    ++starts;
    return true;
}

void WorkerProcess::Stop() {
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

WorkerAnswer WorkerProcess::Ask(const std::string& command) {
    WorkerAnswer answer;
    if (!pipe && !Start(answer.text)) {
        answer.kind = WorkerAnswer::Abort;
        return answer;
    }
    Watch watch = {process.hProcess, CreateEventW(nullptr, TRUE, FALSE, nullptr),
                   static_cast<DWORD>(patienceSeconds) * 1000, 0};
    const HANDLE watcher = CreateThread(nullptr, 0, WatchCommand, &watch, 0, nullptr);
    std::string line, fault;
    bool answered = false;
    if (pipe->Write(command)) {
        while (pipe->Read(line)) {
            if (ParseDoneLine(line, answer.done)) {
                answered = true;
                break;
            }
            if (const char* what = AfterWord(line, WorkerWords::kFault))
                fault = what;
            else
                answer.lines.push_back(line);
        }
    }
    SetEvent(watch.answered);
    if (watcher) {
        WaitForSingleObject(watcher, INFINITE);
        CloseHandle(watcher);
    }
    CloseHandle(watch.answered);
    if (answered) return answer;
    // The worker is gone: this command ended it.
    WaitForSingleObject(process.hProcess, 5000);
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    Stop();
    if (!fault.empty()) {
        answer.kind = WorkerAnswer::Fault;
        answer.text = fault;
    } else if (watch.expired) {
        answer.kind = WorkerAnswer::Hang;
        answer.text = "a hang: no answer within " + std::to_string(patienceSeconds) + " s";
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "an abort: the process ended with exit code %lu (0x%lX)",
                      static_cast<unsigned long>(code), static_cast<unsigned long>(code));
        answer.kind = WorkerAnswer::Abort;
        answer.text = text;
    }
    return answer;
}

int ServeWorker(const std::string& pipes, const std::function<bool(const std::string&, PipeLines&)>& serve) {
    unsigned long long in = 0, out = 0;
    if (std::sscanf(pipes.c_str(), "%llu,%llu", &in, &out) != 2) return 2;
    PipeLines pipe(reinterpret_cast<HANDLE>(static_cast<uintptr_t>(in)),
                   reinterpret_cast<HANDLE>(static_cast<uintptr_t>(out)));
    answers = pipe.Out();
    InstallFaultGuard(ReportFault);
    SetUnhandledExceptionFilter(ReportUnhandled);
    // No system dialog for a plug-in that cannot be loaded or that faults.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
    std::string command;
    while (pipe.Read(command))
        if (command == WorkerWords::kQuit || !serve(command, pipe)) break;
    return 0;
}

void WorkerDoing(const std::string& what) { doing = what; }
