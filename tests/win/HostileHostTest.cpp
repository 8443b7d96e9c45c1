// Whatever a host passes within its contract, and the odd values it may
// answer with, the plug-in neither faults nor touches a byte it was not given.
// Every buffer here ends against a no-access page: one byte too far, read or
// written, ends the program through the test programs' fault guard.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "host/session/GuardedMemory.h"
#include "host/session/PluginLibrary.h"
#include "tests/common/ReferenceTint.h"
#include "tests/common/TestImage.h"
#include "tests/win/DialogDriver.h"
#include "tests/win/HostAnswer.h"
#include "tests/win/HugeBuffer.h"
#include "tests/win/TempFolder.h"

namespace {

const std::string kCategory = "Color|\x83\x4A\x83\x89\x81\x5B";
const std::string kName1 =
    "Colorize by Drawcolor|"
    "\x95\x60\x89\xE6\x90\x46\x82\xC9\x82\xE6\x82\xE9\x92\x50\x90\x46\x8C\xF8\x89\xCA";

// 64 x 64 pixels are 16 KiB: flush against the guard pages at both ends.
const int kStride = 64;
const int kRows = 64;

struct Recorder {
    std::vector<int> done;
    std::vector<int> answers;  // answer n for call n; the last one repeats
};

int WINAPI Record(int done, int total, void* userData) {
    Recorder* r = static_cast<Recorder*>(userData);
    EXPECT_EQ(100, total);
    r->done.push_back(done);
    if (r->answers.empty()) return 0;
    const size_t n = r->done.size() - 1;
    return r->answers[n < r->answers.size() ? n : r->answers.size() - 1];
}

std::string Show(const std::vector<int>& values) {
    std::string out;
    for (int v : values) out += std::to_string(v) + " ";
    return out;
}

// The same place-dependent pattern as the other run tests.
uint32_t Canary(int x, int y) { return TestImage::Canary(x, y); }

void FillCanary(const GuardedPixels& p) {
    for (int y = 0; y < p.rows; ++y)
        for (int x = 0; x < p.stride; ++x) p.At(x, y) = Canary(x, y);
}

// Pixels that differ from what a run over r with guide leaves on a canary
// image: its tint inside r, the canary everywhere else.
int WrongPixels(const GuardedPixels& p, const Region& r, ReferenceGuide guide) {
    int wrong = 0;
    for (int y = 0; y < p.rows; ++y)
        for (int x = 0; x < p.stride; ++x) {
            const bool inside = x >= r.left && x < r.right && y >= r.top && y < r.bottom;
            wrong += p.At(x, y) != (inside ? ReferenceTint(Canary(x, y), guide) : Canary(x, y));
        }
    return wrong;
}

int ChangedPixels(const GuardedPixels& p) { return WrongPixels(p, Region{0, 0, 0, 0}, ReferenceGuide{}); }

const ReferenceGuide kRed = {255, 0, 0};  // filter 0 without a settings file

// A copy in a folder of its own: no settings file, so filter 0 tints red.
class HostileHostTest : public ::testing::Test {
protected:
    HostileHostTest() : plugin(WidePath(folder.CopyPlugin())) {}
    void SetUp() override { TheHostAnswer() = HostAnswer(); }
    TempFolder folder;
    PluginLibrary plugin;
};

int windowsCreated = 0;
LRESULT CALLBACK CountCreations(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) ++windowsCreated;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Outside the list, every export that takes an index answers in its
// documented way and touches nothing else.
TEST_F(HostileHostTest, IndexesOutsideTheListForEveryExport) {
    HHOOK hook = SetWindowsHookExA(WH_CBT, CountCreations, nullptr, GetCurrentThreadId());
    ASSERT_TRUE(hook);
    for (int index : {-1, 2, INT_MAX, INT_MIN, 3}) {
        SCOPED_TRACE("index " + std::to_string(index));
        GuardedBytes category(20), name(33);
        EXPECT_EQ(reinterpret_cast<char*>(name.Data()),
                  plugin.RawNames(index, reinterpret_cast<char*>(category.Data()), 20,
                                 reinterpret_cast<char*>(name.Data()), 33));
        EXPECT_EQ(std::string(20, '\0'), std::string(reinterpret_cast<char*>(category.Data()), 20));
        EXPECT_EQ(std::string(33, '\0'), std::string(reinterpret_cast<char*>(name.Data()), 33));

        GuardedPixels image(kStride, kRows);
        FillCanary(image);
        Region rect = {0, 0, kStride, kRows};
        Recorder recorder{{}, {41, 42}};
        EXPECT_EQ(42, plugin.Execute(index, image.Data(), image.Data(), &rect, kStride, Record, &recorder));
        EXPECT_EQ("0 100 ", Show(recorder.done));
        EXPECT_EQ(0, ChangedPixels(image));
        EXPECT_EQ(0, plugin.Execute(index, image.Data(), image.Data(), &rect, kStride, nullptr, nullptr));

        windowsCreated = 0;
        EXPECT_EQ(0, plugin.Setup(index, nullptr, image.Data(), kStride, kRows));
        EXPECT_EQ(0, windowsCreated);
    }
    UnhookWindowsHookEx(hook);
    EXPECT_TRUE(TheHostAnswer().codes.empty()) << "the host was asked for its colour";
}

// A length of zero or less writes nothing: the buffer here is the first
// byte of a no-access page, so a single byte written would fault.
TEST_F(HostileHostTest, LengthsOfZeroOrLessWriteNothing) {
    GuardedBytes none(0);
    char* nowhere = reinterpret_cast<char*>(none.Data());
    GuardedBytes other(64);
    char* room = reinterpret_cast<char*>(other.Data());
    for (int length : {0, -1, -2, -64, -65536, INT_MIN + 1, INT_MIN}) {
        SCOPED_TRACE("length " + std::to_string(length));
        EXPECT_EQ(1, plugin.RawInfo(nowhere, length));
        for (int index : {0, 1, 2, -1}) {
            EXPECT_EQ(nowhere, plugin.RawNames(index, nowhere, length, nowhere, length));
            EXPECT_EQ(room, plugin.RawNames(index, nowhere, length, room, 0));
            EXPECT_EQ(nowhere, plugin.RawNames(index, room, 0, nowhere, length));
        }
    }
    EXPECT_EQ(std::string(64, '\xA5'), std::string(room, 64));
}

// A null buffer is written to at no length.
TEST_F(HostileHostTest, NullBuffersAreLeftAlone) {
    for (int length : {-1, 0, 1, 64, INT_MAX}) {
        EXPECT_EQ(1, plugin.RawInfo(nullptr, length));
        EXPECT_EQ(nullptr, plugin.RawNames(1, nullptr, length, nullptr, length));
    }
}

// Text and zero fill reach exactly the last byte of buffers of every size up
// to 64 MiB, each ending against a no-access page.
TEST_F(HostileHostTest, LengthsUpToTheLastByteOfTheBuffer) {
    for (size_t size : {size_t(1), size_t(12), size_t(13), size_t(41), size_t(63), size_t(64), size_t(4095),
                        size_t(4096), size_t(65537), size_t(64) << 20}) {
        SCOPED_TRACE("buffer of " + std::to_string(size) + " bytes");
        const int length = static_cast<int>(size);
        GuardedBytes info(size), category(size), name(size);
        EXPECT_EQ(1, plugin.RawInfo(reinterpret_cast<char*>(info.Data()), length));
        plugin.RawNames(1, reinterpret_cast<char*>(category.Data()), length, reinterpret_cast<char*>(name.Data()),
                       length);
        const auto check = [&](const GuardedBytes& b, const std::string& text, const char* what) {
            const size_t n = text.size() < size ? text.size() : size;
            EXPECT_EQ(text.substr(0, n), std::string(reinterpret_cast<char*>(b.Data()), n)) << what;
            size_t firstNonZero = n;
            while (firstNonZero < size && b.Data()[firstNonZero] == 0) ++firstNonZero;
            EXPECT_EQ(size, firstNonZero) << what << ": zero fill stops early";
        };
        std::string infoText(reinterpret_cast<char*>(info.Data()), size < 63 ? size : 63);
        check(info, infoText, "information line");
        check(category, kCategory, "category");
        check(name, kName1, "name");
    }
}

// INT_MAX is a length that a host can only mean with a buffer of INT_MAX
// bytes: strncpy fills all of them. HugeBuffer is such a buffer whose middle
// is one section mapped many times, so it costs 48 MiB and not 2 GiB; in a
// 32-bit process without 2 GiB in one piece, the longest that fits.
TEST_F(HostileHostTest, LengthIntMaxWithABufferThatLarge) {
    for (int which = 0; which < 3; ++which) {
        SCOPED_TRACE(which == 0 ? "information line" : which == 1 ? "category" : "name");
        HugeBuffer huge;
        ASSERT_TRUE(huge.Ok()) << "no buffer of 48 MiB or more in this address space";
        const int length = huge.Length();
        SCOPED_TRACE("length " + std::to_string(length));
        if (sizeof(void*) == 8) {
            EXPECT_EQ(INT_MAX, length);
        }
        GuardedBytes small(64);
        char* other = reinterpret_cast<char*>(small.Data());
        std::string text;
        if (which == 0) {
            EXPECT_EQ(1, plugin.RawInfo(huge.Data(), length));
            text = std::string(huge.Data(), 63);
            EXPECT_EQ(63u, strnlen(text.c_str(), 63)) << "the information line";
        } else if (which == 1) {
            plugin.RawNames(1, huge.Data(), length, other, 64);
            text = kCategory;
        } else {
            plugin.RawNames(1, other, 64, huge.Data(), length);
            text = kName1;
        }
        EXPECT_EQ(text, std::string(huge.Data(), text.size()));
        size_t head = text.size();
        while (head < HugeBuffer::kPart && huge.Head()[head] == 0) ++head;
        EXPECT_EQ(HugeBuffer::kPart, head) << "head not zero filled";
        size_t tail = 0;
        while (tail < HugeBuffer::kPart - 1 && huge.Tail()[tail] == 0) ++tail;
        EXPECT_EQ(HugeBuffer::kPart - 1, tail) << "tail not zero filled up to the last byte";
        EXPECT_EQ(0xA5, huge.Canary()) << "written past the length";
    }
}

struct RectCase {
    const char* what;
    Region rect;
    std::vector<int> done;
};

std::vector<int> EveryPercent() {
    std::vector<int> done;
    for (int p = 0; p <= 100; ++p) done.push_back(p);
    return done;
}

// Empty and inverted regions, also with coordinates far outside the image:
// no pixel is read or written, and the progress follows the row count.
TEST_F(HostileHostTest, EmptyAndInvertedRegionsTouchNoPixel) {
    const RectCase cases[] = {
        {"all zero", {0, 0, 0, 0}, {0, 100}},
        {"a point", {5, 5, 5, 5}, {0, 100}},
        {"right < left, 4 rows", {10, 3, 2, 7}, {0, 25, 50, 75, 100}},
        {"bottom < top", {0, 7, 10, 3}, {0, 100}},
        {"both inverted", {10, 7, 2, 3}, {0, 100}},
        {"INT_MAX..INT_MIN across, 2 rows", {INT_MAX, 0, INT_MIN, 2}, {0, 50, 100}},
        {"INT_MIN..INT_MIN across, 2 rows", {INT_MIN, 1, INT_MIN, 3}, {0, 50, 100}},
        {"inverted over the whole int range", {INT_MIN, INT_MAX, INT_MAX, INT_MIN}, {0, 100}},
        {"top == bottom == INT_MAX", {3, INT_MAX, 9, INT_MAX}, {0, 100}},
        {"top == bottom == INT_MIN", {INT_MIN, INT_MIN, INT_MAX, INT_MIN}, {0, 100}},
        {"no width, two million rows outside", {5, -1000000, 5, 1000000}, EveryPercent()},
    };
    for (int filter : {0, 1}) {
        for (const RectCase& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", filter " + std::to_string(filter));
            GuardedPixels image(kStride, kRows);
            FillCanary(image);
            Region rect = c.rect;
            Recorder recorder{{}, {7}};
            EXPECT_EQ(7, plugin.Execute(filter, image.Data(), image.Data(), &rect, kStride, Record, &recorder));
            EXPECT_EQ(Show(c.done), Show(recorder.done));
            EXPECT_EQ(0, ChangedPixels(image));
            EXPECT_EQ(0, std::memcmp(&rect, &c.rect, sizeof rect)) << "the region record was changed";
        }
    }
}

