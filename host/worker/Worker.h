// The one way ppihost survives a plug-in that faults, aborts or hangs: what
// could end a process runs in a worker, a ppihost of its own, which the
// parent asks one command at a time over a pipe. A fault ends the worker
// after a line that names it; the parent reports it as the outcome of that
// command and starts another worker for the next.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "host/worker/PipeLines.h"

// How a command ended.
struct WorkerAnswer {
    enum Kind { Done, Fault, Hang, Abort };
    Kind kind = Done;
    // Done: the done line's figures and problem.
    DoneAnswer done;
    // Otherwise, what ended the worker: "exception 0xC0000005 (writing
    // 00000000) in x.ppi+0x1A2B during PBF_Execute of filter 0", "a hang: no
    // answer within 60 s", "an abort: ...".
    std::string text;
    // The worker's lines before its answer.
    std::vector<std::string> lines;
};

// The parent's side.
class WorkerProcess {
public:
    // commandLine: starts a worker once " --worker IN,OUT" is added. A
    // command that has not been answered after patienceSeconds is a hang.
    WorkerProcess(const std::wstring& commandLine, int patienceSeconds);
    ~WorkerProcess();
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;

    // Starts a worker when none runs.
    WorkerAnswer Ask(const std::string& command);
    int PatienceSeconds() const { return patienceSeconds; }
    // Workers started so far.
    int Starts() const { return starts; }

private:
    bool Start(std::string& error);
    void Stop();

    const std::wstring commandLine;
    const int patienceSeconds;
    PROCESS_INFORMATION process = {};
    PipeLines* pipe = nullptr;
    int starts = 0;
};

// The worker's side, pipes "IN,OUT" as the parent passed them: hands each
// command to serve until serve returns false or the parent goes away; a fault
// anywhere in the process ends it after a kFault line. Returns the exit code.
int ServeWorker(const std::string& pipes, const std::function<bool(const std::string& command, PipeLines& pipe)>& serve);

// What the worker does now, named in a fault's line ("PBF_Execute of filter
// 0"); "" for its own work.
void WorkerDoing(const std::string& what);
