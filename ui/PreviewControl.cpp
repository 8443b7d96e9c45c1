#include "ui/PreviewControl.h"

#include "plugin/FilterModule.h"
#include "resource.h"
#include "ui/PreviewDialog.h"
#include "ui/PreviewMath.h"

namespace {
void SetHandCursor(int id) { SetCursor(LoadCursorA(FilterModule::Instance(), MAKEINTRESOURCEA(id))); }
}  // namespace

PreviewControl::PreviewControl() = default;

PreviewControl::~PreviewControl() = default;

bool PreviewControl::AttachToDialog(PreviewDialog& dialog, int itemId) {
    owner = &dialog;
    if (!Attach(dialog, itemId)) return false;
    fitsX = width >= dialog.ImageWidth();
    fitsY = height >= dialog.ImageHeight();
    return true;
}

LRESULT PreviewControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP: {
        // Client coordinates are signed: a captured mouse may be left of or
        // above the control.
        const int x = static_cast<short>(LOWORD(lParam));
        const int y = static_cast<short>(HIWORD(lParam));
        if (message == WM_MOUSEMOVE)
            OnMouseMove(x, y, wParam);
        else if (message == WM_LBUTTONDOWN)
            OnLButtonDown(x, y, wParam);
        else
            OnLButtonUp(x, y, wParam);
        break;
    }
    default:
        break;
    }
    return PixelBufferControl::WindowProc(message, wParam, lParam);
}

void PreviewControl::Paint(HDC hdc) {
    if (error) {
        DrawError(hdc);
        return;
    }
    if (paintSuspended || !pixels || !window || !hdc || !owner) return;

    const AxisPlacement px = PlaceAxis(fitsX, width, owner->ImageWidth(), scroll[0]);
    const AxisPlacement py = PlaceAxis(fitsY, height, owner->ImageHeight(), scroll[1]);
    const int destination[2] = {px.destination, py.destination};
    const int size[2] = {px.size, py.size};
    if (!owner->RenderPreview(*this, destination, scroll, size) || error) return;

    // The whole buffer in one blit, 1:1 at the client origin.
    StretchDIBits(hdc, 0, 0, width, height, 0, 0, width, height, pixels, &bitmapInfo, DIB_RGB_COLORS, SRCCOPY);
}

void PreviewControl::OnLButtonDown(int x, int y, WPARAM) {
    if (fitsX && fitsY) return;
    lastMouseX = x;
    lastMouseY = y;
    SetCapture(window);
    SetHandCursor(IDC_HAND_GRAB);
}

void PreviewControl::OnMouseMove(int x, int y, WPARAM) {
    if (!GetCapture()) {
        if (!(fitsX && fitsY)) SetHandCursor(IDC_HAND_OPEN);
        return;
    }
    const int oldX = scroll[0];
    const int oldY = scroll[1];
    // The image follows the hand.
    scroll[0] += lastMouseX - x;
    scroll[1] += lastMouseY - y;
    lastMouseX = x;
    lastMouseY = y;
    if (owner) {
        scroll[0] = ClampScroll(scroll[0], owner->ImageWidth(), width);
        scroll[1] = ClampScroll(scroll[1], owner->ImageHeight(), height);
    }
    if (scroll[0] != oldX || scroll[1] != oldY) Refresh();
    SetHandCursor(IDC_HAND_GRAB);
}

void PreviewControl::OnLButtonUp(int, int, WPARAM) {
    if (GetCapture() == window) ReleaseCapture();
}
