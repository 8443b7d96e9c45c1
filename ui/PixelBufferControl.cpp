#include "ui/PixelBufferControl.h"

#include <cstring>
#include <new>

#include "plugin/FloatState.h"
#include "ui/DialogBase.h"
#include "ui/PreviewMath.h"

PixelBufferControl* PixelBufferControl::current = nullptr;

PixelBufferControl::PixelBufferControl() { std::memset(&bitmapInfo, 0, sizeof bitmapInfo); }

// The window is gone with its dialog by now, so the old procedure is not put back.
PixelBufferControl::~PixelBufferControl() { delete[] pixels; }

bool PixelBufferControl::Attach(DialogBase& dialog, int itemId) {
    window = GetDlgItem(dialog.Handle(), itemId);
    if (!window) {
        Fail(1, false);
        return false;
    }
    RECT client;
    if (!GetClientRect(window, &client)) {
        Fail(2, true);
        return false;
    }
    width = client.right;
    height = client.bottom;

    delete[] pixels;
    pixels = new (std::nothrow) uint32_t[static_cast<size_t>(width) * static_cast<size_t>(height)];
    if (!pixels) {
        Fail(3, true);
        return false;
    }
    // The margins around a centred image keep this colour.
    const uint32_t background = ColorRefToWord(GetSysColor(COLOR_WINDOW));
    for (size_t i = 0, n = static_cast<size_t>(width) * static_cast<size_t>(height); i < n; ++i)
        pixels[i] = background;

    std::memset(&bitmapInfo, 0, sizeof bitmapInfo);
    BITMAPINFOHEADER& header = bitmapInfo.bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = -height;  // top-down rows
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;

    // Set before subclassing: the first message may arrive at once.
    current = this;
    oldWndProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&PixelBufferControl::SubclassProc)));
    if (!oldWndProc) {
        Fail(4, true);
        return false;
    }
    return true;
}

LRESULT CALLBACK PixelBufferControl::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    PluginFloatState floatState;
    if (!current) return DefWindowProcA(hwnd, message, wParam, lParam);
    return current->WindowProc(message, wParam, lParam);
}

LRESULT PixelBufferControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        // A failed BeginPaint fills in nothing: ps.hdc would be whatever the
        // stack held, possibly another window's DC.
        PAINTSTRUCT ps;
        if (BeginPaint(window, &ps)) {
            Paint(ps.hdc);
            EndPaint(window, &ps);
        }
    }
    // The static's own procedure still sees WM_PAINT; the update region is
    // valid by now, so it draws nothing over the preview.
    return CallWindowProcA(oldWndProc, window, message, wParam, lParam);
}

void PixelBufferControl::Refresh() {
    // Without a window (error 1) GetDC would hand out the whole screen.
    if (!window) return;
    HDC hdc = GetDC(window);
    if (!hdc) {
        Fail(5, false);
        return;
    }
    Paint(hdc);
    ReleaseDC(window, hdc);
}

void PixelBufferControl::PutPixel(int x, int y, const unsigned char* bgr, int alpha) {
    // A negative position would land in the previous row, or before the buffer.
    if (!pixels || x < 0 || y < 0 || x >= width || y >= height) {
        Fail(6, true);
        return;
    }
    pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
        CompositePixel(x, y, bgr, alpha);
}

void PixelBufferControl::Fail(int number, bool disable) {
    error = number;
    if (disable && window) EnableWindow(window, FALSE);
}

void PixelBufferControl::DrawError(HDC hdc) {
    if (!hdc || !window) return;
    RECT rect = {0, 0, 0, 0};
    GetClientRect(window, &rect);
    char text[512];
    FormatPreviewError(text, sizeof text, error);
    // The DC's own font and text colour; nothing is erased first.
    const int oldMode = SetBkMode(hdc, TRANSPARENT);
    DrawTextA(hdc, text, -1, &rect, 0);
    SetBkMode(hdc, oldMode);
}
