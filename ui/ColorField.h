// The hue/saturation picker of the Colorize dialog (item 1025): paints the
// field and a marker, and hands clicks and left-button drags to the dialog.
// The dialog's X and Y edit boxes are its only state.
#pragma once

#include <windows.h>

class ColorizeDialog;

class ColorField {
public:
    ColorField();
    virtual ~ColorField();
    ColorField(const ColorField&) = delete;
    ColorField& operator=(const ColorField&) = delete;

    // Takes over item 1025 of the dialog; always returns true.
    bool Attach(ColorizeDialog& dialog);
    // Moves the marker to the position the edit boxes hold.
    void UpdateMarker();

    HWND Window() const { return window; }
    int MarkerX() const { return markerX; }
    int MarkerY() const { return markerY; }

private:
    void Paint(HDC hdc);
    // area null: the whole client area; otherwise area limited to it.
    void PaintSpectrum(HDC hdc, const RECT* area);
    void DrawMarker(HDC hdc, int x, int y, bool draw);
    // Draws the marker for the edit boxes' position, clipped to the field.
    void DrawCurrentMarker(HDC hdc);
    void Pick(int x, int y);
    void OnLButtonDown(int x, int y, WPARAM flags);
    void OnMouseMove(int x, int y, WPARAM flags);
    LRESULT WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The field attached last; the only one that may be live.
    static ColorField* current;

    HWND window = nullptr;
    ColorizeDialog* owner = nullptr;
    WNDPROC oldWndProc = nullptr;
    // Off the field until the first drawing, so the first erase paints nothing.
    int markerX = -100;
    int markerY = -100;
};
