#include "DialogScript.h"

#include <cstdio>

namespace {

struct Script {
    DialogBase* dialog = nullptr;
    std::vector<Step> steps;
    size_t next = 0;
    int idleTicks = 0;
    int ticks = 0;
};

Script* running = nullptr;

constexpr UINT kTickMs = 40;
constexpr int kIdleTicksAfterScript = 25;  // 1 s for posted keys to end the dialog
constexpr int kWatchdogTicks = 500;         // 20 s

void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD) {
    Script* s = running;
    if (!s) return;
    HWND hwnd = s->dialog->Handle();
    // The modal loop shows the dialog only once its queue first runs empty.
    if (!hwnd || !IsWindow(hwnd) || !IsWindowVisible(hwnd)) return;
    if (++s->ticks > kWatchdogTicks) {
        std::fprintf(stderr, "watchdog: dialog still open after %d ticks\n", s->ticks);
        EndDialog(hwnd, kEndedByWatchdog);
        return;
    }
    if (s->next < s->steps.size()) {
        // Taken out first: a step may pump messages and re-enter this proc.
        Step step = s->steps[s->next++];
        step(hwnd);
        return;
    }
    if (++s->idleTicks > kIdleTicksAfterScript) EndDialog(hwnd, kStillOpenAfterScript);
}

}  // namespace

int RunScripted(DialogBase& dialog, const std::function<int()>& run, std::vector<Step> steps) {
    Script script;
    script.dialog = &dialog;
    script.steps = std::move(steps);
    Script* outer = running;
    running = &script;
    UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, Tick);
    int result = run();
    KillTimer(nullptr, timer);
    running = outer;
    return result;
}

void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) continue;  // no nested steps
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void SendMouse(HWND window, UINT message, WPARAM keys, int x, int y) {
    SendMessageA(window, message, keys, MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)));
}

COLORREF ScreenPixel(HWND window, int x, int y) {
    HDC hdc = GetDC(window);
    COLORREF c = GetPixel(hdc, x, y);
    ReleaseDC(window, hdc);
    return c;
}

std::string Hex(COLORREF color) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06lX", static_cast<unsigned long>(color));
    return text;
}
