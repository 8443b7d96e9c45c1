#include "ui/ColorizeDialog.h"

#include <commctrl.h>

#include <cstddef>
#include <cstdio>

#include "colorize/GuideColorModel.h"
#include "colorize/Tint.h"
#include "resource.h"
#include "settings/TintSettings.h"
#include "ui/EditIntText.h"
#include "ui/SaveFailureMessage.h"

namespace {

constexpr int kSliderPage = 32;

// Ranges, ticks and the start value of one spin button and slider pair.
void SetUpAxis(HWND dialog, int spinId, int sliderId, int editId, int value) {
    SendMessageA(GetDlgItem(dialog, spinId), UDM_SETRANGE32, 0, 255);
    HWND slider = GetDlgItem(dialog, sliderId);
    SendMessageA(slider, TBM_SETRANGEMIN, FALSE, 0);
    SendMessageA(slider, TBM_SETRANGEMAX, TRUE, 255);
    SendMessageA(slider, TBM_SETTICFREQ, kSliderPage, 0);
    // The box's change notification runs before this returns.
    SetDlgItemInt(dialog, editId, static_cast<UINT>(value), TRUE);
    SendMessageA(slider, TBM_SETPOS, TRUE, value);
}

}  // namespace

ColorizeDialog::ColorizeDialog() : PreviewDialog(TemplateIdForLanguage()) {}

ColorizeDialog::~ColorizeDialog() = default;

int ColorizeDialog::OnInitDialog() {
    if (!PreviewDialog::OnInitDialog()) return 0;
    colorField.Attach(*this);
    TintSettings settings;
    ReadTintSettings(settings);
    SetUpAxis(hwnd, IDC_X_SPIN, IDC_X_SLIDER, IDC_X_EDIT, PickerValueOr(settings.x, x));
    SetUpAxis(hwnd, IDC_Y_SPIN, IDC_Y_SLIDER, IDC_Y_EDIT, PickerValueOr(settings.y, y));
    CheckDlgButton(hwnd, IDC_PREVIEW_CHECK, settings.preview != 0 ? BST_CHECKED : BST_UNCHECKED);
    // Loading the start position itself changes nothing, so the template's
    // text would stay; show the loaded colour from the start.
    WriteGuideLabel();
    return 1;
}

INT_PTR ColorizeDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_HSCROLL) {
        const int sliderId = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
        if (sliderId == IDC_X_SLIDER || sliderId == IDC_Y_SLIDER) {
            return OnHScroll(sliderId, LOWORD(wParam), static_cast<short>(HIWORD(wParam))) ? 1 : 0;
        }
    }
    return PreviewDialog::DialogProc(hwnd, message, wParam, lParam);
}

bool ColorizeDialog::OnHScroll(int sliderId, int code, int thumbPosition) {
    const int target = sliderId == IDC_X_SLIDER ? IDC_X_EDIT : IDC_Y_EDIT;
    const int current = sliderId == IDC_X_SLIDER ? x : y;
    int value;
    switch (code) {
    case TB_LINEUP: value = current - 1; break;
    case TB_LINEDOWN: value = current + 1; break;
    case TB_PAGEUP: value = current - kSliderPage < 0 ? 0 : current - kSliderPage; break;
    case TB_PAGEDOWN: value = current + kSliderPage > 255 ? 255 : current + kSliderPage; break;
    case TB_THUMBPOSITION:
    case TB_THUMBTRACK: value = thumbPosition; break;
    case TB_TOP: value = 0; break;
    case TB_BOTTOM: value = 255; break;
    default: return false;
    }
    // Only the box's change notification stores the value and moves the
    // slider; -1 and 256 from a line step are refused there.
    SetDlgItemInt(hwnd, target, static_cast<UINT>(value), TRUE);
    return true;
}

int ColorizeDialog::OnCommand(HWND control, WPARAM wParam, int notifyCode) {
    const int id = LOWORD(wParam);
    if (notifyCode == EN_CHANGE && (id == IDC_X_EDIT || id == IDC_Y_EDIT)) OnEditChange(id);
    return PreviewDialog::OnCommand(control, wParam, notifyCode);
}

