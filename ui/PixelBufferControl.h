// Turns a static dialog item into a view of a 32-bit pixel buffer of its
// client size, composited over a checkerboard and shown with one blit.
#pragma once

#include <windows.h>

#include <cstdint>

class DialogBase;

class PixelBufferControl {
public:
    PixelBufferControl();
    virtual ~PixelBufferControl();
    PixelBufferControl(const PixelBufferControl&) = delete;
    PixelBufferControl& operator=(const PixelBufferControl&) = delete;

    virtual void Paint(HDC hdc) = 0;
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    bool Attach(DialogBase& dialog, int itemId);
    // Paints at once, through a DC of the control's own.
    void Refresh();
    // bgr points at blue, green, red; alpha is 0..255. A position outside the
    // buffer records error 6 and writes nothing.
    void PutPixel(int x, int y, const unsigned char* bgr, int alpha);

    int Error() const { return error; }
    HWND Window() const { return window; }
    int Width() const { return width; }
    int Height() const { return height; }
    // width x height words 0x00RRGGBB, row-major; null until attached.
    const uint32_t* Pixels() const { return pixels; }

    // While set, Paint draws nothing (an error text excepted).
    bool paintSuspended = false;

protected:
    // Error numbers 1 to 6; never cleared.
    void Fail(int number, bool disable);
    void DrawError(HDC hdc);

    WNDPROC oldWndProc = nullptr;
    HWND window = nullptr;
    BITMAPINFO bitmapInfo;
    uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int error = 0;

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The control attached last; the only one that may be live.
    static PixelBufferControl* current;
};
