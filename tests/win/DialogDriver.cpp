#include "tests/win/DialogDriver.h"

#include <cstdio>

#include "host/session/ThreadDialog.h"

namespace {

constexpr UINT kTickMs = 10;
// How long a step may run, and a dialog stay open after its button.
constexpr DWORD kPatienceMs = 10000;
constexpr DWORD kIdleAfterScriptMs = 1000;

struct Run {
    std::vector<Step> steps;
    int end;
    DialogRun* outcome;
    HWND dialog = nullptr;
    size_t next = 0;
    bool busy = false;  // inside a step, whose own loops dispatch ticks too
    bool pressed = false;
    DWORD since = 0;  // when the dialog was seen or the last step ended
};

Run* current = nullptr;

std::string Utf8(const std::wstring& text) {
    char utf8[4096] = "";
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, utf8, sizeof utf8, nullptr, nullptr);
    return utf8;
}

void EndByForce(Run& run, int code, const char* why) {
    if (code == kEndedByWatchdog) {
        std::fprintf(stderr, "watchdog: dialog still open %s\n", why);
        run.outcome->watchdog = true;
    }
    EndDialog(run.dialog, code);
}

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Run* run = current;
    if (!run) return;
    if (run->dialog && !IsWindow(run->dialog)) run->dialog = nullptr;
    if (!run->dialog) {
        // The modal loop shows the dialog once its queue first runs empty.
        run->dialog = FindThreadDialog(true);
        if (!run->dialog) return;
        run->outcome->dialogSeen = true;
        run->since = GetTickCount();
    }
    // A message box over the dialog, such as OK's when it cannot store:
    // read as the user would, and answered.
    HWND box = FindOwnedThreadDialog();
    if (box && box != run->dialog) {
        wchar_t title[128] = L"";
        GetWindowTextW(box, title, 128);
        run->outcome->boxTitle = Utf8(title);
        run->outcome->message = Utf8(MessageBoxText(box));
        ++run->outcome->messageBoxes;
        PressDialogButton(box, IDOK);
        return;
    }
    const DWORD waited = GetTickCount() - run->since;
    if (run->busy) {
        if (waited > kPatienceMs) EndByForce(*run, kEndedByWatchdog, "during a step");
        return;
    }
    if (run->next < run->steps.size()) {
        // Taken out first: a step may pump messages.
        const Step step = run->steps[run->next++];
        run->busy = true;
        step(run->dialog);
        run->busy = false;
        run->since = GetTickCount();
    } else if (!run->pressed) {
        run->pressed = true;
        if (run->end) PressDialogButton(run->dialog, run->end);
    } else if (run->end && waited > kPatienceMs) {
        EndByForce(*run, kEndedByWatchdog, "after its button");
    } else if (!run->end && waited > kIdleAfterScriptMs) {
        EndByForce(*run, kStillOpenAfterScript, "");
    }
}

