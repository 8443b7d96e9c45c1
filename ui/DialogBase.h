// Ties a modal dialog from one of the plug-in's templates to an object whose
// virtual handlers receive its messages.
#pragma once

#include <windows.h>

class DialogBase {
public:
    explicit DialogBase(int templateId);
    virtual ~DialogBase();
    DialogBase(const DialogBase&) = delete;
    DialogBase& operator=(const DialogBase&) = delete;

    // Overrides handle their own messages completely and pass the rest on to
    // their base's DialogProc by name.
    virtual INT_PTR DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    virtual int OnInitDialog();
    // Overrides do their own work first and end by returning their direct
    // base's OnCommand.
    virtual int OnCommand(HWND control, WPARAM wParam, int notifyCode);
    // Run by OnOK before the dialog ends.
    virtual void SaveSettings();
    virtual void OnOK();
    virtual void OnCancel();

    // Runs the dialog from the plug-in's own resources; returns 1 (OK), 2
    // (Cancel) or the system's failure value. While a dialog runs, another
    // returns -1 at once.
    int DoModal(HWND parent);
    HWND Handle() const { return hwnd; }

    // 113 (Japanese) for a Japanese user default language, 114 otherwise.
    static int TemplateIdForLanguage();

protected:
    HWND hwnd = nullptr;
    int templateId;

private:
    static INT_PTR CALLBACK StaticDialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // The dialog whose modal loop runs, null between dialogs; one at a time.
    static DialogBase* currentDialog;
};
