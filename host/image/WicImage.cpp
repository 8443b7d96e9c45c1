#include "host/image/WicImage.h"

#include <windows.h>
#include <wincodec.h>

#include <cwchar>

#include "host/HostError.h"
#include "host/cli/CommandLine.h"
#include "host/cli/Console.h"

namespace {

// Images beyond this would overflow the 32-bit strides that WIC and the
// plug-in's interface use.
const int64_t kMaxPixels = int64_t(1) << 28;

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
    switch (hr) {
        case WINCODEC_ERR_COMPONENTNOTFOUND:
            return "not an image in a format this system can read";
        case WINCODEC_ERR_BADHEADER:
        case WINCODEC_ERR_BADIMAGE:
        case WINCODEC_ERR_STREAMREAD:
        case WINCODEC_ERR_UNKNOWNIMAGEFORMAT:
            return "the image data is damaged";
        default:
            break;
    }
    if (HRESULT_FACILITY(hr) == FACILITY_WIN32) return SystemMessage(HRESULT_CODE(hr));
    return SystemMessage(static_cast<DWORD>(hr));
}

void Check(HRESULT hr, const std::string& what) {
    if (FAILED(hr)) throw HostError(what + ": " + Reason(hr));
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
                    // ".bmp,.dib,.rle"
                    text.resize(wcsnlen(text.c_str(), text.size()));
                    CharLowerBuffW(&text[0], static_cast<DWORD>(text.size()));
                    for (size_t start = 0; start <= text.size();) {
                        size_t comma = text.find(L',', start);
                        if (comma == std::wstring::npos) comma = text.size();
                        if (comma > start) extensions.push_back(text.substr(start, comma - start));
                        start = comma + 1;
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
    ComPtr<IWICImagingFactory> factory;
    CreateFactory(factory);
    ComPtr<IWICBitmapDecoder> decoder;
    Check(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                             decoder.Out()),
          what);
    ComPtr<IWICBitmapFrameDecode> frame;
    Check(decoder->GetFrame(0, frame.Out()), what);
    UINT w = 0, h = 0;
    Check(frame->GetSize(&w, &h), what);
    if (w == 0 || h == 0 || int64_t(w) * h > kMaxPixels)
        throw HostError(what + ": " + std::to_string(w) + "x" + std::to_string(h) + " is not a usable size");
    ComPtr<IWICFormatConverter> converter;
    Check(factory->CreateFormatConverter(converter.Out()), what);
    Check(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                WICBitmapPaletteTypeCustom),
          what);
    Image image;
    image.width = static_cast<int>(w);
    image.height = static_cast<int>(h);
    image.pixels.resize(size_t(w) * h);
    Check(converter->CopyPixels(nullptr, w * 4, w * h * 4, reinterpret_cast<BYTE*>(image.pixels.data())), what);
    return image;
}
