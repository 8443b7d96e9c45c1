// A set-up dialog that shows the host's image in a PreviewControl (item 1005)
// and refreshes it when the Preview box (item 1006) is clicked.
#pragma once

#include "ui/DialogBase.h"
#include "ui/PreviewControl.h"

class PreviewDialog : public DialogBase {
public:
    explicit PreviewDialog(int templateId);
    ~PreviewDialog() override;

    int OnInitDialog() override;
    int OnCommand(HWND control, WPARAM wParam, int notifyCode) override;

    // Each pointer designates an x, y pair: the first visible buffer pixel,
    // the image pixel shown there, and the size of the visible part. Calls
    // control.PutPixel once per visible pixel; true lets the buffer be shown.
    virtual bool RenderPreview(PreviewControl& control, const int* destination, const int* source,
                               const int* size);

    // pixels: width x height words, bytes blue, green, red, alpha, rows of
    // width pixels; only read, and only while the dialog runs.
    int RunModal(HWND parent, const void* pixels, int width, int height);
    bool IsPreviewChecked() const;

    int ImageWidth() const { return width; }
    int ImageHeight() const { return height; }

protected:
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    PreviewControl preview;
};
