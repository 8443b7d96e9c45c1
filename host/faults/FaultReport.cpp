#include "host/faults/FaultReport.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <utility>


namespace {

struct Group {
    std::vector<long long> calls;  // failing alone
    std::vector<long long> from;   // failing from that call on
    bool always = false;
};

std::string Number(long long n) {
    std::string digits = std::to_string(n), text;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

// "call 2", "calls 1, 2 and 3", "5 calls"
std::string Calls(const std::vector<long long>& calls) {
    const size_t n = calls.size();
    if (n > 4) return Number(static_cast<long long>(n)) + " calls";
    std::string text = n == 1 ? "call " : "calls ";
    for (size_t i = 0; i < n; ++i) text += (i ? (i + 1 == n ? " and " : ", ") : "") + Number(calls[i]);
    return text;
}

// "call 2 of 3 failing alone, every call from call 3 of 3 on, and every call"
std::string Which(const Group& group, long long of) {
    std::vector<std::string> parts;
    const std::string ofAll = " of " + Number(of);
    if (group.calls.size() == 1) parts.push_back(Calls(group.calls) + ofAll + " failing alone");
    if (group.calls.size() > 1) parts.push_back(Calls(group.calls) + ofAll + ", each failing alone");
    if (!group.from.empty())
        parts.push_back("every call from " + Calls(group.from) + ofAll + (group.from.size() > 1 ? " on, each" : " on"));
    if (group.always) parts.push_back(parts.empty() ? "every call failing" : "every call");
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? ", and " : ", ") + parts[i];
    return text;
}

std::string Runs(long long n, const char* what) { return Number(n) + (n == 1 ? " run " : " runs ") + what; }

}  // namespace

std::string SweepFigures(const ScenarioSweep& s) {
    std::string text = Number(s.plan.calls) + (s.plan.calls == 1 ? " call" : " calls");
    if (s.plan.collapsed)
        text += " (" + Number(s.plan.collapsed) + (s.plan.collapsed == 1 ? " loop" : " loops") +
                " of one call collapsed, " + Number(s.plan.unfailed) + " calls in them not failed alone)";
    const FaultPlan& p = s.plan;
    const long long single = static_cast<long long>(p.single.size()), onward = static_cast<long long>(p.onward.size());
    if (p.sample.On())
        text += "; a sample of the runs, the first " + Number(p.sample.first) + " and one in every " +
                Number(p.sample.every) + " after: " + Number(single) + " of " + Runs(p.singleBefore, "failing one call") +
                ", " + Number(onward) + " of " + Runs(p.onwardBefore, "failing from a call on");
    else
        text += "; " + Runs(single, "failing one call") + ", " + Runs(onward, "failing from a call on");
    text += ", " + Runs(static_cast<long long>(p.persistent.size()), "failing one function at every call");
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, ", %.1f s", s.seconds);
    return text + seconds;
}

std::vector<FaultLine> ReportSweep(const ScenarioSweep& s, const std::string& title,
                                   std::string (*failing)(int)) {
    std::vector<FaultLine> lines;
    if (s.counting.kind != RunResult::Clean) {
        lines.push_back({FaultLine::Failed, title + ": without any fault, " + s.counting.text});
        return lines;
    }
    // Function (-1: no call failed) and outcome, in the order first met.
    std::map<std::pair<int, std::string>, Group> groups;
    std::vector<std::pair<int, std::string>> order;
    for (const ScenarioSweep::Found& found : s.found) {
        const bool notMade = found.result.text == kNotMade;
        const int function = found.result.failures || notMade ? found.run.function : -1;
        const std::pair<int, std::string> key(function, found.result.text);
        if (!groups.count(key)) order.push_back(key);
        Group& group = groups[key];
        if (!found.run.call)
            group.always = true;
        else
            (found.run.onward ? group.from : group.calls).push_back(found.run.call);
    }
    // A dialog's calls vary with timing: a call that a run did not reach
    // while other runs of the same function failed theirs is noted; a
    // function that no run could fail is a hole in the sweep.
    std::map<int, size_t> planned;
    for (const std::vector<FaultRun>* runs : {&s.plan.single, &s.plan.onward, &s.plan.persistent})
        for (const FaultRun& run : *runs) ++planned[run.function];
    for (const auto& key : order) {
        const Group& group = groups[key];
        const size_t missed = group.calls.size() + group.from.size() + (group.always ? 1 : 0);
        const bool reachedElsewhere = key.second == kNotMade && key.first >= 0 && missed < planned[key.first];
        std::string what;
        if (key.first < 0) {
            what = "with the call meant to fail not made";
        } else {
            what = failing(key.first) + " (" +
                   Which(group, s.plan.callsOf[static_cast<size_t>(key.first)]) + ")";
        }
        if (reachedElsewhere)
            lines.push_back({FaultLine::Figures, title + ": " + what + ": " + key.second + "; the other runs made it"});
        else
            lines.push_back({FaultLine::Failed, title + ": " + what + ": " + key.second});
    }
    const bool failed = std::any_of(lines.begin(), lines.end(),
                                    [](const FaultLine& line) { return line.kind == FaultLine::Failed; });
    if (lines.empty() && s.plan.calls == 0)
        lines.push_back({FaultLine::Passed, title + ": no call that the system could fail"});
    else if (!failed)
        lines.push_back({FaultLine::Passed, title + ": " + SweepFigures(s) +
                                    ": no fault, hang, abort, write outside the rectangle, broken answer or leak"});
    else
        lines.push_back({FaultLine::Figures, title + ": " + SweepFigures(s)});
    return lines;
}
