// The fault sweep's plan, its sample and its report lines, from the calls of
// a run without faults.
#include "host/faults/FaultPlan.h"
#include "host/faults/FaultReport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "F:C" failing alone, "F:C+" from that call on, "F:*" every call.
std::string Text(const std::vector<FaultRun>& runs) {
    std::string text;
    for (const FaultRun& r : runs)
        text += (text.empty() ? "" : " ") + std::to_string(r.function) + ":" +
                (r.call ? std::to_string(r.call) + (r.onward ? "+" : "") : "*");
    return text;
}

TEST(FaultPlan, RunsFromBursts) {
    struct Case {
        std::vector<CallBurst> bursts;
        long long calls;
        int collapsed;
        long long unfailed;
        const char *single, *onward, *persistent;
    };
    const Case cases[] = {
        {{}, 0, 0, 0, "", "", ""},
        {{{2, 1}}, 1, 0, 0, "2:1", "", "2:*"},
        // From the first call on is every call, from the last that call alone.
        {{{0, 3}}, 3, 0, 0, "0:1 0:2 0:3", "0:2+", "0:*"},
        // A loop of 1,000 calls fails at its first, second and last.
        {{{1, 1000}}, 1000, 1, 997, "1:1 1:2 1:1000", "1:2+", "1:*"},
        // The calls of a function count on across its bursts.
        {{{0, 1}, {1, 2}, {0, 5}}, 8, 1, 2, "0:1 1:1 1:2 0:2 0:3 0:6", "0:2+ 0:3+", "0:* 1:*"},
        // Only a function that runs out fails from a call on.
        {{{2, 3}, {1, 3}}, 6, 0, 0, "2:1 2:2 2:3 1:1 1:2 1:3", "1:2+", "2:* 1:*"},
        // Ids outside the table and empty bursts count for nothing.
        {{{-1, 4}, {3, 2}, {0, 0}}, 0, 0, 0, "", "", ""},
    };
    for (const Case& c : cases) {
        const FaultPlan plan = PlanFaults(c.bursts, {true, true, false});
        SCOPED_TRACE(c.single);
        EXPECT_EQ(c.calls, plan.calls);
        EXPECT_EQ(c.collapsed, plan.collapsed);
        EXPECT_EQ(c.unfailed, plan.unfailed);
        EXPECT_EQ(c.single, Text(plan.single));
        EXPECT_EQ(c.onward, Text(plan.onward));
        EXPECT_EQ(c.persistent, Text(plan.persistent));
        EXPECT_FALSE(plan.sample.On());
    }
}

TEST(FaultPlan, SampleKeepsTheFirstAndOneInEvery) {
    struct Case {
        const char* option;
        bool parses;
        const char *single, *onward;
    };
    const Case cases[] = {
        {"0,1", true, "0:1 0:2 0:3 0:4 0:5 0:6", "0:2+ 0:3+ 0:4+ 0:5+"},
        {"2,3", true, "0:1 0:2 0:3 0:6", "0:2+ 0:3+ 0:4+"},
        {"0,4", true, "0:1 0:5", "0:2+"},
        {"9,50", true, "0:1 0:2 0:3 0:4 0:5 0:6", "0:2+ 0:3+ 0:4+ 0:5+"},
        {"6", false, "", ""},       {"6,0", false, "", ""}, {"-1,5", false, "", ""},
        {"6,50,1", false, "", ""},  {"6,50x", false, "", ""}, {"", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option);
        FaultSample sample;
        ASSERT_EQ(c.parses, ParseFaultSample(c.option, sample));
        if (!c.parses) {
            EXPECT_FALSE(sample.On());
            continue;
        }
        FaultPlan plan = PlanFaults({{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}}, {true});
        SampleRuns(plan, sample);
        EXPECT_EQ(c.single, Text(plan.single));
        EXPECT_EQ(c.onward, Text(plan.onward));
        EXPECT_EQ("0:*", Text(plan.persistent));
        EXPECT_EQ(6, plan.singleBefore);
        EXPECT_EQ(4, plan.onwardBefore);
    }
}

std::string Failing(int function) { return "F" + std::to_string(function) + " returning NULL"; }