// The whole image, corner to corner, flush against both guard pages, and a
// single pixel in each corner.
TEST_F(HostileHostTest, RegionsAtTheVeryEdgesOfTheBuffers) {
    const Region cases[] = {{0, 0, kStride, kRows}, {0, 0, 1, 1}, {kStride - 1, kRows - 1, kStride, kRows},
                            {kStride - 1, 0, kStride, 1}, {0, kRows - 1, 1, kRows}};
    for (const Region& r : cases) {
        GuardedPixels source(kStride, kRows), destination(kStride, kRows);
        FillCanary(source);
        FillCanary(destination);
        Region rect = r;
        plugin.Execute(0, source.Data(), destination.Data(), &rect, kStride, nullptr, nullptr);
        SCOPED_TRACE("region " + std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                     std::to_string(r.right) + "," + std::to_string(r.bottom));
        EXPECT_EQ(0, WrongPixels(destination, r, kRed));
        EXPECT_EQ(0, ChangedPixels(source));
    }
}

// No answer of the progress callback cancels a run: every row is tinted,
// every call is made, and the closing call's answer comes back.
TEST_F(HostileHostTest, OddCallbackAnswersDoNotCancel) {
    const unsigned char blue[4] = {255, 0, 0, 0};
    const std::vector<std::vector<int>> answerSets = {
        {0},          {-1},      {INT_MIN}, {12345}, {INT_MAX}, {1},
        {0, -1, INT_MIN, 12345, 0, 0, 0, 0, -1},  // a different odd answer per call, last -1
        {-1, 0, 0, 0, 0, 0, 0, 0, INT_MIN},
    };
    const std::vector<int> progress = {0, 14, 28, 42, 57, 71, 85, 100};  // 7 rows
    for (int filter : {0, 1}) {
        for (const std::vector<int>& answers : answerSets) {
            SCOPED_TRACE("filter " + std::to_string(filter) + ", answers " + Show(answers));
            std::memcpy(TheHostAnswer().bytes, blue, 4);
            GuardedPixels image(kStride, kRows);
            FillCanary(image);
            Region rect = {3, 50, 61, 57};
            Recorder recorder{{}, answers};
            const int result = plugin.Execute(filter, image.Data(), image.Data(), &rect, kStride, Record, &recorder);
            EXPECT_EQ(Show(progress), Show(recorder.done));
            const size_t last = recorder.done.size() - 1;
            EXPECT_EQ(answers[last < answers.size() ? last : answers.size() - 1], result);
            const ReferenceGuide guide = filter == 0 ? kRed : ReferenceGuide{0, 0, 255};
            EXPECT_EQ(0, WrongPixels(image, {3, 50, 61, 57}, guide)) << "pixels not as a complete run leaves them";
        }
    }
}

