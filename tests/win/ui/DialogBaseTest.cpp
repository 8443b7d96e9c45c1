// The framework as a user meets it: the buttons, keys and the close box end
// the dialog with the right code, and only OK saves.
#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource.h"
#include "tests/win/DialogDriver.h"
#include "ui/DialogBase.h"

namespace {

class RecordingDialog : public DialogBase {
public:
    explicit RecordingDialog(int templateId) : DialogBase(templateId) {}
    void SaveSettings() override { ++saves; }
    int OnCommand(HWND control, WPARAM wParam, int notifyCode) override {
        commands.push_back({LOWORD(wParam), notifyCode, control});
        return DialogBase::OnCommand(control, wParam, notifyCode);
    }
    struct Command {
        int id;
        int code;
        HWND control;
    };
    int saves = 0;
    std::vector<Command> commands;
};

void PostKey(HWND dialog, UINT key) {
    // To the focused control, where the dialog manager looks for Enter and Escape.
    HWND focus = GetFocus();
    HWND target = focus && IsChild(dialog, focus) ? focus : dialog;
    PostMessageA(target, WM_KEYDOWN, key, 1);
    PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

struct EndCase {
    const char* name;
    Step action;
    int endCode;
    int saves;
};

TEST(DialogBase, EndCodesAndSaving) {
    const EndCase cases[] = {
        {"OK button", [](HWND d) { SendMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0); }, 1, 1},
        {"Cancel button", [](HWND d) { SendMessageA(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0); }, 2, 0},
        {"Enter key", [](HWND d) { PostKey(d, VK_RETURN); }, 1, 1},
        {"Escape key", [](HWND d) { PostKey(d, VK_ESCAPE); }, 2, 0},
        {"close box", [](HWND d) { PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, 2, 0},
        {"id 1, odd notification",
         [](HWND d) { SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, 0x1234), (LPARAM)GetDlgItem(d, IDOK)); }, 1, 1},
        {"id 2, odd notification",
         [](HWND d) { SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0x0300), 0); }, 2, 0},
    };
    for (const EndCase& c : cases) {
        RecordingDialog dialog(IDD_COLORIZE_EN);
        int result = RunScripted([&] { return dialog.DoModal(nullptr); }, {c.action}).result;
        EXPECT_EQ(c.endCode, result) << c.name;
        EXPECT_EQ(c.saves, dialog.saves) << c.name;
        // The first command with id 1 or 2 is the one that ended it; focus
        // notifications of the edit boxes may follow while the window goes.
        int ender = 0;
        for (const auto& command : dialog.commands)
            if (command.id == IDOK || command.id == IDCANCEL) {
                ender = command.id;
                break;
            }
        EXPECT_EQ(c.endCode, ender) << c.name;
    }
}

TEST(DialogBase, OtherCommandsKeepTheDialogOpen) {
    RecordingDialog dialog(IDD_COLORIZE_EN);
    int result = RunScripted([&] { return dialog.DoModal(nullptr); },
                             {[](HWND d) { SendMessageA(d, WM_COMMAND, MAKEWPARAM(1006, BN_CLICKED), 0); },
                              [](HWND d) { SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_PREVIEW, 5), 0); },
                              [](HWND d) { SendMessageA(GetDlgItem(d, 1006), BM_CLICK, 0, 0); }}).result;
    EXPECT_EQ(kStillOpenAfterScript, result);
    EXPECT_EQ(0, dialog.saves);
}

// A DialogBase that overrides nothing still ends with 1 on OK and 2 on Cancel.
TEST(DialogBase, PlainDialogEnds) {
    const int buttons[] = {IDOK, IDCANCEL};
    for (int button : buttons) {
        DialogBase dialog(IDD_COLORIZE_EN);
        int result = RunScripted([&] { return dialog.DoModal(nullptr); },
                                 {[button](HWND d) { SendMessageA(GetDlgItem(d, button), BM_CLICK, 0, 0); }}).result;
        EXPECT_EQ(button, result);
    }
}

TEST(DialogBase, HandleIsTheDialogWindow) {
    DialogBase dialog(IDD_COLORIZE_EN);
    EXPECT_EQ(nullptr, dialog.Handle());
    HWND seen = nullptr;
    wchar_t caption[64] = L"";
    RunScripted([&] { return dialog.DoModal(nullptr); },
                {[&](HWND d) {
                    seen = dialog.Handle();
                    GetWindowTextW(d, caption, 64);
                    EndDialog(d, IDCANCEL);
                }});
    EXPECT_NE(nullptr, seen);
    EXPECT_EQ(std::wstring(L"Colorize"), caption);
}

// Everything but WM_INITDIALOG and WM_COMMAND goes to the default handling.
TEST(DialogBase, DialogProcLeavesOtherMessagesToTheSystem) {
    const UINT messages[] = {WM_PAINT, WM_CLOSE, WM_HSCROLL, WM_VSCROLL, WM_TIMER, WM_SETFONT, WM_NOTIFY,
                             WM_CTLCOLORSTATIC, WM_LBUTTONDOWN, WM_SYSCOMMAND};
    RecordingDialog dialog(IDD_COLORIZE_EN);
    for (UINT m : messages) EXPECT_EQ(0, dialog.DialogProc(nullptr, m, 1, 0)) << "message 0x" << std::hex << m;
    EXPECT_EQ(1, dialog.DialogProc(nullptr, WM_INITDIALOG, 0, 0));
    EXPECT_EQ(0, dialog.DialogProc(nullptr, WM_COMMAND, MAKEWPARAM(1021, EN_CHANGE), 0));
    EXPECT_EQ(0, dialog.saves);
}

// A template id that the plug-in does not have: no window, the system's
// failure value, no handler run.
TEST(DialogBase, MissingTemplateFails) {
    RecordingDialog dialog(999);
    int result = dialog.DoModal(nullptr);
    EXPECT_EQ(-1, result);
    EXPECT_EQ(0, dialog.saves);
    EXPECT_TRUE(dialog.commands.empty());
}

// Run with LANG=ja_JP.UTF-8 and LANG=en_US.UTF-8 (see CMakeLists.txt).
void ExpectTemplate(int expectedId, const wchar_t* expectedCaption) {
    EXPECT_EQ(expectedId, DialogBase::TemplateIdForLanguage())
        << "user language 0x" << std::hex << GetUserDefaultLangID();
    DialogBase dialog(DialogBase::TemplateIdForLanguage());
    wchar_t caption[64] = L"";
    int result = RunScripted([&] { return dialog.DoModal(nullptr); },
                             {[&](HWND d) {
                                 GetWindowTextW(d, caption, 64);
                                 SendMessageA(GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0);
                             }}).result;
    EXPECT_EQ(2, result);
    EXPECT_EQ(std::wstring(expectedCaption), caption);
}

TEST(Language, Japanese) {
    ASSERT_EQ(LANG_JAPANESE, PRIMARYLANGID(GetUserDefaultLangID()));
    ExpectTemplate(113, L"単色効果");
}

TEST(Language, English) {
    ASSERT_EQ(LANG_ENGLISH, PRIMARYLANGID(GetUserDefaultLangID()));
    ExpectTemplate(114, L"Colorize");
}

TEST(Language, German) {
    ASSERT_EQ(LANG_GERMAN, PRIMARYLANGID(GetUserDefaultLangID()));
    ExpectTemplate(114, L"Colorize");
}

}  // namespace
