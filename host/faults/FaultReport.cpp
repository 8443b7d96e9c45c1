#include "host/faults/FaultReport.h"

#include <cstdio>
#include <map>
#include <set>
#include <utility>

#include "host/session/ImportFaults.h"

namespace {

struct Group {
    std::vector<long long> calls;  // failing alone
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

// "call 2 of 3 failing alone, and every call"
std::string Which(const Group& group, long long of) {
    std::string text;
    const size_t n = group.calls.size();
    if (n == 1) {
        text = "call " + Number(group.calls[0]) + " of " + Number(of) + " failing alone";
    } else if (n > 1 && n <= 4) {
        text = "calls ";
        for (size_t i = 0; i < n; ++i) text += (i ? (i + 1 == n ? " and " : ", ") : "") + Number(group.calls[i]);
        text += " of " + Number(of) + ", each failing alone";
    } else if (n > 4) {
        text = Number(static_cast<long long>(n)) + " of " + Number(of) + " calls, each failing alone";
    }
    if (group.always) text += text.empty() ? "every call failing" : ", and every call";
    return text;
}

}  // namespace

std::string SweepFigures(const ScenarioSweep& s) {
    std::string text = Number(s.plan.calls) + (s.plan.calls == 1 ? " call" : " calls");
    if (s.plan.collapsed)
        text += " (" + Number(s.plan.collapsed) + (s.plan.collapsed == 1 ? " loop" : " loops") +
                " of one call collapsed, " + Number(s.plan.unfailed) + " calls in them not failed alone)";
    text += "; " + Number(static_cast<long long>(s.plan.single.size())) + " runs failing one call, " +
            Number(static_cast<long long>(s.plan.persistent.size())) + " failing one function at every call";
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, ", %.1f s", s.seconds);
    return text + seconds;
}

std::vector<FaultLine> ReportSweep(const ScenarioSweep& s, const std::string& title) {
    std::vector<FaultLine> lines;
    if (s.counting.kind != RunResult::Clean) {
        lines.push_back({FaultLine::Failed, title + ": without any fault, " + s.counting.text});
        return lines;
    }
    // Function (-1: no call failed) and outcome, in the order first met.
    std::map<std::pair<int, std::string>, Group> groups;
    std::vector<std::pair<int, std::string>> order;
    for (const ScenarioSweep::Found& found : s.found) {
        const int function = found.result.failures ? found.run.function : -1;
        const std::pair<int, std::string> key(function, found.result.text);
        if (!groups.count(key)) order.push_back(key);
        Group& group = groups[key];
        if (found.run.call)
            group.calls.push_back(found.run.call);
        else
            group.always = true;
    }
    for (const auto& key : order) {
        const Group& group = groups[key];
        std::string what;
        if (key.first < 0) {
            what = "with the call meant to fail not made";
        } else {
            const FailableImport& f = FailableImportAt(key.first);
            what = std::string(f.name) + " returning " + f.how + " (" +
                   Which(group, s.plan.callsOf[static_cast<size_t>(key.first)]) + ")";
        }
        lines.push_back({FaultLine::Failed, title + ": " + what + ": " + key.second});
    }
    if (lines.empty() && s.plan.calls == 0)
        lines.push_back({FaultLine::Passed, title + ": no call that the system could fail"});
    else if (lines.empty())
        lines.push_back({FaultLine::Passed, title + ": " + SweepFigures(s) +
                                    ": no fault, hang, abort, write outside the rectangle, broken answer or leak"});
    else
        lines.push_back({FaultLine::Figures, title + ": " + SweepFigures(s)});
    return lines;
}
