// What a file's first bytes say it is, without decoding it: the format by
// its signature and, for a PNG, the dimensions. For the errors that a
// decoder's own code would leave unexplained.
#pragma once

#include <cstdint>
#include <string>

struct ImageHeader {
    // "PNG", "JPEG", "WebP", ...; empty when no signature matched.
    std::string format;
    // The format's usual file extension, lower-case with its dot: how the
    // system's decoders say which formats they read.
    std::string extension;
    // A PNG's, before its decoder tries to hold it; else 0.
    uint64_t width = 0;
    uint64_t height = 0;
    // The file opened and held no byte.
    bool empty = false;
};

// Never throws: of a file it cannot read, it knows nothing.
ImageHeader ReadImageHeader(const std::wstring& path);
