// The preview as it reaches the screen: pixels read back from the window
// surface, panning driven by mouse messages sent to the control.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "ProbeDialog.h"
#include "plugin/FilterModule.h"
#include "resource.h"

namespace {

constexpr int kW = 160;  // the preview's client size in most tests
constexpr int kH = 120;

uint32_t Argb(int a, int r, int g, int b) {
    return static_cast<uint32_t>(a) << 24 | static_cast<uint32_t>(r) << 16 | static_cast<uint32_t>(g) << 8 |
           static_cast<uint32_t>(b);
}

HCURSOR ModuleCursor(int id) { return LoadCursorA(FilterModule::Instance(), MAKEINTRESOURCEA(id)); }

std::vector<uint32_t> Flat(int width, int height, uint32_t argb) {
    return MakeImage(width, height, [=](int, int) { return argb; });
}

// Runs the dialog over image; step gets the preview once it has painted.
void RunPainted(ProbeDialog& dialog, const std::vector<uint32_t>& image, int width, int height,
                const std::function<void(HWND preview)>& step) {
    dialog.Run(image, width, height,
               {[&](HWND) { Repaint(dialog.PreviewWindow()); }, [&](HWND) { step(dialog.PreviewWindow()); }});
}

// Where the last render put the image: dx, dy, sx, sy, width, height.
std::vector<int> LastRender(const ProbeDialog& dialog) {
    if (dialog.renders.empty()) return {};
    const RenderCall& r = dialog.renders.back();
    return {r.dx, r.dy, r.sx, r.sy, r.w, r.h};
}

constexpr COLORREF kNone = 0;  // no pixel checked

struct PixelCase {
    int x, y;
    uint32_t argb;      // the image pixel there
    COLORREF expected;  // on the screen
    const char* what;
};

// An image as large as the control: drawn at (0, 0), pixel for pixel.
TEST(PreviewControl, CompositesOverCheckerboard) {
    const PixelCase cases[] = {
        {0, 0, Argb(0, 9, 9, 9), RGB(255, 255, 255), "alpha 0, white square"},
        {7, 7, Argb(0, 0, 0, 0), RGB(255, 255, 255), "alpha 0, white square corner"},
        {8, 0, Argb(0, 0, 0, 0), RGB(192, 192, 192), "alpha 0, grey square"},
        {0, 8, Argb(0, 0, 0, 0), RGB(192, 192, 192), "alpha 0, grey square below"},
        {8, 8, Argb(0, 0, 0, 0), RGB(255, 255, 255), "alpha 0, white diagonal"},
        {16, 0, Argb(0, 0, 0, 0), RGB(255, 255, 255), "alpha 0, white at 16"},
        {159, 119, Argb(0, 0, 0, 0), RGB(192, 192, 192), "alpha 0, last pixel, grey"},
        {159, 111, Argb(0, 0, 0, 0), RGB(255, 255, 255), "alpha 0, last column, white"},
        {2, 2, Argb(128, 0, 0, 0), RGB(127, 127, 127), "black 128 over white"},
        {9, 1, Argb(128, 0, 0, 0), RGB(95, 95, 95), "black 128 over grey"},
        {10, 1, Argb(128, 255, 255, 255), RGB(223, 223, 223), "white 128 over grey"},
        {20, 20, Argb(128, 200, 100, 0), RGB(227, 177, 127), "colour 128 over white"},
        {3, 3, Argb(255, 0x56, 0x34, 0x12), RGB(0x56, 0x34, 0x12), "opaque"},
        {12, 4, Argb(255, 1, 2, 3), RGB(1, 2, 3), "opaque over grey"},
    };
    std::vector<uint32_t> image(kW * kH, Argb(0, 0, 0, 0));
    for (const PixelCase& c : cases) image[c.y * kW + c.x] = c.argb;

    ProbeDialog dialog(IDD_COLORIZE_EN, kW, kH);
    std::vector<COLORREF> seen;
    RunPainted(dialog, image, kW, kH, [&](HWND w) {
        for (const PixelCase& c : cases) seen.push_back(ScreenPixel(w, c.x, c.y));
    });
    ASSERT_EQ(kW, dialog.Preview().Width());
    ASSERT_EQ(kH, dialog.Preview().Height());
    ASSERT_EQ(std::size(cases), seen.size());
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(Hex(cases[i].expected), Hex(seen[i])) << cases[i].what << " at " << cases[i].x << "," << cases[i].y;
    EXPECT_EQ((std::vector<int>{0, 0, 0, 0, kW, kH}), LastRender(dialog));
    EXPECT_EQ(0, dialog.Preview().Error());
}

struct Spot {
    int x, y;
    bool image;  // image pixel, else the window colour
};

// A 100x50 image in a 160x120 control: top-left at (30, 35), margins in the
// window colour.
TEST(PreviewControl, CentresAnImageThatFits) {
    const COLORREF kImage = RGB(200, 40, 90);
    auto image = Flat(100, 50, Argb(255, 200, 40, 90));
    const Spot spots[] = {
        {30, 35, true}, {129, 35, true}, {30, 84, true}, {129, 84, true}, {80, 60, true},
        {29, 35, false}, {30, 34, false}, {130, 35, false}, {129, 85, false}, {0, 0, false},
        {159, 119, false}, {80, 10, false}, {80, 110, false}, {10, 60, false}, {150, 60, false},
    };
    ProbeDialog dialog(IDD_COLORIZE_EN, kW, kH);
    std::vector<COLORREF> seen;
    RunPainted(dialog, image, 100, 50, [&](HWND w) {
        for (const Spot& s : spots) seen.push_back(ScreenPixel(w, s.x, s.y));
    });
    ASSERT_EQ(std::size(spots), seen.size());
    for (size_t i = 0; i < seen.size(); ++i)
        EXPECT_EQ(Hex(spots[i].image ? kImage : WindowColor()), Hex(seen[i]))
            << "at " << spots[i].x << "," << spots[i].y;
    EXPECT_EQ((std::vector<int>{30, 35, 0, 0, 100, 50}), LastRender(dialog));
}

// Item 1005 as the templates size it, in the font each one names.
TEST(PreviewControl, CentresInBothTemplates) {
    for (int id : {IDD_COLORIZE_EN, IDD_COLORIZE_JA}) {
        const int iw = 37, ih = 23;
        auto image = Flat(iw, ih, Argb(255, 10, 200, 30));
        ProbeDialog dialog(id);
        RECT client = {0, 0, 0, 0};
        COLORREF first = 0, before = 0, last = 0, after = 0;
        RunPainted(dialog, image, iw, ih, [&](HWND w) {
            GetClientRect(w, &client);
            int x0 = (client.right - iw) / 2, y0 = (client.bottom - ih) / 2;
            first = ScreenPixel(w, x0, y0);
            before = ScreenPixel(w, x0 - 1, y0);
            last = ScreenPixel(w, x0 + iw - 1, y0 + ih - 1);
            after = ScreenPixel(w, x0 + iw - 1, y0 + ih);
        });
        std::printf("template %d: preview client %ldx%ld\n", id, client.right, client.bottom);
        EXPECT_EQ(client.right, dialog.Preview().Width()) << id;
        EXPECT_EQ(client.bottom, dialog.Preview().Height()) << id;
        EXPECT_GT(client.right, iw);
        EXPECT_EQ(Hex(RGB(10, 200, 30)), Hex(first)) << id;
        EXPECT_EQ(Hex(RGB(10, 200, 30)), Hex(last)) << id;
        EXPECT_EQ(Hex(WindowColor()), Hex(before)) << id;
        EXPECT_EQ(Hex(WindowColor()), Hex(after)) << id;
    }
}


// Image pixel colours that name their position: red x & 255, green x >> 8,
// blue y & 255.
uint32_t Position(int x, int y) { return Argb(255, x & 255, x >> 8, y & 255); }
COLORREF PositionColor(int x, int y) { return RGB(x & 255, x >> 8, y & 255); }

enum CursorShown { kUnchanged, kOpenHand, kGrabbingHand };

struct DragStep {
    UINT message;  // 0: the capture is taken away (another window grabbed it)
    WPARAM keys;
    int x, y;
    int scrollX, scrollY;  // afterwards
    bool renders;          // the step renders the preview anew
    bool captured;         // the control holds the capture afterwards
    CursorShown cursor;
    int probeX, probeY;    // a screen pixel to check (probeX < 0: none) ...
    COLORREF probe;        // ... and its colour
};

void RunDrag(int imageW, int imageH, const std::vector<DragStep>& steps) {
    auto image = MakeImage(imageW, imageH, Position);
    ProbeDialog dialog(IDD_COLORIZE_EN, kW, kH);
    HCURSOR arrow = LoadCursor(nullptr, IDC_ARROW);
    struct Seen {
        int scrollX, scrollY;
        size_t renders;
        bool captured;
        HCURSOR cursor;
        COLORREF probe;
    };
    std::vector<Seen> seen;
    RunPainted(dialog, image, imageW, imageH, [&](HWND w) {
        SetCursor(arrow);
        for (const DragStep& s : steps) {
            size_t before = dialog.renders.size();
            if (s.message)
                SendMouse(w, s.message, s.keys, s.x, s.y);
            else
                ReleaseCapture();
            seen.push_back({dialog.Preview().ScrollX(), dialog.Preview().ScrollY(), dialog.renders.size() - before,
                            GetCapture() == w, GetCursor(), s.probeX >= 0 ? ScreenPixel(w, s.probeX, s.probeY) : 0});
        }
        ReleaseCapture();
    });
    ASSERT_EQ(steps.size(), seen.size());
    for (size_t i = 0; i < steps.size(); ++i) {
        const DragStep& s = steps[i];
        const Seen& got = seen[i];
        SCOPED_TRACE(testing::Message() << "step " << i + 1 << " (message 0x" << std::hex << s.message << std::dec
                                        << " at " << s.x << "," << s.y << ")");
        EXPECT_EQ(s.scrollX, got.scrollX);
        EXPECT_EQ(s.scrollY, got.scrollY);
        EXPECT_EQ(s.renders ? 1u : 0u, got.renders);
        EXPECT_EQ(s.captured, got.captured);
        HCURSOR expected = s.cursor == kOpenHand ? ModuleCursor(IDC_HAND_OPEN)
                           : s.cursor == kGrabbingHand ? ModuleCursor(IDC_HAND_GRAB) : arrow;
        EXPECT_EQ(expected, got.cursor);
        if (s.probeX >= 0) {
            EXPECT_EQ(Hex(s.probe), Hex(got.probe)) << "pixel " << s.probeX << "," << s.probeY;
        }
    }
    EXPECT_EQ(0, dialog.Preview().Error());
    // The static still sees the clicks: with SS_NOTIFY it tells the dialog.
    bool clicked = false;
    for (const CommandCall& c : dialog.commands) clicked |= c.id == IDC_PREVIEW && c.code == STN_CLICKED;
    EXPECT_TRUE(clicked);
}

TEST(PreviewControl, PansAnImageLargerBothWays) {
    RunDrag(400, 300, {
        {WM_LBUTTONDOWN, MK_LBUTTON, 100, 100, 0, 0, false, true, kGrabbingHand, 0, 0, PositionColor(0, 0)},
        {WM_MOUSEMOVE, MK_LBUTTON, 90, 95, 10, 5, true, true, kGrabbingHand, 0, 0, PositionColor(10, 5)},
        {WM_MOUSEMOVE, MK_LBUTTON, 90, 95, 10, 5, false, true, kGrabbingHand, 159, 119, PositionColor(169, 124)},
        {WM_MOUSEMOVE, MK_LBUTTON, 95, 120, 5, 0, true, true, kGrabbingHand, 0, 0, PositionColor(5, 0)},
        {WM_MOUSEMOVE, MK_LBUTTON, 110, 130, 0, 0, true, true, kGrabbingHand, 0, 0, PositionColor(0, 0)},
        {WM_MOUSEMOVE, MK_LBUTTON, 120, 140, 0, 0, false, true, kGrabbingHand, -1, 0, kNone},
        {WM_MOUSEMOVE, MK_LBUTTON, -1000, -1000, 240, 180, true, true, kGrabbingHand, 159, 119,
         PositionColor(399, 299)},
        {WM_MOUSEMOVE, MK_LBUTTON, -1001, -1000, 240, 180, false, true, kGrabbingHand, 0, 0,
         PositionColor(240, 180)},
        {WM_LBUTTONUP, 0, -1001, -1000, 240, 180, false, false, kGrabbingHand, -1, 0, kNone},
        {WM_MOUSEMOVE, 0, 50, 50, 240, 180, false, false, kOpenHand, -1, 0, kNone},
        // A capture lost to someone else ends the drag as well.
        {WM_LBUTTONDOWN, MK_LBUTTON, 50, 50, 240, 180, false, true, kGrabbingHand, -1, 0, kNone},
        {0, 0, 0, 0, 240, 180, false, false, kGrabbingHand, -1, 0, kNone},
        {WM_MOUSEMOVE, MK_LBUTTON, 70, 70, 240, 180, false, false, kOpenHand, 0, 0, PositionColor(240, 180)},
    });
}

// Wider than the control but not taller: horizontal panning only, the image
// stays centred vertically (rows 35 to 84). The vertical scroll value goes to
// 50 - 120 on each step, and each paint puts it back to 0, so every drag step
// renders anew.
TEST(PreviewControl, PansAWideImageHorizontally) {
    RunDrag(400, 50, {
        {WM_LBUTTONDOWN, MK_LBUTTON, 100, 60, 0, 0, false, true, kGrabbingHand, 0, 35, PositionColor(0, 0)},
        {WM_MOUSEMOVE, MK_LBUTTON, 90, 60, 10, 0, true, true, kGrabbingHand, 0, 35, PositionColor(10, 0)},
        {WM_MOUSEMOVE, MK_LBUTTON, 90, 60, 10, 0, true, true, kGrabbingHand, 0, 34, WindowColor()},
        {WM_MOUSEMOVE, MK_LBUTTON, 90, 80, 10, 0, true, true, kGrabbingHand, 5, 84, PositionColor(15, 49)},
        {WM_MOUSEMOVE, MK_LBUTTON, 120, 80, 0, 0, true, true, kGrabbingHand, 0, 35, PositionColor(0, 0)},
        {WM_MOUSEMOVE, MK_LBUTTON, -900, 80, 240, 0, true, true, kGrabbingHand, 159, 35, PositionColor(399, 0)},
        {WM_MOUSEMOVE, MK_LBUTTON, -950, 80, 240, 0, true, true, kGrabbingHand, 159, 85, WindowColor()},
        {WM_LBUTTONUP, 0, -950, 80, 240, 0, false, false, kGrabbingHand, -1, 0, kNone},
        {WM_MOUSEMOVE, 0, 10, 60, 240, 0, false, false, kOpenHand, 0, 35, PositionColor(240, 0)},
    });
}

// An image as large as the control fits both ways: clicking and dragging do
// nothing, the mouse is not captured and the cursor never changes.
TEST(PreviewControl, AnImageThatFitsDoesNotPan) {
    RunDrag(kW, kH, {
        {WM_MOUSEMOVE, 0, 10, 10, 0, 0, false, false, kUnchanged, -1, 0, kNone},
        {WM_LBUTTONDOWN, MK_LBUTTON, 100, 60, 0, 0, false, false, kUnchanged, 0, 0, PositionColor(0, 0)},
        {WM_MOUSEMOVE, MK_LBUTTON, 10, 10, 0, 0, false, false, kUnchanged, 0, 0, PositionColor(0, 0)},
        {WM_LBUTTONUP, 0, 10, 10, 0, 0, false, false, kUnchanged, -1, 0, kNone},
        {WM_MOUSEMOVE, 0, 30, 10, 0, 0, false, false, kUnchanged, -1, 0, kNone},
    });
}

int DarkPixels(HWND window, int top, int bottom) {
    RECT client;
    GetClientRect(window, &client);
    HDC hdc = GetDC(window);
    int dark = 0;
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < client.right; ++x) {
            COLORREF c = GetPixel(hdc, x, y);
            if (GetRValue(c) < 64 && GetGValue(c) < 64 && GetBValue(c) < 64) ++dark;
        }
    ReleaseDC(window, hdc);
    return dark;
}

