// Takes typed values off the front of a fuzzer's input; zeros once it runs dry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data(data), size(size) {}

    template <typename T>
    T Take() {
        T value{};
        const size_t n = size < sizeof value ? size : sizeof value;
        std::memcpy(&value, data, n);
        data += n;
        size -= n;
        return value;
    }
    // A value in 0..bound-1.
    uint32_t Below(uint32_t bound) { return bound ? Take<uint32_t>() % bound : 0; }
    size_t Remaining() const { return size; }

private:
    const uint8_t* data;
    size_t size;
};
