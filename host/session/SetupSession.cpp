#include "host/session/SetupSession.h"

#include <commctrl.h>

#include "host/HostError.h"
#include "host/cli/Console.h"
#include "host/image/WindowCapture.h"
#include "host/session/ThreadDialog.h"

namespace {

const wchar_t kFrameClass[] = L"PpiHostFrame";
const UINT_PTR kWatchTimer = 1;
const UINT kWatchInterval = 100;
const UINT kQuickInterval = 10;
// Ticks between seeing the dialog and acting on it, so that it has painted.
const int kSettleTicks = 3;

// The parent window that PBF_Setup gets. Its timer, dispatched by the
// plug-in's modal loop, watches for the dialog.
class SetupFrame {
public:
    explicit SetupFrame(const SetupRequest& request) : request(request) {}
    ~SetupFrame() {
        if (hwnd) DestroyWindow(hwnd);
    }
    SetupFrame(const SetupFrame&) = delete;
    SetupFrame& operator=(const SetupFrame&) = delete;

    HWND Create(const std::wstring& title);
    void StopWatching() { KillTimer(hwnd, kWatchTimer); }
    SetupOutcome& Outcome() { return outcome; }

private:
    static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR id);
    void TakeScreenshot(HWND dialog);

    UINT Interval() const { return request.quick ? kQuickInterval : kWatchInterval; }

    const SetupRequest& request;
    SetupOutcome outcome;
    HWND hwnd = nullptr;
    HWND dialog = nullptr;
    int visibleTicks = 0;
    bool done = false;
    int ticksSincePress = 0;
};

HWND SetupFrame::Create(const std::wstring& title) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = StaticWndProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_APPWORKSPACE + 1);
    wc.lpszClassName = kFrameClass;
    RegisterClassExW(&wc);  // Fails harmlessly when already registered.
    hwnd = CreateWindowExW(0, kFrameClass, title.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 640,
                           480, nullptr, nullptr, instance, this);
    if (!hwnd) throw HostError("cannot create the parent window: " + SystemMessage(GetLastError()));
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    // Also without a screenshot or a button to press: the report says
    // whether a dialog came up.
    SetTimer(hwnd, kWatchTimer, Interval(), nullptr);
    return hwnd;
}

LRESULT CALLBACK SetupFrame::StaticWndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<SetupFrame*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<SetupFrame*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->WndProc(message, wParam, lParam) : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT SetupFrame::WndProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            OnTimer(static_cast<UINT_PTR>(wParam));
            return 0;
        case WM_NCDESTROY: {
            const HWND window = hwnd;
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            hwnd = nullptr;
            return DefWindowProcW(window, message, wParam, lParam);
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

void SetupFrame::OnTimer(UINT_PTR id) {
    if (id != kWatchTimer) return;
    if (done) {
        // A message box over the dialog after the press is answered too, as
        // the user who pressed would.
        if (const HWND box = FindOwnedThreadDialog()) PressDialogButton(box, IDOK);
        // EndDialog works from here: the timer runs inside the dialog's own
        // modal loop, on its thread.
        if (request.press && IsWindow(dialog) &&
            ++ticksSincePress >= static_cast<int>(kSetupPatienceSeconds * 1000 / Interval())) {
            outcome.closedByForce = true;
            StopWatching();
            EndDialog(dialog, 0);
        }
        return;
    }
    const HWND found = FindThreadDialog(true);
    if (found != dialog) {
        dialog = found;
        visibleTicks = 0;
    }
    if (!dialog || ++visibleTicks < (request.quick ? 1 : kSettleTicks)) return;

    done = true;
    if (!request.press) StopWatching();
    RECT r;
    GetWindowRect(dialog, &r);
    outcome.dialogShown = true;
    outcome.dialogWidth = r.right - r.left;
    outcome.dialogHeight = r.bottom - r.top;
    if (request.screenshot) TakeScreenshot(dialog);
    if (request.press) PressDialogButton(dialog, request.press);
}

void SetupFrame::TakeScreenshot(HWND target) {
    Image shot;
    if (!CaptureWindow(target, shot)) {
        outcome.screenshotError = "cannot copy the dialog's pixels";
        return;
    }
    // Runs inside the plug-in's modal loop: nothing may be thrown through it.
    try {
        request.screenshot->Write(shot);
        outcome.screenshotWritten = true;
    } catch (const std::exception& e) {
        outcome.screenshotError = e.what();
    }
}

}  // namespace

void InitDialogControls() {
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
}

SetupOutcome RunSetup(const PluginLibrary& plugin, Image& image, const SetupRequest& request) {
    return RunSetup(plugin, image.pixels.data(), image.width, image.height, request);
}

SetupOutcome RunSetup(const PluginLibrary& plugin, uint32_t* pixels, int width, int height,
                      const SetupRequest& request) {
    InitDialogControls();
    SetupFrame frame(request);
    const HWND parent = frame.Create(L"ppihost - " + WideFromUtf8(plugin.Name(request.index)));
    frame.Outcome().result = plugin.Setup(request.index, parent, pixels, width, height);
    frame.StopWatching();
    return frame.Outcome();
}
