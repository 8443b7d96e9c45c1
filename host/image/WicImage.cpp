#include "host/image/WicImage.h"

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <new>

#include "host/HostError.h"
#include "host/cli/CommandLine.h"
#include "host/cli/Console.h"
#include "host/image/ImageHeader.h"

namespace {

// Images beyond this would overflow the 32-bit strides that WIC and the
// plug-in's interface use.
const uint64_t kMaxPixels = uint64_t(1) << 28;

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T* operator->() const { return p; }
    T* Get() const { return p; }
    T** Out() {
        Reset();
        return &p;
    }
    void Reset() {
        if (p) p->Release();
        p = nullptr;
    }

private:
    T* p = nullptr;
};

std::string Quoted(const std::wstring& path) { return "'" + Utf8FromWide(path) + "'"; }

std::string Reason(HRESULT hr) {
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return SystemMessage(HRESULT_CODE(hr));
    return SystemMessage(static_cast<DWORD>(hr));
}

void Check(HRESULT hr, const std::string& what) {
    if (FAILED(hr)) throw HostError(what + ": " + Reason(hr));
}

std::string GiB(double bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f GiB", bytes / (1u << 30));
    return text;
}

std::string Dimensions(uint64_t width, uint64_t height) { return std::to_string(width) + "x" + std::to_string(height); }

// ppihost holds two copies of an image, the source and the destination, at
// 4 bytes a pixel; the decoder needs more on top.
std::string TooLarge(uint64_t width, uint64_t height) {
    return Dimensions(width, height) + " is too large: it needs " +
           GiB(static_cast<double>(width) * static_cast<double>(height) * 8) + " (two copies at 4 bytes a pixel)";
}

// Why width x height cannot be held here, or "".
std::string SizeProblem(uint64_t width, uint64_t height) {
    if (width == 0 || height == 0) return Dimensions(width, height) + " is not a usable size";
    if (width > kMaxPixels || height > kMaxPixels || width * height > kMaxPixels)
        return TooLarge(width, height) + "; ppihost takes at most " + std::to_string(kMaxPixels) + " pixels";
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof memory;
    if (GlobalMemoryStatusEx(&memory) && width * height * 8 > memory.ullAvailVirtual)
        return TooLarge(width, height) + ", and this " + std::to_string(sizeof(void*) * 8) + "-bit process has " +
               GiB(static_cast<double>(memory.ullAvailVirtual)) + " of address space free";
    return "";
}

// What a failed decode means for this file, by what its header says.
// Needs a ComScope.
std::string DecodeProblem(HRESULT hr, const ImageHeader& header) {
    if (header.empty) return "the file is empty";
    if (hr == E_OUTOFMEMORY && header.width && header.height) {
        const std::string problem = SizeProblem(header.width, header.height);
        return problem.empty() ? TooLarge(header.width, header.height) + ": " + Reason(hr) : problem;
    }
    if (hr == WINCODEC_ERR_COMPONENTNOTFOUND) {
        if (header.format.empty()) return "not an image in a format this system can read";
        // A decoder whose signature matched but which could not read the
        // header does not claim the file either.
        const std::vector<std::wstring> readable = DecodableExtensions();
        if (std::find(readable.begin(), readable.end(), WideFromUtf8(header.extension)) == readable.end())
            return "a " + header.format + " image, and this system has no decoder for " + header.format;
    }
    // The decoders' own codes for data they could not follow.
    switch (hr) {
        case E_FAIL:
        case WINCODEC_ERR_COMPONENTNOTFOUND:
        case WINCODEC_ERR_BADHEADER:
        case WINCODEC_ERR_BADIMAGE:
        case WINCODEC_ERR_BADSTREAMDATA:
        case WINCODEC_ERR_FRAMEMISSING:
        case WINCODEC_ERR_STREAMREAD:
        case WINCODEC_ERR_UNKNOWNIMAGEFORMAT:
        case HRESULT_FROM_WIN32(ERROR_HANDLE_EOF):
            return "the " + (header.format.empty() ? std::string("image") : header.format) +
                   " data is damaged or cut short: " + Reason(hr);
        default:
            return Reason(hr);
    }
}

