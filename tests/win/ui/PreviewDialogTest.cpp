// The preview dialog: the Preview box re-renders on every click, and the
// base RenderPreview copies the visible part of the image through PutPixel.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "ProbeDialog.h"
#include "resource.h"
#include "ui/PreviewMath.h"

namespace {

TEST(PreviewDialog, PreviewBoxRefreshesOnEveryClick) {
    auto image = MakeImage(50, 40, [](int x, int y) { return 0xFF000000u | (x * 5) << 16 | (y * 6) << 8 | 77; });
    ProbeDialog dialog(IDD_COLORIZE_EN, 160, 120);
    struct Click {
        bool checked;
        size_t renders;
        COLORREF corner;
    };
    std::vector<Click> clicks;
    bool checkedAtStart = true;
    dialog.Run(image, 50, 40,
               {[&](HWND) { Repaint(dialog.PreviewWindow()); },
                [&](HWND d) {
                    checkedAtStart = dialog.IsPreviewChecked();
                    for (int i = 0; i < 3; ++i) {
                        size_t n = dialog.renders.size();
                        SendMessageA(GetDlgItem(d, IDC_PREVIEW_CHECK), BM_CLICK, 0, 0);
                        // The image is centred at (55, 40); its last pixel is (49, 39).
                        clicks.push_back({dialog.IsPreviewChecked(), dialog.renders.size() - n,
                                          ScreenPixel(dialog.PreviewWindow(), 55 + 49, 40 + 39)});
                    }
                }});
    EXPECT_FALSE(checkedAtStart) << "the templates start unchecked";
    ASSERT_EQ(3u, clicks.size());
    const bool expectChecked[] = {true, false, true};
    for (size_t i = 0; i < clicks.size(); ++i) {
        EXPECT_EQ(expectChecked[i], clicks[i].checked) << "click " << i + 1;
        EXPECT_EQ(1u, clicks[i].renders) << "click " << i + 1;
        EXPECT_EQ(Hex(RGB(245, 234, 77)), Hex(clicks[i].corner)) << "click " << i + 1;
    }
}

TEST(PreviewDialog, IsPreviewCheckedIsFalseWithoutTheBox) {
    auto image = MakeImage(10, 10, [](int, int) { return 0xFF000000u; });
    ProbeDialog dialog(IDD_COLORIZE_EN);
    bool checked = false, afterDestroy = true;
    dialog.Run(image, 10, 10, {[&](HWND d) {
                   CheckDlgButton(d, IDC_PREVIEW_CHECK, BST_CHECKED);
                   checked = dialog.IsPreviewChecked();
                   DestroyWindow(GetDlgItem(d, IDC_PREVIEW_CHECK));
                   afterDestroy = dialog.IsPreviewChecked();
               }});
    EXPECT_TRUE(checked);
    EXPECT_FALSE(afterDestroy);
}

struct RenderCase {
    int destination[2], source[2], size[2];
};

// Called directly: each visible pixel goes to PutPixel at destination + (j, i)
// with the colour and alpha of the image pixel at source + (j, i); nothing else
// in the buffer changes.
TEST(PreviewDialog, RenderPreviewCopiesTheVisiblePart) {
    const int iw = 30, ih = 20;
    auto image = MakeImage(iw, ih, [](int x, int y) {
        return static_cast<uint32_t>((x * 37 + y * 11) & 255) << 24 | (x * 8) << 16 | (y * 12) << 8 | 200;
    });
    const RenderCase cases[] = {
        {{5, 6}, {2, 3}, {3, 2}},
        {{0, 0}, {0, 0}, {iw, ih}},
        {{100, 90}, {29, 19}, {1, 1}},
        {{7, 7}, {4, 4}, {0, 5}},   // empty: nothing written, still true
        {{7, 7}, {4, 4}, {5, 0}},
        {{7, 7}, {4, 4}, {-3, 4}},
    };
    for (const RenderCase& c : cases) {
        ProbeDialog dialog(IDD_COLORIZE_EN, 160, 120);
        std::vector<uint32_t> before, after;
        bool result = false;
        int error = -1;
        dialog.Run(image, iw, ih, {[&](HWND) {
                       PreviewControl& preview = dialog.Preview();
                       // Start from the window colour everywhere.
                       const uint32_t* words = preview.Pixels();
                       before.assign(words, words + preview.Width() * preview.Height());
                       result = dialog.PreviewDialog::RenderPreview(preview, c.destination, c.source, c.size);
                       after.assign(words, words + preview.Width() * preview.Height());
                       error = preview.Error();
                   }});
        SCOPED_TRACE(testing::Message() << "destination " << c.destination[0] << "," << c.destination[1]
                                        << " source " << c.source[0] << "," << c.source[1] << " size "
                                        << c.size[0] << "," << c.size[1]);
        EXPECT_TRUE(result);
        EXPECT_EQ(0, error);
        ASSERT_EQ(size_t(160 * 120), after.size());
        // The first paint already drew the centred image; only the rectangle
        // written here may differ from it.
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x) {
                const int j = x - c.destination[0], i = y - c.destination[1];
                uint32_t expected = before[y * 160 + x];
                if (j >= 0 && i >= 0 && j < c.size[0] && i < c.size[1]) {
                    const uint32_t p = image[(c.source[1] + i) * iw + c.source[0] + j];
                    const unsigned char bgr[3] = {static_cast<unsigned char>(p), static_cast<unsigned char>(p >> 8),
                                                  static_cast<unsigned char>(p >> 16)};
                    expected = CompositePixel(x, y, bgr, static_cast<int>(p >> 24));
                }
                ASSERT_EQ(expected, after[y * 160 + x]) << "buffer word at " << x << "," << y;
            }
    }
}

}  // namespace
