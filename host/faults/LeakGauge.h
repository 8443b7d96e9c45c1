// What a plug-in left behind once unloaded, counted in ways that work under
// Wine too, where GetProcessHandleCount and GetGuiResources read 0: kernel
// handles by a probe (many events made at once; the server hands out freed
// slots again first, so with more probes than free slots the highest new
// handle follows the number open), windows as this thread's top-level
// windows. Each figure is only good for a difference. (GDI objects are
// counted by the import shims: their number here moves with the system's
// own deferred work.)
#pragma once

#include <string>

// Kernel handles open in this process; probes events.
long OpenHandles(int probes = 1000);

struct LeakFigures {
    long handles = 0;
    int windows = 0;

    static LeakFigures Measure();
    // "" when after holds no more than this; else "2 handles and 1 window
    // more".
    std::string More(const LeakFigures& after) const;
};