void ColorizeDialog::OnEditChange(int editId) {
    const bool isX = editId == IDC_X_EDIT;
    int& field = isX ? x : y;
    bool& restoring = isX ? restoringX : restoringY;
    if (restoring) return;
    bool ok = false;
    const int value = ParseEditInt(hwnd, editId, field, ok);
    if (!ok || value < 0 || value > 255) {
        // The box never keeps a refused text: the last accepted value returns.
        restoring = true;
        SetDlgItemInt(hwnd, editId, static_cast<UINT>(field), TRUE);
        restoring = false;
        // Setting the text leaves the caret at the start, where the next digit
        // would land in front of the old ones; selected, the text is replaced.
        SendDlgItemMessageA(hwnd, editId, EM_SETSEL, 0, -1);
        return;
    }
    if (value == field) return;
    field = value;
    // TBM_SETPOS sends no scroll notification back.
    SendMessageA(GetDlgItem(hwnd, isX ? IDC_X_SLIDER : IDC_Y_SLIDER), TBM_SETPOS, TRUE, value);
    WriteGuideLabel();
    colorField.UpdateMarker();
    if (IsPreviewChecked()) preview.Refresh();
}

void ColorizeDialog::WriteGuideLabel() {
    uint8_t red, green, blue;
    HueSatToRgb(x, y, &red, &green, &blue);
    char text[48];
    std::snprintf(text, sizeof text, "R:%u G:%u B:%u", static_cast<unsigned>(red), static_cast<unsigned>(green),
                  static_cast<unsigned>(blue));
    SetDlgItemTextA(hwnd, IDC_GUIDE_LABEL, text);
}

int ColorizeDialog::ParseEditInt(HWND dialog, int itemId, int fallback, bool& ok) {
    char buffer[16];
    const int n = GetDlgItemTextA(dialog, itemId, buffer, 15);
    return ParseEditText(buffer, n, fallback, ok);
}

void ColorizeDialog::SetXY(int newX, int newY) {
    // Each write below runs the change handling, whose refresh would render
    // the preview; render once at the end instead.
    preview.paintSuspended = true;
    SetDlgItemInt(hwnd, IDC_X_EDIT, static_cast<UINT>(newX), FALSE);
    SetDlgItemInt(hwnd, IDC_Y_EDIT, static_cast<UINT>(newY), FALSE);
    colorField.UpdateMarker();
    preview.paintSuspended = false;
    if (IsPreviewChecked()) preview.Refresh();
}

void ColorizeDialog::SaveSettings() {
    SaveFailure failure;
    if (SaveTintSettings(hwnd, failure)) return;
    // The choice holds in this process all the same; the user must know
    // that it is not in the file.
    TintSettings held;
    ReadTintSettings(held);
    ShowSaveFailure(hwnd, templateId == IDD_COLORIZE_JA, failure, held);
}

bool ColorizeDialog::RenderPreview(PreviewControl& control, const int* destination, const int* source,
                                   const int* size) {
    // A host may pass a size without pixels; the plain image would read them too.
    if (!pixels) return false;
    if (!IsPreviewChecked()) return PreviewDialog::RenderPreview(control, destination, source, size);
    // From the boxes, not the fields: the preview shows what OK would store.
    const int px = static_cast<int>(GetDlgItemInt(hwnd, IDC_X_EDIT, nullptr, FALSE));
    const int py = static_cast<int>(GetDlgItemInt(hwnd, IDC_Y_EDIT, nullptr, FALSE));
    GuideColor guide;
    HueSatToRgb(px, py, &guide.red, &guide.green, &guide.blue);
    const TintGuide tint = PrepareTint(guide);
    for (int i = 0; i < size[1]; ++i) {
        const uint32_t* row = pixels + static_cast<ptrdiff_t>(source[1] + i) * width + source[0];
        for (int j = 0; j < size[0]; ++j) {
            const uint32_t p = row[j];
            const int b = p & 0xFF;
            const int g = (p >> 8) & 0xFF;
            const int r = (p >> 16) & 0xFF;
            uint8_t bgr[3];
            TintPixel(LumaPreviewOrder(b, g, r), tint, bgr);
            control.PutPixel(destination[0] + j, destination[1] + i, bgr, static_cast<int>(p >> 24));
        }
    }
    return true;
}