// A host whose PBF_QueryClientInfo writes nothing: the colour buffer stays
// zeroed, so every pixel becomes the grey of its own luma, on every run,
// also right after runs in which the host did write a colour.
TEST_F(HostileHostTest, HostThatWritesNothingGivesTheImagesOwnGrey) {
    const unsigned char colours[][4] = {{0, 0, 255, 0}, {255, 255, 0, 255}, {17, 200, 99, 1}};
    for (int run = 0; run < 12; ++run) {
        for (const unsigned char* colour : colours) {
            SCOPED_TRACE("run " + std::to_string(run));
            TheHostAnswer().writes = true;
            std::memcpy(TheHostAnswer().bytes, colour, 4);
            GuardedPixels warm(kStride, kRows);
            Region all = {0, 0, kStride, 4};
            plugin.Execute(1, warm.Data(), warm.Data(), &all, kStride, nullptr, nullptr);

            TheHostAnswer().writes = false;
            TheHostAnswer().result = run % 2 ? -1 : 0;
            GuardedPixels image(kStride, kRows);
            FillCanary(image);
            image.At(0, 0) = 0x116496C8;  // luma 140.75
            Region rect = {0, 0, kStride, kRows};
            plugin.Execute(1, image.Data(), image.Data(), &rect, kStride, nullptr, nullptr);
            EXPECT_EQ(0x118C8C8Cu, image.At(0, 0));
            image.At(0, 0) = ReferenceTint(Canary(0, 0), {0, 0, 0});  // checked just above
            EXPECT_EQ(0, WrongPixels(image, rect, {0, 0, 0})) << "pixels differ from their luma grey";
        }
    }
}