void CreateFactory(ComPtr<IWICImagingFactory>& factory) {
    Check(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                           reinterpret_cast<void**>(factory.Out())),
          "cannot start the Windows Imaging Component");
}

bool IsOpaque(const Image& image) {
    for (uint32_t p : image.pixels)
        if ((p >> 24) != 0xFF) return false;
    return true;
}

// WIC's BMP encoder keeps alpha only with an option that Windows 8 brought
// and Wine lacks, so a BMP with alpha is written here: 32 bits, bottom-up,
// a BITMAPV5HEADER whose masks include alpha.
void WriteBmpWithAlpha(IStream* stream, const Image& image, const std::string& what) {
    const DWORD pixelBytes = static_cast<DWORD>(image.width) * static_cast<DWORD>(image.height) * 4;
    BITMAPFILEHEADER file = {};
    BITMAPV5HEADER info = {};
    file.bfType = 0x4D42;  // "BM"
    file.bfOffBits = sizeof file + sizeof info;
    file.bfSize = file.bfOffBits + pixelBytes;
    info.bV5Size = sizeof info;
    info.bV5Width = image.width;
    info.bV5Height = image.height;
    info.bV5Planes = 1;
    info.bV5BitCount = 32;
    info.bV5Compression = BI_BITFIELDS;
    info.bV5SizeImage = pixelBytes;
    info.bV5XPelsPerMeter = info.bV5YPelsPerMeter = 3780;  // 96 dpi, as WIC writes
    info.bV5RedMask = 0x00FF0000;
    info.bV5GreenMask = 0x0000FF00;
    info.bV5BlueMask = 0x000000FF;
    info.bV5AlphaMask = 0xFF000000;
    info.bV5CSType = 0x73524742;  // LCS_sRGB, "sRGB"
    info.bV5Intent = LCS_GM_IMAGES;
    const ULONG rowBytes = static_cast<ULONG>(image.width) * 4;
    Check(stream->Write(&file, sizeof file, nullptr), what);
    Check(stream->Write(&info, sizeof info, nullptr), what);
    for (int y = image.height - 1; y >= 0; --y)
        Check(stream->Write(&image.pixels[static_cast<size_t>(y) * static_cast<size_t>(image.width)], rowBytes, nullptr),
              what);
}

}  // namespace

bool FormatForName(const std::wstring& path, FileFormat& format) {
    const std::string ext = ExtensionOf(Utf8FromWide(path));
    if (ext == ".png") {
        format = FileFormat::Png;
        return true;
    }
    if (ext == ".bmp" || ext == ".dib") {
        format = FileFormat::Bmp;
        return true;
    }
    return false;
}

void EncodeImage(IStream* stream, FileFormat format, const Image& image, const std::string& what) {
    // Opaque images go out without alpha, which every reader knows.
    const bool opaque = IsOpaque(image);
    if (format == FileFormat::Bmp && !opaque) return WriteBmpWithAlpha(stream, image, what);
    ComPtr<IWICImagingFactory> factory;
    CreateFactory(factory);
    ComPtr<IWICBitmapEncoder> encoder;
    Check(factory->CreateEncoder(format == FileFormat::Png ? GUID_ContainerFormatPng : GUID_ContainerFormatBmp,
                                 nullptr, encoder.Out()),
          what);
    Check(encoder->Initialize(stream, WICBitmapEncoderNoCache), what);
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> options;
    Check(encoder->CreateNewFrame(frame.Out(), options.Out()), what);
    Check(frame->Initialize(options.Get()), what);
    Check(frame->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height)), what);

    const UINT stride = static_cast<UINT>(image.width) * 4;
    ComPtr<IWICBitmap> bitmap;
    Check(factory->CreateBitmapFromMemory(static_cast<UINT>(image.width), static_cast<UINT>(image.height),
                                          GUID_WICPixelFormat32bppBGRA, stride,
                                          stride * static_cast<UINT>(image.height),
                                          reinterpret_cast<BYTE*>(const_cast<uint32_t*>(image.pixels.data())),
                                          bitmap.Out()),
          what);
    WICPixelFormatGUID pixelFormat = opaque ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat32bppBGRA;
    Check(frame->SetPixelFormat(&pixelFormat), what);
    // The encoder may have picked a format of its own: convert to it.
    ComPtr<IWICBitmapSource> converted;
    Check(WICConvertBitmapSource(pixelFormat, bitmap.Get(), converted.Out()), what);
    Check(frame->WriteSource(converted.Get(), nullptr), what);
    Check(frame->Commit(), what);
    Check(encoder->Commit(), what);
}

