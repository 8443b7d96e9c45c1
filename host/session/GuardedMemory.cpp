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

