// A PreviewDialog that records what reaches it, can give its preview a fixed
// client size, and lets a test take over RenderPreview.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/win/DialogDriver.h"
#include "ui/PreviewDialog.h"

struct RenderCall {
    int dx, dy, sx, sy, w, h;
};

struct CommandCall {
    int id;
    int code;
    HWND control;
};

class ProbeDialog : public PreviewDialog {
public:
    // clientWidth/Height 0 keep the template's size of item 1005.
    explicit ProbeDialog(int templateId, int clientWidth = 0, int clientHeight = 0);

    int OnInitDialog() override;
    int OnCommand(HWND control, WPARAM wParam, int notifyCode) override;
    bool RenderPreview(PreviewControl& control, const int* destination, const int* source,
                       const int* size) override;

    // Runs the dialog over the image with the steps; a last step that cancels
    // is added.
    int Run(const std::vector<uint32_t>& image, int width, int height, std::vector<Step> steps);

    PreviewControl& Preview() { return preview; }
    HWND PreviewWindow() const { return GetDlgItem(hwnd, 1005); }

    using RenderHook = std::function<bool(PreviewControl&, const int*, const int*, const int*)>;
    RenderHook hook;
    std::vector<RenderCall> renders;
    std::vector<CommandCall> commands;

private:
    int clientWidth;
    int clientHeight;
};

// Repaints a window through WM_PAINT, as an uncovered window would.
void Repaint(HWND window);

// An image of width x height words 0xAARRGGBB filled by f(x, y).
std::vector<uint32_t> MakeImage(int width, int height, const std::function<uint32_t(int, int)>& f);

// The window colour as GetPixel reports it.
COLORREF WindowColor();

// Client-coordinate mouse messages, sent to the window as the system would post them.
void SendMouse(HWND window, UINT message, WPARAM keys, int x, int y);

// A pixel of the window's client area as it is on the screen surface.
COLORREF ScreenPixel(HWND window, int x, int y);

std::string Hex(COLORREF color);