// An owner that writes past the buffer: error 6 disables the control, that
// paint shows nothing new, and every later paint draws the error text over
// what is there.
TEST(PreviewControl, WritingPastTheBufferShowsError6) {
    auto image = Flat(kW, kH, Argb(255, 128, 128, 128));
    ProbeDialog dialog(IDD_COLORIZE_EN, kW, kH);
    struct {
        int darkBefore = -1, darkAfterFailingPaint = -1, darkText = -1, darkTextLower = -1;
        int error = -1;
        BOOL enabled = TRUE;
        COLORREF untouched = 0, failedPaintPixel = 0;
        size_t rendersOfErrorPaints = 99;
    } got;
    RunPainted(dialog, image, kW, kH, [&](HWND w) {
        got.darkBefore = DarkPixels(w, 0, kH);
        dialog.hook = [](PreviewControl& control, const int*, const int*, const int*) {
            const unsigned char black[3] = {0, 0, 0};
            for (int x = 0; x < 40; ++x) control.PutPixel(x, 5, black, 255);
            control.PutPixel(control.Width(), 0, black, 255);
            return true;
        };
        dialog.Preview().Refresh();
        got.error = dialog.Preview().Error();
        got.enabled = IsWindowEnabled(w);
        got.darkAfterFailingPaint = DarkPixels(w, 0, kH);
        got.failedPaintPixel = ScreenPixel(w, 10, 5);
        size_t renders = dialog.renders.size();
        dialog.Preview().Refresh();
        // WM_PAINT without erasing: the text goes over the picture.
        RedrawWindow(w, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
        got.rendersOfErrorPaints = dialog.renders.size() - renders;
        got.darkText = DarkPixels(w, 0, 40);
        got.darkTextLower = DarkPixels(w, 40, kH);
        got.untouched = ScreenPixel(w, 150, 110);
    });
    EXPECT_EQ(0, got.darkBefore);
    EXPECT_EQ(6, got.error);
    EXPECT_FALSE(got.enabled);
    EXPECT_EQ(0, got.darkAfterFailingPaint) << "the failing paint blitted its buffer";
    EXPECT_EQ(Hex(RGB(128, 128, 128)), Hex(got.failedPaintPixel));
    EXPECT_EQ(0u, got.rendersOfErrorPaints) << "an error paint asked the owner for pixels";
    EXPECT_GT(got.darkText, 40) << "no error text in the top two lines";
    EXPECT_EQ(0, got.darkTextLower) << "text below the two lines";
    EXPECT_EQ(Hex(RGB(128, 128, 128)), Hex(got.untouched)) << "the error text erased the picture";
}

// Positions outside the buffer, negative ones included, are refused: error
// 6, the control disabled, and not one buffer word written.
TEST(PreviewControl, PutPixelRefusesPositionsOutsideTheBuffer) {
    const int positions[][2] = {{kW, 0}, {0, kH}, {-1, 1}, {1, -1}, {-1, -1}, {-kW, 2}, {-2147483647 - 1, 0},
                                {0, -2147483647 - 1}, {2147483647, 0}, {kW * 2, kH - 1}};
    for (const auto& p : positions) {
        auto image = Flat(kW, kH, Argb(255, 128, 128, 128));
        ProbeDialog dialog(IDD_COLORIZE_EN, kW, kH);
        std::vector<uint32_t> before, after;
        int error = -1;
        BOOL enabled = TRUE;
        dialog.Run(image, kW, kH,
                   {[&](HWND) {
                       Repaint(dialog.PreviewWindow());
                       const uint32_t* words = dialog.Preview().Pixels();
                       before.assign(words, words + kW * kH);
                       const unsigned char red[3] = {0, 0, 255};
                       dialog.Preview().PutPixel(p[0], p[1], red, 255);
                       after.assign(words, words + kW * kH);
                       error = dialog.Preview().Error();
                       enabled = IsWindowEnabled(dialog.PreviewWindow());
                   }});
        SCOPED_TRACE(testing::Message() << "PutPixel(" << p[0] << ", " << p[1] << ")");
        EXPECT_EQ(6, error);
        EXPECT_FALSE(enabled);
        ASSERT_EQ(size_t(kW * kH), before.size());
        EXPECT_TRUE(before == after);
        EXPECT_EQ(0x808080u, before[kW - 1]);  // where (-1, 1) would land
    }
}

// Suspended painting: neither Refresh nor WM_PAINT asks the owner, but an
// error text is still drawn.
TEST(PreviewControl, SuspendedPaintDrawsOnlyErrors) {
    auto image = Flat(kW, kH, Argb(255, 128, 128, 128));
    ProbeDialog dialog(IDD_COLORIZE_EN, kW, kH);
    size_t rendersWhileSuspended = 99, rendersAfter = 0;
    int darkSuspendedError = -1;
    RunPainted(dialog, image, kW, kH, [&](HWND w) {
        size_t n = dialog.renders.size();
        dialog.Preview().paintSuspended = true;
        dialog.Preview().Refresh();
        Repaint(w);
        rendersWhileSuspended = dialog.renders.size() - n;
        dialog.Preview().paintSuspended = false;
        dialog.Preview().Refresh();
        rendersAfter = dialog.renders.size() - n;
        const unsigned char black[3] = {0, 0, 0};
        dialog.Preview().PutPixel(-1, 0, black, 255);
        dialog.Preview().paintSuspended = true;
        dialog.Preview().Refresh();
        darkSuspendedError = DarkPixels(w, 0, 40);
    });
    EXPECT_EQ(0u, rendersWhileSuspended);
    EXPECT_EQ(1u, rendersAfter);
    EXPECT_GT(darkSuspendedError, 40);
}

// A dialog without the item: error 1, no window, nothing disabled, and a
// refresh has nowhere to draw (it must not reach for the screen's DC).
TEST(PreviewControl, MissingItemIsError1) {
    auto image = Flat(10, 10, Argb(255, 1, 2, 3));
    ProbeDialog dialog(IDD_COLORIZE_EN);
    bool attached = true;
    int error = -1, errorAfterRefresh = -1;
    HWND window = reinterpret_cast<HWND>(1);
    BOOL previewEnabled = FALSE;
    size_t renders = 99;
    dialog.Run(image, 10, 10, {[&](HWND) {
                   PreviewControl other;
                   attached = other.AttachToDialog(dialog, 4242);
                   error = other.Error();
                   window = other.Window();
                   size_t n = dialog.renders.size();
                   other.Refresh();
                   renders = dialog.renders.size() - n;
                   errorAfterRefresh = other.Error();
                   previewEnabled = IsWindowEnabled(dialog.PreviewWindow());
               }});
    EXPECT_FALSE(attached);
    EXPECT_EQ(1, error);
    EXPECT_EQ(nullptr, window);
    EXPECT_EQ(0u, renders);
    EXPECT_EQ(1, errorAfterRefresh);
    EXPECT_TRUE(previewEnabled) << "the dialog's own preview was disabled";
}

}  // namespace
