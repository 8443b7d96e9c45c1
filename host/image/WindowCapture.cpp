#include "host/image/WindowCapture.h"

bool CaptureWindow(HWND window, Image& shot) {
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    RECT r;
    if (!GetWindowRect(window, &r)) return false;
    shot.width = r.right - r.left;
    shot.height = r.bottom - r.top;
    if (shot.width <= 0 || shot.height <= 0) return false;

    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = shot.width;
    bi.bmiHeader.biHeight = -shot.height;  // top-down, as Image holds it
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    // The window DC reads what is on screen, child controls and custom
    // painting included, which WM_PRINT would miss.
    HDC windowDc = GetWindowDC(window);
    if (!windowDc) return false;
    HDC memoryDc = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(windowDc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool copied = false;
    if (memoryDc && dib) {
        HGDIOBJ old = SelectObject(memoryDc, dib);
        copied = BitBlt(memoryDc, 0, 0, shot.width, shot.height, windowDc, 0, 0, SRCCOPY | CAPTUREBLT) != FALSE;
        SelectObject(memoryDc, old);
        GdiFlush();
        if (copied) {
            const uint32_t* p = static_cast<const uint32_t*>(bits);
            shot.pixels.assign(p, p + size_t(shot.width) * shot.height);
            // GDI leaves the fourth byte undefined.
            for (uint32_t& px : shot.pixels) px |= 0xFF000000u;
        }
    }
    if (dib) DeleteObject(dib);
    if (memoryDc) DeleteDC(memoryDc);
    ReleaseDC(window, windowDc);
    return copied;
}