std::vector<std::wstring> DecodableExtensions() {
    std::vector<std::wstring> extensions;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IEnumUnknown> decoders;
    CreateFactory(factory);
    if (SUCCEEDED(factory->CreateComponentEnumerator(WICDecoder, WICComponentEnumerateDefault, decoders.Out()))) {
        IUnknown* item = nullptr;
        ULONG fetched = 0;
        while (decoders->Next(1, &item, &fetched) == S_OK && item) {
            ComPtr<IWICBitmapDecoderInfo> info;
            UINT length = 0;
            if (SUCCEEDED(item->QueryInterface(IID_IWICBitmapDecoderInfo, reinterpret_cast<void**>(info.Out()))) &&
                SUCCEEDED(info->GetFileExtensions(0, nullptr, &length)) && length > 0) {
                std::wstring text(length, L'\0');
                if (SUCCEEDED(info->GetFileExtensions(length, &text[0], &length))) {
                    // ".bmp,.dib,.rle" on Windows; Wine lists most with
                    // semicolons: ".jpg;.jpeg;.jfif".
                    text.resize(wcsnlen(text.c_str(), text.size()));
                    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
                    for (size_t start = 0; start <= text.size();) {
                        size_t end = text.find_first_of(L",; ", start);
                        if (end == std::wstring::npos) end = text.size();
                        if (end > start) extensions.push_back(text.substr(start, end - start));
                        start = end + 1;
                    }
                }
            }
            item->Release();
            item = nullptr;
        }
    }
    // A system that lists none still has these.
    if (extensions.empty()) extensions = {L".png", L".bmp", L".dib", L".jpg", L".jpeg", L".gif", L".tif", L".tiff"};
    return extensions;
}

ComScope::ComScope() : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

ComScope::~ComScope() {
    if (initialised) CoUninitialize();
}

Image LoadImageFile(const std::wstring& path) {
    const std::string what = "cannot read image " + Quoted(path);
    const ImageHeader header = ReadImageHeader(path);
    // Before the decoder, which may allocate the whole image at once.
    if (header.width && header.height) {
        const std::string problem = SizeProblem(header.width, header.height);
        if (!problem.empty()) throw HostError(what + ": " + problem);
    }
    auto decode = [&](HRESULT hr) {
        if (FAILED(hr)) throw HostError(what + ": " + DecodeProblem(hr, header));
    };
    ComPtr<IWICImagingFactory> factory;
    CreateFactory(factory);
    ComPtr<IWICBitmapDecoder> decoder;
    decode(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                              decoder.Out()));
    ComPtr<IWICBitmapFrameDecode> frame;
    decode(decoder->GetFrame(0, frame.Out()));
    UINT w = 0, h = 0;
    decode(frame->GetSize(&w, &h));
    const std::string problem = SizeProblem(w, h);
    if (!problem.empty()) throw HostError(what + ": " + problem);
    ComPtr<IWICFormatConverter> converter;
    Check(factory->CreateFormatConverter(converter.Out()), what);
    decode(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                 WICBitmapPaletteTypeCustom));
    Image image;
    image.width = static_cast<int>(w);
    image.height = static_cast<int>(h);
    try {
        image.pixels.resize(size_t(w) * h);
    } catch (const std::bad_alloc&) {
        throw HostError(what + ": " + TooLarge(w, h) + ", more than this process can have");
    }
    decode(converter->CopyPixels(nullptr, w * 4, w * h * 4, reinterpret_cast<BYTE*>(image.pixels.data())));
    return image;
}
