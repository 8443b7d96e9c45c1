// Host buffers with no-access pages right against their ends, so a read or a
// write one byte outside faults at once (and the fault guard reports it)
// instead of soiling the heap.
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

// An image whose every row ends just before a no-access page, so the stride
// is larger than the width: a read or write past the end of any row faults.
// The Padding() pixels before each row are readable and belong to no row.
class GuardedImage {
public:
    GuardedImage(int width, int height);
    ~GuardedImage();
    GuardedImage(const GuardedImage&) = delete;
    GuardedImage& operator=(const GuardedImage&) = delete;

    bool Ok() const { return origin != nullptr; }
    // Pixel 0,0.
    uint32_t* Origin() const { return origin; }
    // In pixels.
    int Stride() const { return stride; }
    int Padding() const { return padding; }
    // x from -Padding() to width - 1.
    uint32_t& At(int x, int y) const { return origin[x + static_cast<ptrdiff_t>(y) * stride]; }

private:
    unsigned char* base = nullptr;
    uint32_t* origin = nullptr;
    int stride = 0;
    int padding = 0;
};