// Set-up over images of odd shapes, each exactly as large as its pixels and
// against no-access pages, with the preview dragged about: the dialog reads
// no pixel outside the image. Without pixels (0 x 0, or a size that is no
// image) it must show an empty preview and read nothing at all.
TEST_F(HostileHostTest, SetupOverOddImages) {
    const struct {
        int width;
        int height;
    } shapes[] = {{1, 1}, {3, 1}, {1, 3}, {2000, 1}, {1, 2000}, {7, 5}, {640, 480}, {0, 0}, {0, 10}, {10, 0},
                  {-1, 5}, {5, -1}, {INT_MIN, INT_MIN}};
    for (const auto& s : shapes) {
        SCOPED_TRACE(std::to_string(s.width) + " x " + std::to_string(s.height));
        const size_t count = s.width > 0 && s.height > 0 ? static_cast<size_t>(s.width) * s.height : 0;
        GuardedBytes image(count * 4, 0x80);
        for (bool ok : {true, false}) {
            SetupScript script;
            script.x = 200;
            script.y = 100;
            script.clickPerMille = {500, 500};
            script.togglePreview = !ok;
            script.dragPreview = true;
            script.ok = ok;
            const ScriptedSetup outcome = RunSetupScripted(plugin, nullptr, image.Data(), s.width, s.height, script);
            EXPECT_FALSE(outcome.watchdog);
            if (outcome.dialogSeen) {
                EXPECT_EQ(ok ? 1 : 0, outcome.result);
            } else {
                EXPECT_EQ(1, outcome.result) << "no dialog, yet set-up did not return 1";
            }
        }
    }
}

