// The preview of a PreviewDialog: centres an image that fits, and pans one
// that does not by dragging with the left button.
#pragma once

#include "ui/PixelBufferControl.h"

class PreviewDialog;

class PreviewControl : public PixelBufferControl {
public:
    PreviewControl();
    ~PreviewControl() override;

    bool AttachToDialog(PreviewDialog& dialog, int itemId);

    void Paint(HDC hdc) override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    virtual void OnLButtonDown(int x, int y, WPARAM flags);
    virtual void OnLButtonUp(int x, int y, WPARAM flags);
    virtual void OnMouseMove(int x, int y, WPARAM flags);

    int ScrollX() const { return scroll[0]; }
    int ScrollY() const { return scroll[1]; }

private:
    PreviewDialog* owner = nullptr;
    bool fitsX = false;
    bool fitsY = false;
    // scrollX, scrollY: the image pixel shown at the left and top edges, handed
    // to RenderPreview as its source pair.
    int scroll[2] = {0, 0};
    int lastMouseX = 0;
    int lastMouseY = 0;
};
