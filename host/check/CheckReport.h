// The lines `ppihost check` prints: one per check, then the tally.
#pragma once

#include <string>

#include "host/check/CheckContext.h"
#include "host/worker/Worker.h"

struct CheckTally {
    int passed = 0;
    int failed = 0;
    int skipped = 0;
};

// "ok    name: text", "FAIL  ...", "skip  ...", "info  ..." on stdout; counts
// all but information lines.
void ReportCheck(CheckTally& tally, const std::string& name, const CheckResult& result);

// "12 passed, 1 failed, 2 skipped"
std::string TallyLine(const CheckTally& tally);

// A result as a worker sends it: "verdict fail TEXT".
std::string VerdictLine(const CheckResult& result);
// The result a worker's answer gives: its verdict line, or what ended it
// ("expected no fault; seen exception ...", a hang, an abort).
CheckResult VerdictOf(const WorkerAnswer& answer);