// No pixels at all but a size, with Preview stored off: the first paint of
// the plain preview must not read the missing image (a fault there, inside
// a window procedure, ends this program through its fault guard).
TEST_F(HostileHostTest, SetupWithoutPixelsAndPreviewOff) {
    ASSERT_TRUE(TempFolder::WriteBytes(folder.Path(), "qvfilters.ini", "[HueTint]\r\npreview=0\r\n"));
    for (bool ok : {true, false}) {
        SetupScript script;
        script.ok = ok;
        const ScriptedSetup outcome = RunSetupScripted(plugin, nullptr, nullptr, kStride, kRows, script);
        EXPECT_FALSE(outcome.watchdog);
        EXPECT_TRUE(outcome.dialogSeen);
        EXPECT_FALSE(outcome.previewChecked);
        EXPECT_EQ(ok ? 1 : 0, outcome.result);
    }
}


// A bottom-up buffer: the host hands the last row's address and a negative
// stride, so row y lies at element x + y * stride below it. Everything the
// plug-in is told still lies inside the buffer.
TEST_F(HostileHostTest, NegativeStride) {
    for (int filter : {0, 1}) {
        GuardedPixels image(kStride, kRows);
        FillCanary(image);
        uint32_t* lastRow = image.Data() + static_cast<size_t>(kRows - 1) * kStride;
        // Rows 0..9 of the host's view are the buffer's last ten rows.
        Region rect = {4, 0, 60, 10};
        TheHostAnswer().writes = false;
        plugin.Execute(filter, lastRow, lastRow, &rect, -kStride, nullptr, nullptr);
        const ReferenceGuide guide = filter == 0 ? kRed : ReferenceGuide{0, 0, 0};
        EXPECT_EQ(0, WrongPixels(image, Region{4, kRows - 10, 60, kRows}, guide)) << "filter " << filter;
    }
}

