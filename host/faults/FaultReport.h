// A swept scenario as report lines: one line saying what was tried when
// nothing broke, else one line per function and outcome, so that one bug
// is one line whatever number of calls meets it, and one of what was tried.
#pragma once

#include <string>
#include <vector>

#include "host/faults/FaultSweep.h"

struct FaultLine {
    enum Kind { Passed, Failed, Figures };
    Kind kind;
    std::string text;
};

// title: what the scenario does ("filter 0 over an image").
std::vector<FaultLine> ReportSweep(const ScenarioSweep& sweep, const std::string& title);

// "1,234 calls (2 loops of one call collapsed); 310 runs failing one call,
// 14 failing a function at every call"
std::string SweepFigures(const ScenarioSweep& sweep);