void Act(const SetupScript& s, ScriptedSetup& o, HWND dialog) {
    // Each write sends EN_CHANGE at once, so the dialog's handlers run inside.
    if (s.x >= 0) SetDlgItemInt(dialog, 1021, static_cast<UINT>(s.x), FALSE);
    if (s.y >= 0) SetDlgItemInt(dialog, 1023, static_cast<UINT>(s.y), FALSE);
    if (s.spinUp > 0) {
        HWND spin = GetDlgItem(dialog, 1022);
        RECT client = {0, 0, 0, 0};
        GetClientRect(spin, &client);
        const LPARAM upArrow = MAKELPARAM(client.right / 2, client.bottom / 4);
        for (int i = 0; i < s.spinUp; ++i) {
            SendMessageA(spin, WM_LBUTTONDOWN, MK_LBUTTON, upArrow);
            SendMessageA(spin, WM_LBUTTONUP, 0, upArrow);
        }
    }
    for (int i = 0; i < s.sliderPagesDown; ++i) {
        HWND slider = GetDlgItem(dialog, 1027);
        SendMessageA(slider, WM_KEYDOWN, VK_NEXT, 1);
        SendMessageA(slider, WM_KEYUP, VK_NEXT, 0xC0000001);
    }
    if (s.clickPerMille.x >= 0) {
        HWND field = GetDlgItem(dialog, 1025);
        RECT client = {0, 0, 0, 0};
        GetClientRect(field, &client);
        auto at = [&client](POINT perMille) {
            return MAKELPARAM(client.right * perMille.x / 1000, client.bottom * perMille.y / 1000);
        };
        SendMessageA(field, WM_LBUTTONDOWN, MK_LBUTTON, at(s.clickPerMille));
        LPARAM up = at(s.clickPerMille);
        if (s.dragToPerMille.x >= 0) {
            for (int step = 1; step <= 4; ++step) {
                const POINT p = {s.clickPerMille.x + (s.dragToPerMille.x - s.clickPerMille.x) * step / 4,
                                 s.clickPerMille.y + (s.dragToPerMille.y - s.clickPerMille.y) * step / 4};
                SendMessageA(field, WM_MOUSEMOVE, MK_LBUTTON, at(p));
            }
            up = at(s.dragToPerMille);
        }
        SendMessageA(field, WM_LBUTTONUP, 0, up);
    }
    if (s.togglePreview) {
        CheckDlgButton(dialog, 1006, IsDlgButtonChecked(dialog, 1006) ? BST_UNCHECKED : BST_CHECKED);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1006, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, 1006)));
    }
    if (s.dragPreview) {
        HWND preview = GetDlgItem(dialog, 1005);
        RECT client = {0, 0, 0, 0};
        GetClientRect(preview, &client);
        const int cx = client.right / 2, cy = client.bottom / 2;
        SendMessageA(preview, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(cx, cy));
        const POINT moves[] = {{cx + 3000, cy + 3000}, {cx - 3000, cy - 3000}, {cx + 3000, cy - 3000},
                               {cx - 3000, cy + 3000}, {cx + 1, cy + 1}};
        for (const POINT& p : moves) {
            SendMessageA(preview, WM_MOUSEMOVE, MK_LBUTTON,
                         MAKELPARAM(static_cast<WORD>(static_cast<short>(p.x)), static_cast<WORD>(static_cast<short>(p.y))));
            UpdateWindow(preview);
        }
        SendMessageA(preview, WM_LBUTTONUP, 0, MAKELPARAM(cx, cy));
        UpdateWindow(preview);
    }
    BOOL ok = FALSE;
    o.shownX = static_cast<int>(GetDlgItemInt(dialog, 1021, &ok, TRUE));
    if (!ok) o.shownX = -1;
    o.shownY = static_cast<int>(GetDlgItemInt(dialog, 1023, &ok, TRUE));
    if (!ok) o.shownY = -1;
    char label[64] = "";
    GetDlgItemTextA(dialog, 1028, label, sizeof label);
    o.label = label;
    o.previewChecked = IsDlgButtonChecked(dialog, 1006) == BST_CHECKED;
}

}  // namespace

DialogRun RunScripted(const std::function<int()>& modal, std::vector<Step> steps, int end) {
    DialogRun outcome;
    Run run;
    run.steps = std::move(steps);
    run.end = end;
    run.outcome = &outcome;
    Run* outer = current;
    current = &run;
    const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, Tick);
    outcome.result = modal();
    KillTimer(nullptr, timer);
    current = outer;
    // A tick already queued would otherwise reach the next modal loop.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    return outcome;
}

ScriptedSetup RunScripted(const std::function<int()>& modal, const SetupScript& script) {
    ScriptedSetup outcome;
    static_cast<DialogRun&>(outcome) =
        RunScripted(modal, {[&](HWND dialog) { Act(script, outcome, dialog); }}, script.ok ? IDOK : IDCANCEL);
    return outcome;
}

bool ParseGuideLabel(const std::string& label, int* red, int* green, int* blue) {
    unsigned r, g, b;
    char rest;
    if (std::sscanf(label.c_str(), "R:%u G:%u B:%u%c", &r, &g, &b, &rest) != 3) return false;
    if (r > 255 || g > 255 || b > 255) return false;
    *red = static_cast<int>(r);
    *green = static_cast<int>(g);
    *blue = static_cast<int>(b);
    return true;
}