// A parent window that no longer exists: the dialog cannot be made, and
// set-up says no without a fault or a message.
TEST_F(HostileHostTest, SetupWithADestroyedParent) {
    GuardedPixels image(kStride, kRows);
    HWND parent = CreateWindowExA(0, "STATIC", "host", WS_POPUP, 0, 0, 80, 60, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(parent);
    SetupScript cancel;
    cancel.ok = false;
    const ScriptedSetup probe = RunSetupScripted(plugin, parent, image.Data(), kStride, kRows, cancel);
    DestroyWindow(parent);
    if (!probe.dialogSeen) GTEST_SKIP() << "filter 0 of this build opens no dialog";
    const ScriptedSetup outcome = RunSetupScripted(plugin, parent, image.Data(), kStride, kRows, SetupScript());
    EXPECT_EQ(0, outcome.result);
    EXPECT_FALSE(outcome.dialogSeen) << "a window was shown";
}


// Runs filter 0 over a fixed random image; returns the tinted pixels.
std::vector<uint32_t> RunFilter0(const PluginLibrary& plugin) {
    GuardedPixels image(kStride, kRows);
    FillCanary(image);
    Region rect = {0, 0, kStride, kRows};
    plugin.Execute(0, image.Data(), image.Data(), &rect, kStride, nullptr, nullptr);
    return std::vector<uint32_t>(image.Data(), image.Data() + kStride * kRows);
}

// A literal with its zero bytes, without the terminator.
template <size_t N>
std::string Bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

int InRangeOr(int value, int fallback) { return value >= 0 && value <= 255 ? value : fallback; }

// Settings files that no OK ever wrote. Each run must tint exactly as a clean
// file with the values the profile functions read from it (out of range: the
// defaults), and set-up must open on values within 0..255 and, on OK, leave
// a clean file behind.
TEST_F(HostileHostTest, GarbageSettingsFiles) {
    const std::string longLine(100000, '7');
    const std::string cases[] = {
        std::string("[HueTint]\r\nx=99999999999999999999\r\ny=-99999999999999999999\r\n"),
        std::string("[HueTint]\r\nx=-2147483648\r\ny=4294967296\r\n"),
        std::string("[HueTint]\r\nx=12abc\r\ny= 40 \r\npreview=banana\r\n"),
        std::string("[HueTint]\r\nx=") + longLine + "\r\ny=" + longLine + "\r\n",
        Bytes("[HueTint]\r\nx=200\0\0\0y=100\r\n\xFF\xFE\x01"),
        Bytes("\xFF\xFE[\0H\0u\0e\0T\0i\0n\0t\0]\0\r\0\n\0x\0=\0""5\0"),
        std::string("[HueTint]x=30\ny=40"),
        std::string("[HueTint]\r\n[HueTint]\r\nx=90\r\n[HueTint]\r\ny=10\r\n"),
        std::string(70000, '['),
    };
    for (const std::string& bytes : cases) {
        SCOPED_TRACE("file of " + std::to_string(bytes.size()) + " bytes: " + bytes.substr(0, 40));
        ASSERT_TRUE(TempFolder::WriteBytes(folder.Path(), "qvfilters.ini", bytes));
        const std::string ini = folder.Path() + "\\qvfilters.ini";
        const int x = static_cast<int>(GetPrivateProfileIntA("HueTint", "x", 0, ini.c_str()));
        const int y = static_cast<int>(GetPrivateProfileIntA("HueTint", "y", 255, ini.c_str()));
        const std::vector<uint32_t> garbage = RunFilter0(plugin);

        const std::string clean = "[HueTint]\r\nx=" + std::to_string(InRangeOr(x, 0)) +
                                  "\r\ny=" + std::to_string(InRangeOr(y, 255)) + "\r\n";
        ASSERT_TRUE(TempFolder::WriteBytes(folder.Path(), "qvfilters.ini", clean));
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
        EXPECT_TRUE(garbage == RunFilter0(plugin)) << "not the tint of " << clean;

        ASSERT_TRUE(TempFolder::WriteBytes(folder.Path(), "qvfilters.ini", bytes));
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
        GuardedPixels image(kStride, kRows);
        SetupScript script;  // OK on what the dialog opened with
        const ScriptedSetup outcome = RunSetupScripted(plugin, nullptr, image.Data(), kStride, kRows, script);
        EXPECT_FALSE(outcome.watchdog);
        if (!outcome.dialogSeen) continue;
        EXPECT_EQ(1, outcome.result);
        EXPECT_EQ(InRangeOr(x, 0), outcome.shownX);
        EXPECT_EQ(InRangeOr(y, 255), outcome.shownY);
        EXPECT_EQ(outcome.shownX, static_cast<int>(GetPrivateProfileIntA("HueTint", "x", -1, ini.c_str())));
        EXPECT_EQ(outcome.shownY, static_cast<int>(GetPrivateProfileIntA("HueTint", "y", -1, ini.c_str())));
    }
}

}  // namespace
