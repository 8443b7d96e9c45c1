// The outcomes of a swept scenario, and the scenario as report lines: one
// line saying what was tried when nothing broke, else one line per function
// and outcome, so that one bug is one line whatever number of calls meets
// it, and one of what was tried. Plain C++.
#pragma once

#include <string>
#include <vector>

#include "host/faults/FaultPlan.h"

struct RunResult {
    enum Kind { Clean, Problem, Fault, Hang, Abort };
    Kind kind = Clean;
    // "exception 0xC0000005 (reading 00000000) in x.ppi+0x1A2B", "exit code
    // 3", or the scenario's words.
    std::string text;
    long long calls = 0;
    // Calls that were failed; 0 when the call meant to fail never came.
    long long failures = 0;
};

// A run's text when the call meant to fail was not made.
constexpr char kNotMade[] = "the call meant to fail was not made";

// One scenario swept: its plan, the run without faults, and every run whose
// outcome was not clean.
struct ScenarioSweep {
    std::string token;
    FaultPlan plan;
    RunResult counting;
    std::vector<std::string> unknown;
    struct Found {
        FaultRun run;
        RunResult result;
    };
    std::vector<Found> found;
    long long runs = 0;
    double seconds = 0;
};

struct FaultLine {
    enum Kind { Passed, Failed, Figures };
    Kind kind;
    std::string text;
};

// title: what the scenario does ("filter 0 over an image"); failing: how a
// call of the table's function fails ("GetDC returning NULL, ...").
std::vector<FaultLine> ReportSweep(const ScenarioSweep& sweep, const std::string& title,
                                   std::string (*failing)(int function));

// "1,234 calls (2 loops of one call collapsed); 310 runs failing one call,
// 14 failing a function at every call"
std::string SweepFigures(const ScenarioSweep& sweep);
