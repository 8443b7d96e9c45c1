#include "host/session/GuardedMemory.h"

#include <cstring>

namespace {

size_t PageSize() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

}  // namespace

GuardedBytes::GuardedBytes(size_t size, unsigned char fill) : size(size) {
    const size_t page = PageSize();
    const size_t inner = (size + page - 1) / page * page;
    const size_t total = inner + 2 * page;
    base = static_cast<unsigned char*>(VirtualAlloc(nullptr, total, MEM_RESERVE, PAGE_NOACCESS));
    if (!base) return;
    if (inner && !VirtualAlloc(base + page, inner, MEM_COMMIT, PAGE_READWRITE)) {
        VirtualFree(base, 0, MEM_RELEASE);
        base = nullptr;
        return;
    }
    data = base + page + inner - size;
    std::memset(data, fill, size);
}

GuardedBytes::~GuardedBytes() {
    if (base) VirtualFree(base, 0, MEM_RELEASE);
}

GuardedPixels::GuardedPixels(int stride, int rows)
    : stride(stride), rows(rows), bytes(static_cast<size_t>(stride) * rows * 4) {}

GuardedImage::GuardedImage(int width, int height) {
    const size_t page = PageSize();
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    const size_t rowPages = (rowBytes + page - 1) / page;
    // Each row's pages, then the no-access page after it; one more before
    // the first.
    const size_t span = (rowPages + 1) * page;
    base = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, page + span * static_cast<size_t>(height), MEM_RESERVE, PAGE_NOACCESS));
    if (!base || width <= 0 || height <= 0) return;
    for (int y = 0; y < height; ++y)
        if (rowPages && !VirtualAlloc(base + page + span * y, rowPages * page, MEM_COMMIT, PAGE_READWRITE)) return;
    origin = reinterpret_cast<uint32_t*>(base + page + rowPages * page - rowBytes);
    stride = static_cast<int>(span / 4);
    padding = static_cast<int>((rowPages * page - rowBytes) / 4);
}

GuardedImage::~GuardedImage() {
    if (base) VirtualFree(base, 0, MEM_RELEASE);
}
