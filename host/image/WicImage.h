// Image files through the Windows Imaging Component. Pixels are 32-bit BGRA
// words, rows top-down, stride = width.
#pragma once

#include <objidl.h>

#include <cstdint>
#include <string>
#include <vector>

struct Image {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;
};

// COM for the calling thread, apartment-threaded: the same thread runs the
// plug-in's dialogs.
class ComScope {
public:
    ComScope();
    ~ComScope();
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool initialised;
};

// Any format WIC decodes (PNG and BMP at least), converted to BGRA. Throws
// HostError naming the file and the problem.
Image LoadImageFile(const std::wstring& path);

// File extensions, lower-case with their dots, that this system's image
// decoders claim. Needs a ComScope.
std::vector<std::wstring> DecodableExtensions();

// The formats ppihost writes.
enum class FileFormat { Png, Bmp };

// The format that path's extension names (".png"; ".bmp" or ".dib"); false
// for any other.
bool FormatForName(const std::wstring& path, FileFormat& format);

// Encodes image into stream, which is positioned at its start. Throws
// HostError, starting its text with `what`.
void EncodeImage(IStream* stream, FileFormat format, const Image& image, const std::string& what);
