#include "host/check/CheckReport.h"

#include "host/cli/Console.h"

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
