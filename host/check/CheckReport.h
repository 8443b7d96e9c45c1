// The lines `ppihost check` prints: one per check, then the tally.
#pragma once

#include <string>

#include "host/check/CheckContext.h"

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
