#include "ui/PreviewDialog.h"

#include "resource.h"

PreviewDialog::PreviewDialog(int templateId) : DialogBase(templateId) {}

PreviewDialog::~PreviewDialog() = default;

int PreviewDialog::RunModal(HWND parent, const void* pixels, int width, int height) {
    // In place before the window exists: WM_INITDIALOG hands them to the preview.
    this->pixels = static_cast<const uint32_t*>(pixels);
    this->width = width;
    this->height = height;
    return DoModal(parent);
}

// Replaces the base's handler; a failed attach paints its own error text.
int PreviewDialog::OnInitDialog() {
    preview.AttachToDialog(*this, IDC_PREVIEW);
    return 1;
}

// Every click, checking or unchecking, re-renders: the preview follows the box.
int PreviewDialog::OnCommand(HWND control, WPARAM wParam, int notifyCode) {
    if (notifyCode == BN_CLICKED && LOWORD(wParam) == IDC_PREVIEW_CHECK) preview.Refresh();
    return DialogBase::OnCommand(control, wParam, notifyCode);
}

bool PreviewDialog::IsPreviewChecked() const { return IsDlgButtonChecked(hwnd, IDC_PREVIEW_CHECK) == BST_CHECKED; }

// The control computes the three pairs so that the visible part lies inside
// both the image and its buffer.
bool PreviewDialog::RenderPreview(PreviewControl& control, const int* destination, const int* source,
                                  const int* size) {
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(pixels);
    for (int i = 0; i < size[1]; ++i) {
        for (int j = 0; j < size[0]; ++j) {
            const size_t index = static_cast<size_t>(source[1] + i) * static_cast<size_t>(width) +
                                 static_cast<size_t>(source[0] + j);
            const unsigned char* pixel = bytes + index * 4;
            control.PutPixel(destination[0] + j, destination[1] + i, pixel, pixel[3]);
        }
    }
    return true;
}
