#include "host/check/CheckReport.h"

#include "host/cli/Console.h"

namespace {

// In the order of Verdict.
const char* const kVerdictWords[] = {"pass", "fail", "skip", "info"};

}  // namespace

void ReportCheck(CheckTally& tally, const std::string& name, const CheckResult& result) {
    const char* verdict = "info  ";
    switch (result.verdict) {
        case Verdict::Pass:
            verdict = "ok    ";
            ++tally.passed;
            break;
        case Verdict::Fail:
            verdict = "FAIL  ";
            ++tally.failed;
            break;
        case Verdict::Skip:
            verdict = "skip  ";
            ++tally.skipped;
            break;
        case Verdict::Info:
            break;
    }
    WriteStdout(verdict + name + ": " + result.text + "\n");
}

std::string TallyLine(const CheckTally& tally) {
    return std::to_string(tally.passed) + " passed, " + std::to_string(tally.failed) + " failed, " +
           std::to_string(tally.skipped) + " skipped";
}

std::string VerdictLine(const CheckResult& result) {
    std::string text = result.text;
    // One line on the pipe, whatever a text brought along.
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return std::string(WorkerWords::kVerdict) + " " + kVerdictWords[static_cast<int>(result.verdict)] + " " + text;
}

CheckResult VerdictOf(const WorkerAnswer& answer) {
    if (answer.kind == WorkerAnswer::Fault) return Failed("no fault", answer.text);
    if (answer.kind != WorkerAnswer::Done) return {Verdict::Fail, answer.text};
    for (const std::string& line : answer.lines) {
        const char* after = AfterWord(line, WorkerWords::kVerdict);
        const std::string rest = after ? after : "";
        for (int v = 0; after && v < 4; ++v)
            if (const char* text = AfterWord(rest, kVerdictWords[v])) return {static_cast<Verdict>(v), text};
    }
    return {Verdict::Fail, "the worker gave no verdict" +
                               (answer.done.problem.empty() ? std::string() : ": " + answer.done.problem)};
}
