// What a long host session costs the process, measured in ways that work
// under Wine too, where GetGuiResources and PrivateUsage read 0:
//  - GDI and USER objects: many probe objects are made at once and the
//    highest handle index among them is taken. Freed slots are handed out
//    again first, so with more probes than free slots the highest index
//    tracks the number of live objects: a leak makes it climb. GDI handles
//    are the process's own; window handles come from one table for all
//    processes of the Wine server, so nothing else may run meanwhile.
//  - memory: RssAnon and VmRSS from /proc/<pid>/status (through Wine's Z:
//    drive), and the committed private bytes found by walking VirtualQuery.
//    The committed figures grow in steps of 64 KiB, so the heaps' blocks in
//    use are summed too: they show a few KiB as they are lost.
//    Not /proc/self: Wine's server opens files for its clients, so "self"
//    would be the server. The process is found by a file it has mapped.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

struct SessionFigures {
    int gdiProbeIndex = -1;     // low 16 bits of one new pen's handle
    int gdiHighIndex = -1;      // highest index among kGdiProbes new pens
    int userProbeIndex = -1;    // low 16 bits of one new window's handle
    int userHighIndex = -1;     // highest index among kUserProbes new windows
    int threadWindows = -1;     // top-level windows of this thread
    long gdiObjects = -1;       // GetGuiResources, 0 where not supported
    long userObjects = -1;
    long long rssAnonKiB = -1;  // -1 where /proc is not reachable
    long long rssKiB = -1;
    long long privateCommitKiB = -1;
    long long heapBusyBytes = -1;    // blocks in use in all the process's heaps
    long long privateUsageKiB = -1;  // PROCESS_MEMORY_COUNTERS_EX, 0 under Wine

    static constexpr int kGdiProbes = 1500;
    static constexpr int kUserProbes = 300;

    // Finds this process's Unix id: the one whose memory maps name a file
    // under a folder called uniqueFolderName. Returns it, or -1.
    static int FindUnixProcess(const std::string& uniqueFolderName);
    static SessionFigures Measure();
    std::string Line(int cycle) const;
};
