// Lines of text over an anonymous pipe, the way ppihost and its workers talk,
// and the words they say.
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

// The words of the pipe. The parent asks one command at a time, or kQuit;
// the worker answers each with a done line (DoneLine), after lines of its
// own, or ends after a kFault WHAT line.
// - A check's worker: kCheck INDEX FILTERS, answered by kVerdict WORD TEXT
//   (and kFilters N after the information check); kEnvironment N FILE, one
//   host state in a worker of its own, answered by kVerdict WORD TEXT.
// - A fault sweep's worker: kFilters, answered by kFilters N; kCount TOKEN,
//   by kUnknown DLL!NAME and kBurst FUNCTION LENGTH lines; a run
//   (RunCommand).
namespace WorkerWords {
constexpr char kQuit[] = "quit";
constexpr char kDone[] = "done";
constexpr char kFault[] = "fault";
constexpr char kCheck[] = "check";
constexpr char kEnvironment[] = "environment";
constexpr char kVerdict[] = "verdict";
constexpr char kFilters[] = "filters";
constexpr char kCount[] = "count";
constexpr char kUnknown[] = "unknown";
constexpr char kBurst[] = "burst";
}  // namespace WorkerWords

// The rest of line after word and a space, or null when it is not there.
const char* AfterWord(const std::string& line, const char* word);

// "single TOKEN F C", "from TOKEN F C" or "always TOKEN F".
std::string RunCommand(const std::string& token, const FaultRun& run);
// False, with run.function -1, for any other command.
bool ParseRunCommand(const std::string& command, std::string& token, FaultRun& run);

// The answer to a command: "done CALLS FAILURES FIRST PROBLEM...".
struct DoneAnswer {
    long long calls = 0;
    long long failures = 0;
    int firstFailed = -1;
    std::string problem;
};
std::string DoneLine(const DoneAnswer& answer);
bool ParseDoneLine(const std::string& line, DoneAnswer& answer);
