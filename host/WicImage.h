// Image files through the Windows Imaging Component. Pixels are 32-bit BGRA
// words, rows top-down, stride = width.
#pragma once

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

// Throws HostError unless SaveImageFile can write path: an extension it
// knows (".png", ".bmp") and a folder that takes a new file. Checked before
// any work is done for the file.
void CheckOutputPath(const std::wstring& path);

// Writes in the format the extension names, to a temporary file beside path
// that replaces path only once it is complete. Throws HostError; path is
// then untouched and the temporary file gone.
void SaveImageFile(const std::wstring& path, const Image& image);
