#include "host/faults/LeakGauge.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace {

// More than the free slots that a host's own work leaves between runs
// (a few dozen); each probe is a call to Wine's server, twice.
const int kHandleProbes = 256;

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

std::string Count(long n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

// Wine's server hands out the lowest free slot, so the highest of many new
// handles follows the number open.
long OpenHandles(int probes) {
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return static_cast<long>(count);
    std::vector<HANDLE> events;
    uintptr_t highest = 0;
    for (int i = 0; i < probes; ++i) {
        const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!event) break;
        events.push_back(event);
        if (reinterpret_cast<uintptr_t>(event) > highest) highest = reinterpret_cast<uintptr_t>(event);
    }
    for (const HANDLE event : events) CloseHandle(event);
    return static_cast<long>(highest / 4) - static_cast<long>(events.size());
}

LeakFigures LeakFigures::Measure() {
    LeakFigures figures;
    figures.handles = OpenHandles(kHandleProbes);
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&figures.windows));
    return figures;
}

std::string LeakFigures::More(const LeakFigures& after) const {
    std::vector<std::string> parts;
    if (after.handles > handles) parts.push_back(Count(after.handles - handles, "handle", "handles"));
    if (after.windows > windows) parts.push_back(Count(after.windows - windows, "window", "windows"));
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text.empty() ? text : text + " more";
}
