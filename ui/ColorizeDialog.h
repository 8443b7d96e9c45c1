// The set-up dialog of "Colorize...". The X and Y edit boxes (1021, 1023)
// hold the values: spin buttons, sliders and the colour field all write into
// them, and their change notification validates the number and brings the
// slider, the label, the marker and the preview into step.
#pragma once

#include <windows.h>

#include "ui/ColorField.h"
#include "ui/PreviewDialog.h"

class ColorizeDialog : public PreviewDialog {
public:
    ColorizeDialog();
    ~ColorizeDialog() override;

    INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnInitDialog() override;
    int OnCommand(HWND control, WPARAM wParam, int notifyCode) override;
    void SaveSettings() override;
    bool RenderPreview(PreviewControl& control, const int* destination, const int* source,
                       const int* size) override;

    // A pick of the colour field: writes both boxes and renders the preview once.
    void SetXY(int newX, int newY);

    // Reads edit box itemId: 0, or 1..255 written without a leading zero, or
    // a negative number (refused by the caller's range check). Anything else
    // clears ok and returns fallback.
    static int ParseEditInt(HWND dialog, int itemId, int fallback, bool& ok);

    int X() const { return x; }
    int Y() const { return y; }
    const ColorField& Field() const { return colorField; }

private:
    // Returns whether the slider notification was one that moves the value.
    bool OnHScroll(int sliderId, int code, int thumbPosition);
    void OnEditChange(int editId);
    void WriteGuideLabel();

    // Accepted values, always 0..255.
    int x = 0;
    // Set while the dialog writes the accepted value back into its box, so the
    // change notification of that write is turned away.
    bool restoringX = false;
    int y = 255;
    bool restoringY = false;
    ColorField colorField;
};
