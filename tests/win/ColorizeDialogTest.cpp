// The Colorize dialog driven inside its own modal loop. The plug-in's sources
// are linked in; templates, cursors and the settings file come from a private
// copy of the .ppi in a fresh folder, which FilterModule is pointed at. The
// same copy's exports are driven too, for what the host sees.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "colorize/GuideColorModel.h"
#include "colorize/Tint.h"
#include "host/session/ImportFaults.h"
#include "host/session/PluginLibrary.h"
#include "host/session/ThreadDialog.h"
#include "plugin/FilterModule.h"
#include "resource.h"
#include "settings/TintSettings.h"
#include "tests/win/DialogDriver.h"
#include "tests/win/TempFolder.h"
#include "ui/ColorizeDialog.h"
#include "ui/Spectrum.h"

namespace {

std::unique_ptr<TempFolder> gFolder;
std::unique_ptr<PluginLibrary> gPlugin;
std::string gIni;

class PrivatePlugin : public ::testing::Environment {
public:
    void SetUp() override {
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
        ASSERT_TRUE(InitCommonControlsEx(&icc));
        gFolder = std::make_unique<TempFolder>();
        gIni = gFolder->Path() + "\\qvfilters.ini";
        gPlugin = std::make_unique<PluginLibrary>(WidePath(gFolder->CopyPlugin()));
        ASSERT_EQ(1, FilterModule::Get().Init(gPlugin->Module()));
    }
    void TearDown() override {
        gPlugin.reset();
        gFolder.reset();
    }
};

const ::testing::Environment* const kEnvironment = ::testing::AddGlobalTestEnvironment(new PrivatePlugin);

// --- settings file -------------------------------------------------------------

std::string ReadIni() { return TempFolder::ReadBytes(WidePath(gIni)); }

void WriteIni(const std::string& bytes) {
    // Drop the system's cached copy before changing the file behind its back.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, gIni.c_str());
    ASSERT_TRUE(TempFolder::WriteBytes(gFolder->Path(), "qvfilters.ini", bytes));
}

void RemoveIni() {
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, gIni.c_str());
    DeleteFileA(gIni.c_str());
}

bool IniExists() { return GetFileAttributesA(gIni.c_str()) != INVALID_FILE_ATTRIBUTES; }

int IniInt(const char* section, const char* key) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, -999, gIni.c_str()));
}

std::string IniString(const char* section, const char* key) {
    char text[64];
    GetPrivateProfileStringA(section, key, "<missing>", text, sizeof text, gIni.c_str());
    return text;
}

// --- driving the modal loop -----------------------------------------------------

void Pump(DWORD ms) {
    const DWORD end = GetTickCount() + ms;
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while (static_cast<LONG>(end - GetTickCount()) > 0);
}

void Click(HWND button) { SendMessageA(button, BM_CLICK, 0, 0); }

// The last run: its message boxes, in UTF-8.
DialogRun gLastRun;

// Runs script inside the modal loop that run starts, once the dialog has
// painted, then presses endWith (0: the script ends the dialog itself).
int Drive(const std::function<void(HWND)>& script, const std::function<int()>& run, int endWith = IDCANCEL) {
    bool ran = false;
    gLastRun = RunScripted(run,
                           {[](HWND) { Pump(150); },
                            [&](HWND d) {
                                ran = true;
                                script(d);
                            }},
                           endWith);
    EXPECT_TRUE(ran) << "the dialog ended before the script ran (result " << gLastRun.result << ")";
    EXPECT_FALSE(gLastRun.watchdog);
    return gLastRun.result;
}

// --- image and screen -----------------------------------------------------------

struct Image {
    int width, height;
    std::vector<uint32_t> pixels;
};

Image TestImage(int width, int height) {
    Image image{width, height, std::vector<uint32_t>(width * height)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t r = (x * 37 + y * 11) & 255, g = (x * 5 + y * 29) & 255, b = ((x * 13) ^ (y * 7)) & 255;
            const uint32_t a = (x + y) % 4 == 0 ? 255 : ((x * y * 9) & 255);
            image.pixels[x + y * width] = a << 24 | r << 16 | g << 8 | b;
        }
    }
    return image;
}

// The client area of a window as 0x00RRGGBB words, row-major.
std::vector<uint32_t> Capture(HWND window, int& width, int& height) {
    RECT rc;
    GetClientRect(window, &rc);
    width = rc.right;
    height = rc.bottom;
    std::vector<uint32_t> out(width * height);
    HDC dc = GetDC(window);
    HDC mem = CreateCompatibleDC(dc);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* p = static_cast<const uint32_t*>(bits);
    for (int i = 0; i < width * height; ++i) out[i] = p[i] & 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(window, dc);
    return out;
}

// What the preview shows for image pixel p at buffer position bx, by.
uint32_t PreviewWord(uint32_t p, int bx, int by, bool tinted, int x, int y) {
    const int a = p >> 24;
    uint8_t bgr[3] = {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16)};
    if (tinted) {
        GuideColor guide;
        HueSatToRgb(x, y, &guide.red, &guide.green, &guide.blue);
        TintPixel(LumaPreviewOrder(bgr[0], bgr[1], bgr[2]), PrepareTint(guide), bgr);
    }
    const int bg = ((bx ^ by) & 8) ? 192 : 255;
    uint32_t out = 0;
    for (int c = 2; c >= 0; --c) out = out << 8 | (bg * (255 - a) + a * bgr[c]) / 255;
    return out;
}

// --- the dialog under test ------------------------------------------------------

