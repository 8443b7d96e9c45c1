#include "host/image/ImageHeader.h"

#include <windows.h>

#include <cstring>

namespace {

struct Signature {
    const char* format;
    const char* extension;
    const char* bytes;
    size_t length;
    size_t at;
};
const Signature kSignatures[] = {
    {"PNG", ".png", "\x89PNG\r\n\x1A\n", 8, 0},
    {"JPEG", ".jpg", "\xFF\xD8\xFF", 3, 0},
    {"GIF", ".gif", "GIF87a", 6, 0},
    {"GIF", ".gif", "GIF89a", 6, 0},
    {"BMP", ".bmp", "BM", 2, 0},
    {"TIFF", ".tif", "II*\0", 4, 0},
    {"TIFF", ".tif", "MM\0*", 4, 0},
    {"WebP", ".webp", "WEBPVP8", 7, 8},
    {"PSD", ".psd", "8BPS", 4, 0},
    {"HEIF", ".heic", "ftypheic", 8, 4},
    {"HEIF", ".heic", "ftypheix", 8, 4},
    {"HEIF", ".heic", "ftypmif1", 8, 4},
    {"AVIF", ".avif", "ftypavif", 8, 4},
    {"AVIF", ".avif", "ftypavis", 8, 4},
    {"JPEG XL", ".jxl", "\xFF\x0A", 2, 0},
    {"JPEG XL", ".jxl", "JXL \r\n\x87\n", 8, 4},
    {"JPEG 2000", ".jp2", "jP  \r\n\x87\n", 8, 4},
    {"JPEG 2000", ".jp2", "\xFF\x4F\xFF\x51", 4, 0},
    {"JPEG XR", ".jxr", "II\xBC", 3, 0},
    {"OpenEXR", ".exr", "\x76\x2F\x31\x01", 4, 0},
    {"QOI", ".qoi", "qoif", 4, 0},
    {"GIMP XCF", ".xcf", "gimp xcf", 8, 0},
    {"PDF", ".pdf", "%PDF-", 5, 0},
};

uint32_t Big(const unsigned char* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

ImageHeader ReadImageHeader(const std::wstring& path) {
    ImageHeader header;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return header;
    unsigned char head[32] = {};
    DWORD size = 0;
    const bool read = ReadFile(file, head, sizeof head, &size, nullptr);
    CloseHandle(file);
    if (!read) return header;
    header.empty = size == 0;
    for (const Signature& s : kSignatures) {
        if (size < s.at + s.length || std::memcmp(head + s.at, s.bytes, s.length) != 0) continue;
        header.format = s.format;
        header.extension = s.extension;
        break;
    }
    // Wine's PNG decoder inflates the whole image when it opens the file.
    if (header.format == "PNG" && size >= 24 && std::memcmp(head + 12, "IHDR", 4) == 0) {
        header.width = Big(head + 16);
        header.height = Big(head + 20);
    }
    return header;
}
