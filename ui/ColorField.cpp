#include "ui/ColorField.h"

#include <windowsx.h>

#include "plugin/FloatState.h"
#include "resource.h"
#include "ui/ColorizeDialog.h"
#include "ui/Spectrum.h"

ColorField* ColorField::current = nullptr;

namespace {

// Half the marker's 6 x 6 box.
constexpr int kMarkerRadius = 3;

}  // namespace

ColorField::ColorField() = default;

ColorField::~ColorField() = default;

bool ColorField::Attach(ColorizeDialog& dialog) {
    current = this;
    owner = &dialog;
    window = GetDlgItem(dialog.Handle(), IDC_COLOR_FIELD);
    if (window) {
        oldWndProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ColorField::SubclassProc)));
    }
    return true;
}

LRESULT CALLBACK ColorField::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    PluginFloatState floatState;
    if (!current) return DefWindowProcA(hwnd, message, wParam, lParam);
    return current->WindowProc(hwnd, message, wParam, lParam);
}

LRESULT ColorField::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT ps;
        if (HDC hdc = BeginPaint(hwnd, &ps)) {
            Paint(hdc);
            EndPaint(hwnd, &ps);
        }
        break;
    }
    case WM_MOUSEMOVE:
        OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), wParam);
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), wParam);
        break;
    default:
        break;
    }
    if (!oldWndProc) return DefWindowProcA(hwnd, message, wParam, lParam);
    return CallWindowProcA(oldWndProc, hwnd, message, wParam, lParam);
}

void ColorField::OnLButtonDown(int x, int y, WPARAM) { Pick(x, y); }

void ColorField::OnMouseMove(int x, int y, WPARAM flags) {
    if (flags & MK_LBUTTON) Pick(x, y);
}

void ColorField::Pick(int x, int y) {
    RECT client;
    if (!owner || !GetClientRect(window, &client)) return;
    // An empty field has no position under the mouse.
    if (client.right < 1 || client.bottom < 1) return;
    owner->SetXY(PickXAt(x, client.right), PickYAt(y, client.bottom));
}

void ColorField::Paint(HDC hdc) {
    PaintSpectrum(hdc, nullptr);
    DrawCurrentMarker(hdc);
}

void ColorField::UpdateMarker() {
    if (!window) return;
    HDC hdc = GetDC(window);
    if (!hdc) return;
    DrawMarker(hdc, markerX, markerY, false);
    DrawCurrentMarker(hdc);
    ReleaseDC(window, hdc);
}

void ColorField::DrawCurrentMarker(HDC hdc) {
    if (!owner) return;
    const int x = static_cast<int>(GetDlgItemInt(owner->Handle(), IDC_X_EDIT, nullptr, FALSE));
    const int y = static_cast<int>(GetDlgItemInt(owner->Handle(), IDC_Y_EDIT, nullptr, FALSE));
    RECT client;
    if (!GetClientRect(window, &client)) return;
    // A marker at an edge is cut off at the border instead of spilling over.
    IntersectClipRect(hdc, client.left, client.top, client.right, client.bottom);
    DrawMarker(hdc, MarkerXFor(x, client.right), MarkerYFor(y, client.bottom), true);
}

void ColorField::DrawMarker(HDC hdc, int x, int y, bool draw) {
    if (!draw) {
        // Erase by repainting the field under the marker's box.
        const RECT box = {x - kMarkerRadius, y - kMarkerRadius, x + kMarkerRadius, y + kMarkerRadius};
        PaintSpectrum(hdc, &box);
        return;
    }
    HGDIOBJ oldBrush = SelectObject(hdc, GetStockObject(NULL_BRUSH));
    HGDIOBJ oldPen = SelectObject(hdc, GetStockObject(BLACK_PEN));
    Ellipse(hdc, x - kMarkerRadius, y - kMarkerRadius, x + kMarkerRadius, y + kMarkerRadius);
    SelectObject(hdc, oldPen);
    SelectObject(hdc, oldBrush);
    markerX = x;
    markerY = y;
}

void ColorField::PaintSpectrum(HDC hdc, const RECT* area) {
    RECT client;
    if (!GetClientRect(window, &client)) return;
    const int w = client.right;
    const int h = client.bottom;
    if (w < 1 || h < 1) return;
    RECT r = {0, 0, w, h};
    if (area) {
        r.left = area->left > 0 ? area->left : 0;
        r.right = area->right < w ? area->right : w;
        r.top = area->top > 0 ? area->top : 0;
        r.bottom = area->bottom < h ? area->bottom : h;
    }
    for (int col = r.left; col < r.right; ++col) {
        double hue[3];
        SpectrumColumnHue(col, w, hue);
        for (int row = r.top; row < r.bottom; ++row) {
            const SpectrumRgb c = SpectrumColor(hue, row, h);
            SetPixel(hdc, col, row, RGB(c.red, c.green, c.blue));
        }
    }
}
