// Lines of text over an anonymous pipe, the way a fault sweep's parent and
// its worker talk.
#pragma once

#include <windows.h>

#include <string>

#include "host/faults/FaultPlan.h"

class PipeLines {
public:
    PipeLines(HANDLE in, HANDLE out) : in(in), out(out) {}
    // False once the other end is gone.
    bool Read(std::string& line);
    bool Write(const std::string& line);
    HANDLE In() const { return in; }
    HANDLE Out() const { return out; }

private:
    HANDLE in;
    HANDLE out;
    std::string buffer;
};

// The words of the sweep's pipe. The parent asks "filters", "count TOKEN",
// a run (RunCommand) or "quit"; the worker answers each with "done CALLS
// FAILURES FIRST PROBLEM...", after "filters N", "unknown DLL!NAME" and
// "burst FUNCTION LENGTH" lines, or ends after a "fault WHAT" line.
// "single TOKEN F C", "from TOKEN F C" or "always TOKEN F".
std::string RunCommand(const std::string& token, const FaultRun& run);
// False, with run.function -1, for any other command.
bool ParseRunCommand(const std::string& command, std::string& token, FaultRun& run);