class ProbeDialog : public ColorizeDialog {
public:
    bool RenderPreview(PreviewControl& control, const int* destination, const int* source,
                       const int* size) override {
        ++renders;
        return ColorizeDialog::RenderPreview(control, destination, source, size);
    }
    const PreviewControl& Preview() const { return preview; }
    int renders = 0;
};

// The dialog over image, with script run inside its modal loop; the
// settings file holds ini, or is missing when ini is null.
int RunProbe(const char* ini, const std::function<void(HWND, ProbeDialog&)>& script,
             const Image& image = TestImage(40, 30)) {
    if (ini) {
        WriteIni(ini);
    } else {
        RemoveIni();
    }
    ProbeDialog dialog;
    return Drive([&](HWND d) { script(d, dialog); },
                 [&] { return dialog.RunModal(nullptr, image.pixels.data(), image.width, image.height); });
}

std::string ItemText(HWND dialog, int id) {
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

bool PreviewChecked(HWND dialog) { return IsDlgButtonChecked(dialog, IDC_PREVIEW_CHECK) == BST_CHECKED; }

// The edit boxes and the check box as the dialog shows them.
void ExpectShown(HWND dialog, const char* x, const char* y, bool preview) {
    EXPECT_EQ(x, ItemText(dialog, IDC_X_EDIT));
    EXPECT_EQ(y, ItemText(dialog, IDC_Y_EDIT));
    EXPECT_EQ(preview, PreviewChecked(dialog));
}

int SliderPos(HWND dialog, int id) {
    return static_cast<int>(SendMessageA(GetDlgItem(dialog, id), TBM_GETPOS, 0, 0));
}

std::string Label(int x, int y) {
    uint8_t r, g, b;
    HueSatToRgb(x, y, &r, &g, &b);
    char text[48];
    std::snprintf(text, sizeof text, "R:%u G:%u B:%u", r, g, b);
    return text;
}

// X and Y and everything that must follow them.
void ExpectPosition(HWND dialog, const ProbeDialog& probe, int x, int y, const char* step) {
    EXPECT_EQ(x, probe.X()) << step;
    EXPECT_EQ(y, probe.Y()) << step;
    EXPECT_EQ(std::to_string(x), ItemText(dialog, IDC_X_EDIT)) << step;
    EXPECT_EQ(std::to_string(y), ItemText(dialog, IDC_Y_EDIT)) << step;
    EXPECT_EQ(x, SliderPos(dialog, IDC_X_SLIDER)) << step;
    EXPECT_EQ(y, SliderPos(dialog, IDC_Y_SLIDER)) << step;
    EXPECT_EQ(Label(x, y), ItemText(dialog, IDC_GUIDE_LABEL)) << step;
}

void TypeChar(HWND edit, char c) {
    const int length = GetWindowTextLengthA(edit);
    SendMessageA(edit, EM_SETSEL, length, length);
    SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void Key(HWND window, WPARAM key) {
    SendMessageA(window, WM_KEYDOWN, key, 1);
    SendMessageA(window, WM_KEYUP, key, 0xC0000001);
}

void Scroll(HWND dialog, int sliderId, int code, int position = 0) {
    SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(code, position), reinterpret_cast<LPARAM>(GetDlgItem(dialog, sliderId)));
}

// Makes the colour field's client area exactly width x height; false when
// there is no field.
bool SizeField(HWND field, int width, int height) {
    if (!field) return false;
    RECT wr, cr;
    GetWindowRect(field, &wr);
    GetClientRect(field, &cr);
    const int bw = (wr.right - wr.left) - cr.right, bh = (wr.bottom - wr.top) - cr.bottom;
    SetWindowPos(field, nullptr, 0, 0, width + bw, height + bh, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(field, nullptr, TRUE);
    UpdateWindow(field);
    return true;
}

void FieldMouse(HWND field, UINT message, WPARAM flags, int x, int y) {
    SendMessageA(field, message, flags, MAKELPARAM(x, y));
}

// --- tests ----------------------------------------------------------------------

// Two suites: ColorizeDialog, what the template of the user's language
// changes (its geometry under the colour field, the preview and the marker,
// the language of OK's message); ColorizeBehaviour, what every template does
// alike, which the emulated machine leaves to the English run.

// Without a file, and with a stored position out of range, the dialog opens
// at X 0, Y 255 and leaves the file as it was.
TEST(ColorizeBehaviour, OpensAtTheStartValuesWithoutAUsableStoredPosition) {
    const char* const files[] = {nullptr, "[HueTint]\r\nx=300\r\ny=-5\r\npreview=0\r\n"};
    for (const char* ini : files) {
        SCOPED_TRACE(ini ? ini : "no file");
        const int result = RunProbe(ini, [&](HWND d, ProbeDialog& dialog) {
            ExpectShown(d, "0", "255", ini == nullptr);
            EXPECT_EQ(0, SliderPos(d, IDC_X_SLIDER));
            EXPECT_EQ(255, SliderPos(d, IDC_Y_SLIDER));
            EXPECT_EQ("R:255 G:0 B:0", ItemText(d, IDC_GUIDE_LABEL));
            // Painted: the marker of X 0, Y 255 sits on the top-left corner.
            EXPECT_EQ(0, dialog.Field().MarkerX());
            EXPECT_EQ(0, dialog.Field().MarkerY());
        });
        EXPECT_EQ(IDCANCEL, result);
        EXPECT_EQ(ini ? ini : "", ReadIni());
        EXPECT_EQ(ini != nullptr, IniExists());
    }
}

TEST(ColorizeDialog, TemplateFollowsTheUserLanguage) {
    const bool japanese = PRIMARYLANGID(GetUserDefaultLangID()) == LANG_JAPANESE;
    RunProbe(nullptr, [&](HWND d, ProbeDialog&) {
        wchar_t caption[32] = L"";
        GetWindowTextW(d, caption, 32);
        EXPECT_EQ(std::wstring(japanese ? L"\u5358\u8272\u52B9\u679C" : L"Colorize"), caption);
    });
}

TEST(ColorizeDialog, StoredPositionOpensWithLabelSlidersAndMarker) {
    RunProbe("[HueTint]\r\nx=64\r\ny=128\r\npreview=1\r\n", [&](HWND d, ProbeDialog& dialog) {
        ExpectPosition(d, dialog, 64, 128, "open");
        EXPECT_EQ("R:191 G:255 B:127", ItemText(d, IDC_GUIDE_LABEL));
        RECT rc;
        GetClientRect(dialog.Field().Window(), &rc);
        EXPECT_EQ(MarkerXFor(64, rc.right), dialog.Field().MarkerX());
        EXPECT_EQ(MarkerYFor(128, rc.bottom), dialog.Field().MarkerY());
    });
}

TEST(ColorizeBehaviour, EditBoxesAcceptOnlyZeroAndOneTo255WithoutLeadingZero) {
    RunProbe(nullptr, [&](HWND d, ProbeDialog& dialog) {
        struct Step {
            const char* text;
            int x;
            int renders;  // preview renders the write causes
        };
        const Step steps[] = {
            {"20", 20, 1}, {"07", 20, 0}, {"256", 20, 0}, {"-0", 20, 0}, {"-1", 20, 0},
            {"", 20, 0},   {"2x", 20, 0}, {"20", 20, 0},  {"0", 0, 1},   {"255", 255, 1},
        };
        for (const Step& s : steps) {
            dialog.renders = 0;
            SetDlgItemTextA(d, IDC_X_EDIT, s.text);
            ExpectPosition(d, dialog, s.x, 255, s.text);
            EXPECT_EQ(s.renders, dialog.renders) << "\"" << s.text << "\"";
        }
        // The Y box follows the same rule.
        SetDlgItemTextA(d, IDC_Y_EDIT, "128");
        SetDlgItemTextA(d, IDC_Y_EDIT, "0128");
        ExpectPosition(d, dialog, 255, 128, "Y 0128");

        // Keystrokes: each character is judged as the box then reads.
        HWND edit = GetDlgItem(d, IDC_X_EDIT);
        SetDlgItemTextA(d, IDC_X_EDIT, "0");
        TypeChar(edit, '7');  // "07"
        ExpectPosition(d, dialog, 0, 128, "typed 07");
        SetDlgItemTextA(d, IDC_X_EDIT, "2");
        TypeChar(edit, '5');
        TypeChar(edit, '6');  // "256"
        ExpectPosition(d, dialog, 25, 128, "typed 256");
        SendMessageA(edit, EM_SETSEL, 0, -1);
        SendMessageA(edit, WM_CHAR, '\b', 1);  // deletes everything
        ExpectPosition(d, dialog, 25, 128, "emptied");
    });
}

// Keystrokes as the message loop delivers them: '*' selects all, '\b' is
// Backspace. A refused text comes back selected whole, so the next digit
// replaces it instead of landing in front of it.
TEST(ColorizeBehaviour, PutBackValueIsSelectedForTheNextDigit) {
    RunProbe(nullptr, [&](HWND d, ProbeDialog& dialog) {
        struct Typing {
            const char* keys;
            int x;
            DWORD selStart, selEnd;
        };
        const Typing typings[] = {
            {"*130\b\b\b", 1, 0, 1},
            {"*130\b\b\b64", 64, 2, 2},
            {"*300", 30, 0, 2},
            {"*3001", 1, 1, 1},
        };
        HWND edit = GetDlgItem(d, IDC_X_EDIT);
        for (const Typing& t : typings) {
            std::string step;
            for (const char* k = t.keys; *k; ++k) {
                if (*k == '*') {
                    SendMessageA(edit, EM_SETSEL, 0, -1);
                } else {
                    SendMessageA(edit, WM_CHAR, static_cast<unsigned char>(*k), 1);
                }
                step += *k == '\b' ? std::string("<BS>") : std::string(1, *k);
            }
            ExpectPosition(d, dialog, t.x, 255, step.c_str());
            DWORD start = 0, end = 0;
            SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(t.selStart, start) << step;
            EXPECT_EQ(t.selEnd, end) << step;
        }
    });
}

TEST(ColorizeBehaviour, SliderStepsGoThroughTheEditBox) {
    RunProbe(nullptr, [&](HWND d, ProbeDialog& dialog) {
        HWND xs = GetDlgItem(d, IDC_X_SLIDER);
        HWND ys = GetDlgItem(d, IDC_Y_SLIDER);
        struct Step {
            int start;
            WPARAM key;
            int x;
        };
        // The page is 32, whatever page size the slider itself uses.
        const Step keys[] = {
            {20, VK_PRIOR, 0}, {240, VK_NEXT, 255}, {100, VK_PRIOR, 68}, {100, VK_NEXT, 132},
            {100, VK_HOME, 0}, {100, VK_END, 255},  {100, VK_LEFT, 99},  {100, VK_RIGHT, 101},
        };
        for (const Step& s : keys) {
            SetDlgItemTextA(d, IDC_X_EDIT, std::to_string(s.start).c_str());
            dialog.renders = 0;
            Key(xs, s.key);
            ExpectPosition(d, dialog, s.x, 255, ("key " + std::to_string(s.key)).c_str());
            EXPECT_EQ(1, dialog.renders) << "key " << s.key << " from " << s.start;
        }
        Key(ys, VK_HOME);
        ExpectPosition(d, dialog, 101, 0, "Y home");
        Key(ys, VK_END);
        ExpectPosition(d, dialog, 101, 255, "Y end");

        // Line steps are not clamped by the slider handler; -1 and 256 are
        // refused by the box's change handling.
        SetDlgItemTextA(d, IDC_X_EDIT, "0");
        Scroll(d, IDC_X_SLIDER, TB_LINEUP);
        ExpectPosition(d, dialog, 0, 255, "line up at 0");
        Scroll(d, IDC_Y_SLIDER, TB_LINEDOWN);
        ExpectPosition(d, dialog, 0, 255, "line down at 255");
        // The thumb, and an end-of-track notification that writes nothing.
        dialog.renders = 0;
        Scroll(d, IDC_X_SLIDER, TB_THUMBTRACK, 100);
        ExpectPosition(d, dialog, 100, 255, "thumb 100");
        EXPECT_EQ(1, dialog.renders);
        RECT rc;
        GetClientRect(dialog.Field().Window(), &rc);
        EXPECT_EQ(MarkerXFor(100, rc.right), dialog.Field().MarkerX());
        Scroll(d, IDC_X_SLIDER, TB_THUMBPOSITION, 7);
        ExpectPosition(d, dialog, 7, 255, "thumb position 7");
        SetDlgItemTextA(d, IDC_X_EDIT, "50");
        Scroll(d, IDC_X_SLIDER, TB_ENDTRACK, 200);
        ExpectPosition(d, dialog, 50, 255, "end track");

        // A click in the channel left of the thumb pages left.
        SetDlgItemTextA(d, IDC_X_EDIT, "100");
        RECT channel;
        SendMessageA(xs, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
        RECT thumb;
        SendMessageA(xs, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
        const LPARAM at = MAKELPARAM(channel.left + 2, (thumb.top + thumb.bottom) / 2);
        SendMessageA(xs, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageA(xs, WM_LBUTTONUP, 0, at);
        ExpectPosition(d, dialog, 68, 255, "channel click");
    });
}

TEST(ColorizeBehaviour, SpinButtonsStepTheEditBoxWithinRange) {
    RunProbe(nullptr, [&](HWND d, ProbeDialog& dialog) {
        HWND spin = GetDlgItem(d, IDC_X_SPIN);
        RECT rc;
        GetClientRect(spin, &rc);
        const LPARAM up = MAKELPARAM(rc.right / 2, rc.bottom / 4);
        const LPARAM down = MAKELPARAM(rc.right / 2, rc.bottom * 3 / 4);
        auto click = [&](LPARAM at, HWND button = nullptr) {
            SendMessageA(button ? button : spin, WM_LBUTTONDOWN, MK_LBUTTON, at);
            SendMessageA(button ? button : spin, WM_LBUTTONUP, 0, at);
        };
        SetDlgItemTextA(d, IDC_X_EDIT, "254");
        dialog.renders = 0;
        click(up);
        ExpectPosition(d, dialog, 255, 255, "up to 255");
        EXPECT_EQ(1, dialog.renders);
        click(up);
        ExpectPosition(d, dialog, 255, 255, "up at 255");
        click(down);
        ExpectPosition(d, dialog, 254, 255, "down");
        SetDlgItemTextA(d, IDC_X_EDIT, "0");
        click(down);
        ExpectPosition(d, dialog, 0, 255, "down at 0");
        click(down, GetDlgItem(d, IDC_Y_SPIN));
        ExpectPosition(d, dialog, 0, 254, "Y down");
    });
}

TEST(ColorizeDialog, ColourFieldPicksAndDrags) {
    RunProbe(nullptr, [&](HWND d, ProbeDialog& dialog) {
        HWND field = dialog.Field().Window();
        ASSERT_TRUE(SizeField(field, 162, 81));
        RECT rc;
        GetClientRect(field, &rc);
        ASSERT_EQ(162, rc.right);
        ASSERT_EQ(81, rc.bottom);
        struct Pick {
            UINT message;
            WPARAM flags;
            int px, py;
            int x, y;
        };
        const Pick picks[] = {
            {WM_LBUTTONDOWN, MK_LBUTTON, 81, 40, 127, 129},
            {WM_LBUTTONDOWN, MK_LBUTTON, 0, 0, 0, 255},
            {WM_LBUTTONDOWN, MK_LBUTTON, 161, 80, 253, 3},
            {WM_MOUSEMOVE, MK_LBUTTON, 81, 40, 127, 129},
            {WM_MOUSEMOVE, MK_LBUTTON, 20, 70, 31, 34},
            // Without the button a move changes nothing.
            {WM_MOUSEMOVE, 0, 100, 10, 31, 34},
        };
        for (const Pick& p : picks) {
            dialog.renders = 0;
            FieldMouse(field, p.message, p.flags, p.px, p.py);
            const std::string step = "at " + std::to_string(p.px) + "," + std::to_string(p.py);
            ExpectPosition(d, dialog, p.x, p.y, step.c_str());
            EXPECT_EQ(p.flags ? 1 : 0, dialog.renders) << step;
            EXPECT_EQ(MarkerXFor(p.x, 162), dialog.Field().MarkerX()) << step;
            EXPECT_EQ(MarkerYFor(p.y, 81), dialog.Field().MarkerY()) << step;
        }
        FieldMouse(field, WM_LBUTTONUP, 0, 20, 70);
        // With Preview unchecked a pick renders nothing.
        Click(GetDlgItem(d, IDC_PREVIEW_CHECK));
        dialog.renders = 0;
        FieldMouse(field, WM_LBUTTONDOWN, MK_LBUTTON, 81, 40);
        EXPECT_EQ(0, dialog.renders);
        ExpectPosition(d, dialog, 127, 129, "unchecked pick");

        // Degenerate sizes: no division by zero, and an empty field picks nothing.
        SizeField(field, 0, 0);
        FieldMouse(field, WM_LBUTTONDOWN, MK_LBUTTON, 0, 0);
        ExpectPosition(d, dialog, 127, 129, "empty field");
        SizeField(field, 5, 1);
        FieldMouse(field, WM_LBUTTONDOWN, MK_LBUTTON, 0, 0);
        ExpectPosition(d, dialog, 0, 255, "one row");
        FieldMouse(field, WM_LBUTTONDOWN, MK_LBUTTON, 4, 0);
        ExpectPosition(d, dialog, 204, 255, "one row, right end");
    });
}

TEST(ColorizeDialog, ColourFieldShowsTheSpectrumAndMovesItsMarker) {
    RunProbe(nullptr, [&](HWND d, ProbeDialog& dialog) {
        HWND field = dialog.Field().Window();
        ASSERT_TRUE(SizeField(field, 162, 81));
        FieldMouse(field, WM_LBUTTONDOWN, MK_LBUTTON, 81, 40);  // marker at 80, 40
        int w, h;
        std::vector<uint32_t> screen = Capture(field, w, h);
        ASSERT_EQ(162, w);
        ASSERT_EQ(81, h);
        int black = 0;
        for (int row = 37; row < 43; ++row)
            for (int col = 77; col < 83; ++col) black += screen[col + row * w] == 0;
        EXPECT_GT(black, 0) << "no marker pixel around 80, 40";

        SetDlgItemTextA(d, IDC_X_EDIT, "0");
        SetDlgItemTextA(d, IDC_Y_EDIT, "255");  // marker back at 0, 0
        screen = Capture(field, w, h);
        int wrong = 0;
        for (int row = 0; row < h; ++row) {
            for (int col = 0; col < w; ++col) {
                if (col < 3 && row < 3) continue;  // the visible quarter of the marker
                const SpectrumRgb c = SpectrumPixel(col, row, w, h);
                const uint32_t expected = uint32_t(c.red) << 16 | c.green << 8 | c.blue;
                if (screen[col + row * w] != expected && wrong++ < 5) {
                    ADD_FAILURE() << "field pixel " << col << "," << row << ": expected " << std::hex << expected
                                  << " got " << screen[col + row * w];
                }
            }
        }
        EXPECT_EQ(0, wrong);
        EXPECT_EQ(0u, screen[2 + 0 * w] & 0xFFFFFF) << "marker quarter at the corner";
    });
}

// Compares the image part the preview shows against the tint (or the plain
// pixels) composited over the checkerboard. Returns the number of mismatches.
int ComparePreview(HWND previewWindow, const Image& image, int scrollX, int scrollY, bool tinted, int x, int y,
                   const char* step) {
    int w, h;
    const std::vector<uint32_t> screen = Capture(previewWindow, w, h);
    const bool fitsX = w >= image.width, fitsY = h >= image.height;
    const int dx = fitsX ? (w - image.width) / 2 : 0, dy = fitsY ? (h - image.height) / 2 : 0;
    const int sx = fitsX ? 0 : scrollX, sy = fitsY ? 0 : scrollY;
    const int cols = fitsX ? image.width : w, rows = fitsY ? image.height : h;
    int wrong = 0;
    for (int i = 0; i < rows; ++i) {
        for (int j = 0; j < cols; ++j) {
            const uint32_t expected =
                PreviewWord(image.pixels[(sx + j) + (sy + i) * image.width], dx + j, dy + i, tinted, x, y);
            const uint32_t actual = screen[(dx + j) + (dy + i) * w];
            if (actual != expected && wrong++ < 5) {
                ADD_FAILURE() << step << ": pixel " << j << "," << i << " expected " << std::hex << expected
                              << " got " << actual;
            }
        }
    }
    return wrong;
}

TEST(ColorizeDialog, PreviewShowsTheTintAndFollowsTheCheckBox) {
    const Image image = TestImage(40, 30);
    RunProbe(nullptr, [&](HWND d, ProbeDialog& dialog) {
        HWND previewWindow = GetDlgItem(d, IDC_PREVIEW);
        auto compare = [&](bool tinted, int x, int y, const char* step) {
            EXPECT_EQ(0, ComparePreview(previewWindow, image, 0, 0, tinted, x, y, step)) << step;
        };
        compare(true, 0, 255, "opened");
        SetDlgItemTextA(d, IDC_X_EDIT, "64");
        SetDlgItemTextA(d, IDC_Y_EDIT, "128");
        compare(true, 64, 128, "X 64, Y 128");
        dialog.renders = 0;
        Click(GetDlgItem(d, IDC_PREVIEW_CHECK));
        EXPECT_FALSE(PreviewChecked(d));
        EXPECT_EQ(1, dialog.renders);
        compare(false, 0, 0, "unchecked");
        // Unchecked, a change renders nothing and leaves the plain image.
        dialog.renders = 0;
        SetDlgItemTextA(d, IDC_X_EDIT, "200");
        EXPECT_EQ(0, dialog.renders);
        compare(false, 0, 0, "unchecked, X 200");
        Click(GetDlgItem(d, IDC_PREVIEW_CHECK));
        compare(true, 200, 128, "checked again");
    }, image);
}

TEST(ColorizeDialog, PannedPreviewTintsTheVisiblePart) {
    const Image image = TestImage(400, 300);
    RunProbe("[HueTint]\r\nx=170\r\ny=200\r\n", [&](HWND d, ProbeDialog& dialog) {
        HWND previewWindow = GetDlgItem(d, IDC_PREVIEW);
        EXPECT_EQ(0, ComparePreview(previewWindow, image, 0, 0, true, 170, 200, "unpanned"));
        // Drag the image 30 left and 20 up.
        SendMessageA(previewWindow, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(60, 50));
        SendMessageA(previewWindow, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(30, 30));
        SendMessageA(previewWindow, WM_LBUTTONUP, 0, MAKELPARAM(30, 30));
        EXPECT_EQ(30, dialog.Preview().ScrollX());
        EXPECT_EQ(20, dialog.Preview().ScrollY());
        EXPECT_EQ(0, ComparePreview(previewWindow, image, 30, 20, true, 170, 200, "panned"));
        SetDlgItemTextA(d, IDC_Y_EDIT, "90");
        EXPECT_EQ(0, ComparePreview(previewWindow, image, 30, 20, true, 170, 90, "panned, Y 90"));
    }, image);
}

TEST(ColorizeBehaviour, WriteItemIntToIniWritesOnlyIntegerTexts) {
    const std::wstring ini(gIni.begin(), gIni.end());  // a temporary folder: ASCII
    RunProbe(nullptr, [&](HWND d, ProbeDialog&) {
        SetDlgItemTextA(d, IDC_X_EDIT, "77");
        EXPECT_EQ(1, WriteItemIntToIni(d, L"Probe", L"x", IDC_X_EDIT, ini.c_str()));
        EXPECT_EQ(0, WriteItemIntToIni(d, L"Probe", L"label", IDC_GUIDE_LABEL, ini.c_str()));
        EXPECT_EQ(1, WriteItemIntToIni(d, L"Probe", L"nowhere", IDC_X_EDIT, nullptr));
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, gIni.c_str());
    });
    EXPECT_EQ(77, IniInt("Probe", "x"));
    EXPECT_EQ("<missing>", IniString("Probe", "label"));
    EXPECT_EQ("<missing>", IniString("Probe", "nowhere"));
    RemoveIni();
}

// --- through the plug-in's exports, as the host runs it -------------------------

// Set-up of filter 0 over a small image, with script run inside its loop.
int HostSetup(const std::function<void(HWND)>& script, int endWith, const PluginLibrary& plugin = *gPlugin) {
    static Image image = TestImage(40, 30);
    return Drive(script, [&] { return plugin.Setup(0, nullptr, image.pixels.data(), image.width, image.height); },
                 endWith);
}

const auto kNothing = [](HWND) {};

// The guide colour of position x, y.
GuideColor Guide(int x, int y) {
    GuideColor guide;
    HueSatToRgb(x, y, &guide.red, &guide.green, &guide.blue);
    return guide;
}

// The run that follows, through the exports of plugin: "" when it tints
// with guide.
std::string RunTintsWith(const PluginLibrary& plugin, GuideColor guide) {
    uint32_t source[2] = {0xFFFFFFFF, 0x80646496}, destination[2] = {0, 0};
    FilterRect rect = {0, 0, 2, 1};
    plugin.Execute(0, source, destination, &rect, 2, nullptr, nullptr);
    const TintGuide tint = PrepareTint(guide);
    std::string wrong;
    for (int i = 0; i < 2; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "pixel %d: expected %08X actual %08X (guide R:%u G:%u B:%u); ", i,
                      TintWord(source[i], tint), destination[i], guide.red, guide.green, guide.blue);
        if (destination[i] != TintWord(source[i], tint)) wrong += line;
    }
    return wrong;
}

// The keys of kForeignIni as the profile functions read them.
std::string IniKeys() {
    return "x=" + IniString("HueTint", "x") + " y=" + IniString("HueTint", "y") + " preview=" +
           IniString("HueTint", "preview") + " extra=" + IniString("HueTint", "extra") +
           " keep=" + IniString("Other", "keep") + " z=" + IniString("Last", "z");
}

const char kForeignIni[] =
    "[Other]\r\nkeep=1\r\n\r\n[HueTint]\r\nextra=zz\r\nx=10\r\ny=20\r\npreview=1\r\n\r\n[Last]\r\nz=3\r\n";

TEST(ColorizeBehaviour, CancelEscapeAndCloseWriteNothing) {
    auto change = [](HWND d) {
        SetDlgItemTextA(d, IDC_X_EDIT, "64");
        SetDlgItemTextA(d, IDC_Y_EDIT, "128");
        Click(GetDlgItem(d, IDC_PREVIEW_CHECK));
    };
    const struct {
        const char* how;
        const char* ini;  // null: no file
        void (*close)(HWND);
        int endWith;
    } closes[] = {
        {"Cancel", kForeignIni, kNothing, IDCANCEL},
        {"Escape", kForeignIni,
         [](HWND d) {
             Key(d, VK_ESCAPE);
             SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
         },
         0},
        {"close box", kForeignIni, [](HWND d) { SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }, 0},
        {"Cancel without a file", nullptr, kNothing, IDCANCEL},
    };
    for (const auto& c : closes) {
        SCOPED_TRACE(c.how);
        if (c.ini) {
            WriteIni(c.ini);
        } else {
            RemoveIni();
        }
        const std::string before = ReadIni();
        EXPECT_EQ(0, HostSetup(
                         [&](HWND d) {
                             change(d);
                             c.close(d);
                         },
                         c.endWith));
        EXPECT_EQ(before, ReadIni());
        EXPECT_EQ(c.ini != nullptr, IniExists());
    }
}

TEST(ColorizeBehaviour, OkStoresOwnKeysAndKeepsTheRest) {
    WriteIni(kForeignIni);
    EXPECT_EQ(1, HostSetup(
                     [](HWND d) {
                         ExpectShown(d, "10", "20", true);
                         SetDlgItemTextA(d, IDC_X_EDIT, "64");
                         SetDlgItemTextA(d, IDC_Y_EDIT, "128");
                         Click(GetDlgItem(d, IDC_PREVIEW_CHECK));
                         EXPECT_EQ("R:191 G:255 B:127", ItemText(d, IDC_GUIDE_LABEL));
                     },
                     IDOK));
    EXPECT_EQ("x=64 y=128 preview=0 extra=zz keep=1 z=3", IniKeys());
    TintSettings settings;
    ReadTintSettings(settings);
    EXPECT_EQ(191, settings.red);
    EXPECT_EQ(255, settings.green);
    EXPECT_EQ(127, settings.blue);
    EXPECT_EQ(0, settings.preview);
    // The next run tints with the stored position.
    EXPECT_EQ("", RunTintsWith(*gPlugin, GuideColor{127, 255, 191}));

    // Reopened, the dialog shows what was stored, Preview unchecked.
    EXPECT_EQ(0, HostSetup(
                     [](HWND d) {
                         ExpectShown(d, "64", "128", false);
                         EXPECT_EQ("R:191 G:255 B:127", ItemText(d, IDC_GUIDE_LABEL));
                     },
                     IDCANCEL));
}

TEST(ColorizeBehaviour, OkWithoutChangesRewritesTheSameBytes) {
    for (const char* ini : {static_cast<const char*>(nullptr), kForeignIni}) {
        SCOPED_TRACE(ini ? "foreign file" : "no file");
        if (ini) {
            WriteIni(ini);
        } else {
            RemoveIni();
        }
        EXPECT_EQ(1, HostSetup(kNothing, IDOK));
        EXPECT_EQ(ini ? 10 : 0, IniInt("HueTint", "x"));
        EXPECT_EQ(ini ? 20 : 255, IniInt("HueTint", "y"));
        EXPECT_EQ(1, IniInt("HueTint", "preview"));
        EXPECT_EQ(ini ? "zz" : "<missing>", IniString("HueTint", "extra"));
        const std::string first = ReadIni();
        EXPECT_EQ(1, HostSetup(kNothing, IDOK));
        EXPECT_EQ(first, ReadIni());
    }
}

TEST(ColorizeBehaviour, EnterPressesOk) {
    RemoveIni();
    EXPECT_EQ(1, HostSetup(
                     [](HWND d) {
                         SetDlgItemTextA(d, IDC_X_EDIT, "33");
                         SendMessageA(d, WM_COMMAND, MAKEWPARAM(IDOK, 1), 0);  // not BN_CLICKED
                     },
                     0));
    EXPECT_EQ(33, IniInt("HueTint", "x"));
}

// A host timer may call set-up again while the dialog is open: that call
// says no at once, and the open dialog goes on as before.
TEST(ColorizeBehaviour, NestedSetupSaysNoAndLeavesTheOpenDialogAlone) {
    RemoveIni();
    Image image = TestImage(40, 30);
    EXPECT_EQ(1, HostSetup(
                     [&](HWND d) {
                         EXPECT_EQ(0, gPlugin->Setup(0, nullptr, image.pixels.data(), image.width, image.height));
                         SetDlgItemTextA(d, IDC_X_EDIT, "64");
                         SetDlgItemTextA(d, IDC_Y_EDIT, "128");
                         EXPECT_EQ("R:191 G:255 B:127", ItemText(d, IDC_GUIDE_LABEL));
                     },
                     IDOK));
    EXPECT_EQ(64, IniInt("HueTint", "x"));
    EXPECT_EQ(128, IniInt("HueTint", "y"));
}

// X 64, Y 128 and the preview off, whatever the dialog opened with (a
// choice an earlier test left held in this process included).
void Choose64x128(HWND d) {
    SetDlgItemTextA(d, IDC_X_EDIT, "64");
    SetDlgItemTextA(d, IDC_Y_EDIT, "128");
    if (PreviewChecked(d)) Click(GetDlgItem(d, IDC_PREVIEW_CHECK));
}

// OK that cannot store: Setup still returns 1 and a message box owned by the
// dialog, in its language, names the file and says why; the file keeps the
// earlier position (a later key that fails puts the earlier ones back); runs
// and set-ups of this process use the chosen one until an OK stores.
TEST(ColorizeDialog, OkThatCannotStoreHoldsTheChoiceAndSaysSo) {
    ImportFaults faults;
    std::string error;
    ASSERT_TRUE(faults.Install(gPlugin->Module(), &error)) << error;
    const int write = FindFailableImport("WritePrivateProfileStringW");
    struct Case {
        const char* what;
        std::function<void()> arrange;
        const char* file;  // the box names it
    };
    const Case cases[] = {
        {"a folder in the file's place",
         [] {
             RemoveIni();
             CreateDirectoryA(gIni.c_str(), nullptr);
         },
         gIni.c_str()},
        {"the first write fails", [&] { faults.FailCallOf(write, 1); }, gIni.c_str()},
        {"the second write fails", [&] { faults.FailCallOf(write, 2); }, gIni.c_str()},
        {"the third write fails", [&] { faults.FailCallOf(write, 3); }, gIni.c_str()},
        {"GetModuleFileNameW fails",
         [&] { faults.FailFunctions({FindFailableImport("GetModuleFileNameW")}); },
         "qvfilters.ini"},
    };
    const bool japanese = DialogBase::TemplateIdForLanguage() == IDD_COLORIZE_JA;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteIni(kForeignIni);
        c.arrange();
        EXPECT_EQ(1, HostSetup(Choose64x128, IDOK));
        faults.PassAll();
        EXPECT_EQ(1, gLastRun.messageBoxes);
        EXPECT_EQ(japanese ? "単色効果" : "Colorize", gLastRun.boxTitle);
        const std::string text = gLastRun.message;
        EXPECT_NE(std::string::npos, text.find(c.file)) << text;
        EXPECT_NE(std::string::npos, text.find(japanese ? "X 64\xE3\x80\x81Y 128" : "X 64, Y 128")) << text;
        // The earlier position and everything else, as the profile functions
        // read it (they may have rewritten the file in their own layout).
        if (GetFileAttributesA(gIni.c_str()) != FILE_ATTRIBUTE_DIRECTORY) {
            EXPECT_EQ("x=10 y=20 preview=1 extra=zz keep=1 z=3", IniKeys());
        }
        EXPECT_EQ("", RunTintsWith(*gPlugin, Guide(64, 128)));
        EXPECT_EQ(0, HostSetup([](HWND d) { ExpectShown(d, "64", "128", false); }, IDCANCEL));
        // Once OK stores, the file counts again.
        RemoveDirectoryA(gIni.c_str());
        WriteIni(kForeignIni);
        EXPECT_EQ(1, HostSetup(kNothing, IDOK));
        EXPECT_EQ(0, gLastRun.messageBoxes);
        EXPECT_EQ(64, IniInt("HueTint", "x"));
        EXPECT_EQ(128, IniInt("HueTint", "y"));
        EXPECT_EQ("zz", IniString("HueTint", "extra"));
        WriteIni(kForeignIni);
        EXPECT_EQ("", RunTintsWith(*gPlugin, Guide(10, 20)));
    }
    RemoveIni();
}

// A plug-in path that fits where the settings file's does not: nothing is
// written anywhere, not even to the system's win.ini, and OK says so.
TEST(ColorizeBehaviour, OkWritesNothingWhenTheSettingsPathDoesNotFit) {
    TempFolder temp;
    const std::string folder = temp.MakeDeepFolder(MAX_PATH - 1 - 8);
    ASSERT_FALSE(folder.empty());
    const std::string dll = temp.CopyPluginTo(folder, "q.ppi");
    ASSERT_LT(dll.size(), static_cast<size_t>(MAX_PATH));
    ASSERT_GE(folder.size() + sizeof "\\qvfilters.ini", static_cast<size_t>(MAX_PATH));
    {
        const PluginLibrary plugin(WidePath(dll));
        EXPECT_EQ(1, HostSetup(
                         [](HWND d) {
                             EXPECT_EQ("0", ItemText(d, IDC_X_EDIT));
                             SetDlgItemTextA(d, IDC_X_EDIT, "64");
                         },
                         IDOK, plugin));
        EXPECT_EQ(1, gLastRun.messageBoxes);
        EXPECT_EQ("", RunTintsWith(plugin, Guide(64, 255)));
    }
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((LongPathW(folder) + L"\\*.ini*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, find);
    if (find != INVALID_HANDLE_VALUE) FindClose(find);
    char text[16];
    GetProfileStringA("HueTint", nullptr, "", text, sizeof text);
    EXPECT_STREQ("", text) << "keys in win.ini";
}

// Every allocation of the plug-in failing from the start of set-up: the
// preview paints error 3, the rest of the dialog works, OK stores, and the
// run tints. The runtime's own nothrow new would abort the host here.
TEST(ColorizeBehaviour, EveryAllocationFailing) {
    ImportFaults faults;
    std::string error;
    ASSERT_TRUE(faults.Install(gPlugin->Module(), &error)) << error;
    std::vector<int> allocations;
    for (const char* name : {"malloc", "calloc", "realloc", "HeapAlloc", "HeapReAlloc", "LocalAlloc", "GlobalAlloc",
                             "VirtualAlloc"})
        allocations.push_back(FindFailableImport(name));
    RemoveIni();
    faults.FailFunctions(allocations);
    EXPECT_EQ(1, HostSetup(
                     [](HWND d) {
                         EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_PREVIEW)));
                         Choose64x128(d);
                         EXPECT_EQ("R:191 G:255 B:127", ItemText(d, IDC_GUIDE_LABEL));
                     },
                     IDOK));
    EXPECT_LT(0, faults.Failures()) << "no allocation was tried";
    EXPECT_EQ("", RunTintsWith(*gPlugin, Guide(64, 128)));
    faults.PassAll();
    EXPECT_EQ(0, gLastRun.messageBoxes);
    EXPECT_EQ(64, IniInt("HueTint", "x"));
    EXPECT_EQ(128, IniInt("HueTint", "y"));
    RemoveIni();
}

}  // namespace
