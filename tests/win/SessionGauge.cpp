#include "tests/win/SessionGauge.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "tests/win/TempFolder.h"

namespace {

int Index(const void* handle) { return static_cast<int>(reinterpret_cast<uintptr_t>(handle) & 0xFFFF); }

BOOL CALLBACK CountWindow(HWND, LPARAM count) {
    ++*reinterpret_cast<int*>(count);
    return TRUE;
}

// "RssAnon:	   1234 kB" -> 1234
long long StatusKiB(const std::string& status, const char* key) {
    const size_t at = status.find(key);
    if (at == std::string::npos) return -1;
    return std::strtoll(status.c_str() + at + std::strlen(key), nullptr, 10);
}

int unixProcess = -1;

// Wine maps the Unix root to Z:.
std::string ReadWhole(const std::string& path) { return TempFolder::ReadBytes(WidePath(path)); }

std::string ProcStatus() {
    return unixProcess > 0 ? ReadWhole("Z:\\proc\\" + std::to_string(unixProcess) + "\\status") : "";
}

long long CommittedPrivateKiB() {
    unsigned long long total = 0;
    MEMORY_BASIC_INFORMATION info;
    const char* at = nullptr;
    while (VirtualQuery(at, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return static_cast<long long>(total / 1024);
}

long long HeapBusyBytes() {
    std::vector<HANDLE> heaps(64);
    DWORD count = GetProcessHeaps(static_cast<DWORD>(heaps.size()), heaps.data());
    if (count > heaps.size()) {
        heaps.resize(count);
        count = GetProcessHeaps(count, heaps.data());
    }
    long long busy = 0;
    for (DWORD i = 0; i < count && i < heaps.size(); ++i) {
        if (!HeapLock(heaps[i])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) busy += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return busy;
}

}  // namespace

int SessionFigures::FindUnixProcess(const std::string& uniqueFolderName) {
    unixProcess = -1;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA("Z:\\proc\\*", &found);
    if (find == INVALID_HANDLE_VALUE) return -1;
    const std::string marker = "/" + uniqueFolderName + "/";
    do {
        const int pid = std::atoi(found.cFileName);
        if (pid <= 0 || std::to_string(pid) != found.cFileName) continue;
        if (ReadWhole(std::string("Z:\\proc\\") + found.cFileName + "\\maps").find(marker) != std::string::npos) {
            unixProcess = pid;
            break;
        }
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return unixProcess;
}

SessionFigures SessionFigures::Measure() {
    SessionFigures f;

    HPEN pen = CreatePen(PS_SOLID, 1, RGB(1, 2, 3));
    f.gdiProbeIndex = Index(pen);
    DeleteObject(pen);
    std::vector<HPEN> pens;
    for (int i = 0; i < kGdiProbes; ++i) {
        HPEN p = CreatePen(PS_SOLID, 1, RGB(i & 0xFF, 7, 9));
        if (!p) break;
        pens.push_back(p);
        if (Index(p) > f.gdiHighIndex) f.gdiHighIndex = Index(p);
    }
    for (HPEN p : pens) DeleteObject(p);

    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    f.userProbeIndex = Index(window);
    DestroyWindow(window);
    std::vector<HWND> windows;
    for (int i = 0; i < kUserProbes; ++i) {
        HWND w = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        if (!w) break;
        windows.push_back(w);
        if (Index(w) > f.userHighIndex) f.userHighIndex = Index(w);
    }
    for (HWND w : windows) DestroyWindow(w);

    int count = 0;
    EnumThreadWindows(GetCurrentThreadId(), CountWindow, reinterpret_cast<LPARAM>(&count));
    f.threadWindows = count;

    f.gdiObjects = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
    f.userObjects = static_cast<long>(GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS));

    const std::string status = ProcStatus();
    if (!status.empty()) {
        f.rssAnonKiB = StatusKiB(status, "RssAnon:");
        f.rssKiB = StatusKiB(status, "VmRSS:");
    }
    f.privateCommitKiB = CommittedPrivateKiB();
    f.heapBusyBytes = HeapBusyBytes();
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof counters))
        f.privateUsageKiB = static_cast<long long>(counters.PrivateUsage / 1024);
    return f;
}

std::string SessionFigures::Line(int cycle) const {
    char text[480];
    std::snprintf(text, sizeof text,
                  "cycle %4d: GDI probe %5d high %5d | USER probe %5d high %5d | thread windows %d | "
                  "GetGuiResources GDI %ld USER %ld | RssAnon %lld KiB VmRSS %lld KiB | private commit %lld KiB | "
                  "PrivateUsage %lld KiB | heap busy %lld bytes",
                  cycle, gdiProbeIndex, gdiHighIndex, userProbeIndex, userHighIndex, threadWindows, gdiObjects,
                  userObjects, rssAnonKiB, rssKiB, privateCommitKiB, privateUsageKiB, heapBusyBytes);
    return text;
}