TEST(FaultReport, OneLinePerFunctionAndOutcome) {
    const RunResult clean, fault = {RunResult::Fault, "exception 0xC0000005 in x.ppi+0x10", 5, 1},
                           leak = {RunResult::Problem, "a leak: 1 handle more after the unload", 5, 1},
                           notMade = {RunResult::Problem, kNotMade, 4, 0},
                           stray = {RunResult::Abort, "an abort", 4, 0};
    struct Case {
        std::vector<ScenarioSweep::Found> found;
        std::vector<std::string> lines;
    };
    const std::string figures = "T: 7 calls; 7 runs failing one call, 3 runs failing from a call on, 2 runs failing "
                                "one function at every call, 0.0 s";
    const Case cases[] = {
        {{}, {"ok: " + figures + ": no fault, hang, abort, write outside the rectangle, broken answer or leak"}},
        {{{{0, 1}, fault}, {{0, 2}, fault}, {{0, 3}, fault}, {{0, 2, true}, fault}, {{0, 0}, fault}},
         {"FAIL: T: F0 returning NULL (calls 1, 2 and 3 of 5, each failing alone, every call from call 2 of 5 on, and "
          "every call): exception 0xC0000005 in x.ppi+0x10",
          "info: " + figures}},
        {{{{1, 2}, leak}, {{0, 5, true}, leak}, {{0, 1}, fault}},
         {"FAIL: T: F1 returning NULL (call 2 of 2 failing alone): a leak: 1 handle more after the unload",
          "FAIL: T: F0 returning NULL (every call from call 5 of 5 on): a leak: 1 handle more after the unload",
          "FAIL: T: F0 returning NULL (call 1 of 5 failing alone): exception 0xC0000005 in x.ppi+0x10",
          "info: " + figures}},
        // Calls a run did not reach while other runs of the function did are
        // noted; a function no run could fail is a failure.
        {{{{1, 0}, notMade}, {{1, 1}, notMade}, {{0, 4}, stray}},
         {"info: T: F1 returning NULL (call 1 of 2 failing alone, and every call): " + std::string(kNotMade) +
              "; the other runs made it",
          "FAIL: T: with the call meant to fail not made: an abort", "info: " + figures}},
        {{{{1, 0}, notMade}, {{1, 1}, notMade}},
         {"info: T: F1 returning NULL (call 1 of 2 failing alone, and every call): " + std::string(kNotMade) +
              "; the other runs made it",
          "ok: " + figures + ": no fault, hang, abort, write outside the rectangle, broken answer or leak"}},
        {{{{1, 1}, notMade}, {{1, 2}, notMade}, {{1, 2, true}, notMade}, {{1, 0}, notMade}},
         {"FAIL: T: F1 returning NULL (calls 1 and 2 of 2, each failing alone, every call from call 2 of 2 on, and "
          "every call): " + std::string(kNotMade),
          "info: " + figures}},
    };
    for (const Case& c : cases) {
        ScenarioSweep s;
        s.plan = PlanFaults({{0, 3}, {1, 2}, {0, 2}}, {true, true});
        s.found = c.found;
        std::vector<std::string> lines;
        for (const FaultLine& line : ReportSweep(s, "T", Failing))
            lines.push_back((line.kind == FaultLine::Failed ? "FAIL: " : line.kind == FaultLine::Passed ? "ok: " : "info: ") +
                            line.text);
        EXPECT_EQ(c.lines, lines);
    }
}

TEST(FaultReport, FiguresNameASample) {
    ScenarioSweep s;
    s.plan = PlanFaults({{0, 1}, {1, 1000}, {0, 1}}, {true, true});
    EXPECT_EQ("1,002 calls (1 loop of one call collapsed, 997 calls in them not failed alone); 5 runs failing one "
              "call, 1 run failing from a call on, 2 runs failing one function at every call, 0.0 s",
              SweepFigures(s));
    SampleRuns(s.plan, {1, 3});
    s.seconds = 2.25;
    EXPECT_EQ("1,002 calls (1 loop of one call collapsed, 997 calls in them not failed alone); a sample of the runs, "
              "the first 1 and one in every 3 after: 3 of 5 runs failing one call, 1 of 1 run failing from a call on, "
              "2 runs failing one function at every call, 2.2 s",
              SweepFigures(s));
    s.plan = PlanFaults({}, {true, true});
    EXPECT_EQ((std::vector<std::string>{"T: no call that the system could fail"}),
              [&] {
                  std::vector<std::string> texts;
                  for (const FaultLine& line : ReportSweep(s, "T", Failing)) texts.push_back(line.text);
                  return texts;
              }());
}

}  // namespace
