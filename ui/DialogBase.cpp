#include "ui/DialogBase.h"

#include "plugin/FilterModule.h"
#include "plugin/FloatState.h"
#include "resource.h"

DialogBase* DialogBase::currentDialog = nullptr;

DialogBase::DialogBase(int templateId) : templateId(templateId) {}

DialogBase::~DialogBase() = default;

int DialogBase::TemplateIdForLanguage() {
    return PRIMARYLANGID(GetUserDefaultLangID()) == LANG_JAPANESE ? IDD_COLORIZE_JA : IDD_COLORIZE_EN;
}

int DialogBase::DoModal(HWND parent) {
    // A second dialog (a host timer calling set-up inside our modal loop)
    // would take over the class-static pointers of the open one for good.
    if (currentDialog) return -1;
    currentDialog = this;
    // The plug-in's own module: the host's resources never hold our template.
    const int result = static_cast<int>(DialogBoxParamA(FilterModule::Instance(), MAKEINTRESOURCEA(templateId),
                                                        parent, StaticDialogProc, 0));
    // The window is gone by now; no message reaches StaticDialogProc.
    currentDialog = nullptr;
    return result;
}

// Messages before WM_INITDIALOG (WM_SETFONT and friends) already reach the
// object, so hwnd is stored on every one of them.
INT_PTR CALLBACK DialogBase::StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    PluginFloatState floatState;
    currentDialog->hwnd = hwnd;
    return currentDialog->DialogProc(hwnd, message, wParam, lParam);
}

INT_PTR DialogBase::DialogProc(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        return OnCommand(reinterpret_cast<HWND>(lParam), wParam, HIWORD(wParam));
    default:
        // Left to the system's default dialog handling.
        return 0;
    }
}

int DialogBase::OnInitDialog() { return 1; }

// Enter, Escape and the close box arrive here as ids 1 and 2 too; whatever
// the notification code, those ids end the dialog.
int DialogBase::OnCommand(HWND, WPARAM wParam, int) {
    switch (LOWORD(wParam)) {
    case IDOK:
        OnOK();
        return 1;
    case IDCANCEL:
        OnCancel();
        return 1;
    default:
        return 0;
    }
}

void DialogBase::SaveSettings() {}

void DialogBase::OnOK() {
    SaveSettings();
    EndDialog(hwnd, IDOK);
}

void DialogBase::OnCancel() { EndDialog(hwnd, IDCANCEL); }
