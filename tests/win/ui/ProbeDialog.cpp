#include "ProbeDialog.h"

#include <cstdio>

ProbeDialog::ProbeDialog(int templateId, int clientWidth, int clientHeight)
    : PreviewDialog(templateId), clientWidth(clientWidth), clientHeight(clientHeight) {}

int ProbeDialog::OnInitDialog() {
    if (clientWidth > 0) {
        HWND item = GetDlgItem(hwnd, 1005);
        RECT window, client;
        GetWindowRect(item, &window);
        GetClientRect(item, &client);
        SetWindowPos(item, nullptr, 0, 0, clientWidth + (window.right - window.left) - client.right,
                     clientHeight + (window.bottom - window.top) - client.bottom, SWP_NOMOVE | SWP_NOZORDER);
    }
    return PreviewDialog::OnInitDialog();
}

int ProbeDialog::OnCommand(HWND control, WPARAM wParam, int notifyCode) {
    commands.push_back({LOWORD(wParam), notifyCode, control});
    return PreviewDialog::OnCommand(control, wParam, notifyCode);
}

bool ProbeDialog::RenderPreview(PreviewControl& control, const int* destination, const int* source,
                                const int* size) {
    renders.push_back({destination[0], destination[1], source[0], source[1], size[0], size[1]});
    if (hook) return hook(control, destination, source, size);
    return PreviewDialog::RenderPreview(control, destination, source, size);
}

int ProbeDialog::Run(const std::vector<uint32_t>& image, int width, int height, std::vector<Step> steps) {
    steps.push_back([](HWND d) { EndDialog(d, IDCANCEL); });
    return RunScripted([&] { return RunModal(nullptr, image.data(), width, height); }, std::move(steps)).result;
}

void Repaint(HWND window) { RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW); }

std::vector<uint32_t> MakeImage(int width, int height, const std::function<uint32_t(int, int)>& f) {
    std::vector<uint32_t> image(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) image[static_cast<size_t>(y) * width + x] = f(x, y);
    return image;
}

COLORREF WindowColor() { return GetSysColor(COLOR_WINDOW) & 0xFFFFFF; }

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
