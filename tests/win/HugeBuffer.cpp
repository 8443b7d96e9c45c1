#include "tests/win/HugeBuffer.h"

#include <cstring>

namespace {

size_t Granularity() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwAllocationGranularity;
}

}  // namespace

HugeBuffer::HugeBuffer() {
    // Find a free stretch of address space, give it back, and build the buffer
    // in it piece by piece. Nothing else in this process allocates meanwhile.
    const size_t guard = Granularity();
    void* probe = nullptr;
    for (; total >= 3 * kPart && !probe; total -= kPart)
        probe = VirtualAlloc(nullptr, total + guard, MEM_RESERVE, PAGE_NOACCESS);
    if (!probe) return;
    total += kPart;
    VirtualFree(probe, 0, MEM_RELEASE);
    base = static_cast<unsigned char*>(probe);

    section = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, static_cast<DWORD>(kPart),
                                 nullptr);
    if (!section) return;
    headAllocated = VirtualAlloc(base, kPart, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE) == base;
    if (!headAllocated) return;
    const size_t tailOffset = total - kPart;
    for (size_t i = 0; i < total / kPart - 2; ++i) {
        void* at = base + kPart * (i + 1);
        if (MapViewOfFileEx(section, FILE_MAP_WRITE, 0, 0, kPart, at) != at) return;
        ++mappedViews;
    }
    tailAllocated = VirtualAlloc(base + tailOffset, kPart, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE) ==
                    base + tailOffset;
    if (!tailAllocated) return;
    guardAllocated = VirtualAlloc(base + total, guard, MEM_RESERVE, PAGE_NOACCESS) == base + total;
    if (!guardAllocated) return;
    std::memset(base, 0xA5, kPart);
    std::memset(base + kPart, 0xA5, kPart);  // every alias of the section
    std::memset(base + tailOffset, 0xA5, kPart);
    ok = true;
}

HugeBuffer::~HugeBuffer() { Release(); }

void HugeBuffer::Release() {
    if (guardAllocated) VirtualFree(base + total, 0, MEM_RELEASE);
    if (tailAllocated) VirtualFree(base + total - kPart, 0, MEM_RELEASE);
    for (size_t i = 0; i < mappedViews; ++i) UnmapViewOfFile(base + kPart * (i + 1));
    if (headAllocated) VirtualFree(base, 0, MEM_RELEASE);
    if (section) CloseHandle(section);
}
