// Host buffers with no-access pages right against their ends, so a read or a
// write one byte outside faults at once (and PluginLibrary's fault reporter
// ends the test program with a message) instead of soiling the heap.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

class GuardedBytes {
public:
    // size bytes whose last byte lies just below a no-access page; the page
    // before the first byte is no-access too, and so is the first byte itself
    // when size is 0. Filled with fill.
    explicit GuardedBytes(size_t size, unsigned char fill = 0xA5);
    ~GuardedBytes();
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    bool Ok() const { return base != nullptr; }
    unsigned char* Data() const { return data; }
    size_t Size() const { return size; }

private:
    unsigned char* base = nullptr;
    unsigned char* data = nullptr;
    size_t size;
};

// A pixel buffer of stride x rows flush against guard pages on both sides:
// stride * rows * 4 must be a multiple of the page size.
class GuardedPixels {
public:
    GuardedPixels(int stride, int rows);
    bool Ok() const { return bytes.Ok(); }
    uint32_t* Data() const { return reinterpret_cast<uint32_t*>(bytes.Data()); }
    uint32_t& At(int x, int y) const { return Data()[x + static_cast<size_t>(y) * stride]; }
    const int stride;
    const int rows;

private:
    GuardedBytes bytes;
};

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
