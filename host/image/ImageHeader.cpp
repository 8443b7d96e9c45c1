#include "host/image/ImageHeader.h"

#include <windows.h>

#include <cstring>

namespace {

// Reads at any offset: a TIFF's directory is often at the end of the file,
// and a JPEG's frame header after metadata of any size.
class FileBytes {
public:
    explicit FileBytes(const std::wstring& path)
        : file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
    ~FileBytes() {
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    bool Open() const { return file != INVALID_HANDLE_VALUE; }

    // Up to n bytes at offset; how many there were.
    DWORD ReadSome(uint64_t offset, void* out, DWORD n) const {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD done = 0;
        return ReadFile(file, out, n, &done, &at) ? done : 0;
    }
    bool Read(uint64_t offset, void* out, DWORD n) const { return ReadSome(offset, out, n) == n; }

private:
    HANDLE file;
};

uint32_t Big(const unsigned char* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | p[i];
    return v;
}

uint32_t Little(const unsigned char* p, int n) {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

bool Starts(const unsigned char* head, size_t size, const char* signature, size_t length, size_t at = 0) {
    return size >= at + length && std::memcmp(head + at, signature, length) == 0;
}

// Frame headers hold the size; the markers before them are skipped by
// their lengths, the scan itself ends the search.
void JpegSize(const FileBytes& file, ImageHeader& header) {
    uint64_t at = 2;
    for (int markers = 0; markers < 10000; ++markers) {
        unsigned char m[9];
        if (!file.Read(at, m, 2) || m[0] != 0xFF) return;
        if (m[1] == 0xFF) {  // fill byte
            ++at;
            continue;
        }
        if (m[1] == 0x01 || (m[1] >= 0xD0 && m[1] <= 0xD8)) {
            at += 2;
            continue;
        }
        if (m[1] == 0xD9 || m[1] == 0xDA || !file.Read(at, m, 9)) return;
        const bool frame = m[1] >= 0xC0 && m[1] <= 0xCF && m[1] != 0xC4 && m[1] != 0xC8 && m[1] != 0xCC;
        if (frame) {
            header.height = Big(m + 5, 2);
            header.width = Big(m + 7, 2);
            return;
        }
        at += 2 + Big(m + 2, 2);
    }
}

void TiffSize(const FileBytes& file, const unsigned char* head, ImageHeader& header) {
    const bool little = head[0] == 'I';
    auto value = [little](const unsigned char* p, int n) { return little ? Little(p, n) : Big(p, n); };
    const uint64_t directory = value(head + 4, 4);
    unsigned char count[2];
    if (!file.Read(directory, count, 2)) return;
    for (uint32_t i = 0, n = value(count, 2); i < n; ++i) {
        unsigned char entry[12];
        if (!file.Read(directory + 2 + uint64_t(i) * 12, entry, 12)) return;
        const uint32_t tag = value(entry, 2), type = value(entry + 2, 2);
        if ((tag != 256 && tag != 257) || (type != 3 && type != 4)) continue;
        (tag == 256 ? header.width : header.height) = value(entry + 8, type == 3 ? 2 : 4);
    }
}

void WebpSize(const unsigned char* head, size_t size, ImageHeader& header) {
    if (Starts(head, size, "VP8 ", 4, 12) && size >= 30) {
        header.width = Little(head + 26, 2) & 0x3FFF;
        header.height = Little(head + 28, 2) & 0x3FFF;
    } else if (Starts(head, size, "VP8L", 4, 12) && size >= 25) {
        const uint32_t bits = Little(head + 21, 4);
        header.width = (bits & 0x3FFF) + 1;
        header.height = (bits >> 14 & 0x3FFF) + 1;
    } else if (Starts(head, size, "VP8X", 4, 12) && size >= 30) {
        header.width = Little(head + 24, 3) + 1;
        header.height = Little(head + 27, 3) + 1;
    }
}

// Formats known here by their signature alone: their name is what an error
// about them needs.
struct Signature {
    const char* format;
    const char* extension;
    const char* bytes;
    size_t length;
    size_t at;
};
const Signature kSignatures[] = {
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

}  // namespace

ImageHeader ReadImageHeader(const std::wstring& path) {
    ImageHeader header;
    FileBytes file(path);
    if (!file.Open()) return header;
    unsigned char head[32] = {};
    const size_t size = file.ReadSome(0, head, sizeof head);
    header.empty = size == 0;
    if (Starts(head, size, "\x89PNG\r\n\x1A\n", 8)) {
        header.format = "PNG";
        header.extension = ".png";
        if (Starts(head, size, "IHDR", 4, 12) && size >= 24) {
            header.width = Big(head + 16, 4);
            header.height = Big(head + 20, 4);
        }
    } else if (Starts(head, size, "\xFF\xD8\xFF", 3)) {
        header.format = "JPEG";
        header.extension = ".jpg";
        JpegSize(file, header);
    } else if (Starts(head, size, "GIF87a", 6) || Starts(head, size, "GIF89a", 6)) {
        header.format = "GIF";
        header.extension = ".gif";
        header.width = Little(head + 6, 2);
        header.height = Little(head + 8, 2);
    } else if (Starts(head, size, "BM", 2) && size >= 26) {
        header.format = "BMP";
        header.extension = ".bmp";
        const bool core = Little(head + 14, 4) == 12;
        header.width = Little(head + 18, core ? 2 : 4);
        const uint32_t height = Little(head + (core ? 20 : 22), core ? 2 : 4);
        // Negative: top-down rows.
        header.height = core || height < 0x80000000u ? height : 0u - height;
    } else if ((Starts(head, size, "II*\0", 4) || Starts(head, size, "MM\0*", 4)) && size >= 8) {
        header.format = "TIFF";
        header.extension = ".tif";
        TiffSize(file, head, header);
    } else if (Starts(head, size, "RIFF", 4) && Starts(head, size, "WEBP", 4, 8)) {
        header.format = "WebP";
        header.extension = ".webp";
        WebpSize(head, size, header);
    } else if (Starts(head, size, "8BPS", 4) && size >= 22) {
        header.format = "PSD";
        header.extension = ".psd";
        header.height = Big(head + 14, 4);
        header.width = Big(head + 18, 4);
    } else {
        for (const Signature& s : kSignatures)
            if (Starts(head, size, s.bytes, s.length, s.at)) {
                header.format = s.format;
                header.extension = s.extension;
                break;
            }
    }
    return header;
}
