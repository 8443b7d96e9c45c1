// A buffer of INT_MAX bytes for the hostile-host tests, without the memory.
#pragma once

#include <windows.h>

#include <cstddef>

// INT_MAX bytes that a host could really hand over, without 2 GiB of memory:
// the first and the last 16 MiB are the process's own pages, everything
// between is one 16 MiB section mapped again and again. Past the last byte
// there is one spare byte (the canary) and then a no-access page. Where the
// address space has no 2 GiB in one piece (a 32-bit process that is not
// large-address aware), it is the longest such buffer that fits.
class HugeBuffer {
public:
    static constexpr size_t kPart = 16u << 20;

    HugeBuffer();
    ~HugeBuffer();
    HugeBuffer(const HugeBuffer&) = delete;
    HugeBuffer& operator=(const HugeBuffer&) = delete;

    bool Ok() const { return ok; }
    char* Data() const { return reinterpret_cast<char*>(base); }
    // The head and the tail are the only parts with bytes of their own; the
    // middle shows whatever was written last to any of its aliases.
    const unsigned char* Head() const { return base; }
    const unsigned char* Tail() const { return base + total - kPart; }
    unsigned char Canary() const { return base[Length()]; }
    // INT_MAX where the address space allows it.
    int Length() const { return static_cast<int>(total - 1); }

private:
    void Release();
    unsigned char* base = nullptr;
    size_t total = size_t(1) << 31;  // the length and the canary
    HANDLE section = nullptr;
    size_t mappedViews = 0;
    bool headAllocated = false, tailAllocated = false, guardAllocated = false;
    bool ok = false;
};
