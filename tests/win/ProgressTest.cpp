// The progress calls a host sees during PBF_Execute, for both filters.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "host/session/PluginLibrary.h"
#include "tests/common/TestImage.h"
#include "tests/win/TempFolder.h"

namespace {

struct Call {
    int done;
    int total;
    void* userData;
};

struct Recorder {
    std::vector<Call> calls;
    int answerBase = 0;  // each call answers answerBase + done
};

int WINAPI Record(int done, int total, void* userData) {
    Recorder* recorder = static_cast<Recorder*>(userData);
    recorder->calls.push_back({done, total, userData});
    return recorder->answerBase + done;
}

// For user data that is no recorder.
std::vector<void*> seenUserData;
int WINAPI Keep(int, int, void* userData) {
    seenUserData.push_back(userData);
    return 7;
}

std::string Show(const std::vector<int>& values) {
    std::string out;
    for (int v : values) out += std::to_string(v) + " ";
    return out;
}

struct ProgressCase {
    const char* what;
    Region rect;
    std::vector<int> done;
};

const int kStride = 40;
const int kRows = 220;

const ProgressCase kCases[] = {
    {"1 row", {3, 5, 20, 6}, {0, 100}},
    {"2 rows", {3, 5, 20, 7}, {0, 50, 100}},
    {"3 rows", {3, 5, 20, 8}, {0, 33, 66, 100}},
    {"4 rows", {0, 0, 1, 4}, {0, 25, 50, 75, 100}},
    {"7 rows", {0, 10, 40, 17}, {0, 14, 28, 42, 57, 71, 85, 100}},
    {"left == right, 3 rows", {9, 5, 9, 8}, {0, 33, 66, 100}},
    {"right < left, 4 rows", {20, 0, 3, 4}, {0, 25, 50, 75, 100}},
    {"top == bottom", {0, 6, 40, 6}, {0, 100}},
    {"bottom < top", {0, 9, 40, 2}, {0, 100}},
    {"left == right and top == bottom", {4, 4, 4, 4}, {0, 100}},
};

// 200 rows: every percentage from 0 to 99 once, two rows each.
std::vector<int> EveryPercent() {
    std::vector<int> done;
    for (int p = 0; p <= 100; ++p) done.push_back(p);
    return done;
}

// A copy in a folder of its own, so that no settings file of another test
// program is read meanwhile.
class ProgressTest : public ::testing::TestWithParam<int> {
protected:
    ProgressTest() : plugin(WidePath(folder.CopyPlugin())) {}

    // Runs filter GetParam() and returns the done values; checks total and
    // userData on every call.
    std::vector<int> Run(int index, Region rect, Recorder& recorder, int* result, TestImage* image = nullptr) {
        TestImage local(kStride, kRows);
        TestImage& pixels = image ? *image : local;
        *result = plugin.Execute(index, pixels.Data(), pixels.Data(), &rect, kStride, Record, &recorder);
        std::vector<int> done;
        for (const Call& c : recorder.calls) {
            EXPECT_EQ(100, c.total);
            EXPECT_EQ(&recorder, c.userData);
            done.push_back(c.done);
        }
        return done;
    }

    TempFolder folder;
    PluginLibrary plugin;
};

TEST_P(ProgressTest, Sequences) {
    for (const ProgressCase& c : kCases) {
        Recorder recorder;
        int result = -1;
        const std::vector<int> done = Run(GetParam(), c.rect, recorder, &result);
        EXPECT_EQ(Show(c.done), Show(done)) << c.what;
        EXPECT_EQ(100, result) << c.what << ": the closing call's answer";
    }
}

TEST_P(ProgressTest, TwoHundredRows) {
    Recorder recorder;
    int result = -1;
    EXPECT_EQ(Show(EveryPercent()), Show(Run(GetParam(), {0, 10, 5, 210}, recorder, &result)));
}

TEST_P(ProgressTest, EmptyRectanglesWriteNoPixel) {
    for (const ProgressCase& c : kCases) {
        if (c.rect.left < c.rect.right && c.rect.top < c.rect.bottom) continue;
        TestImage image(kStride, kRows), untouched(kStride, kRows);
        image.FillCanary();
        untouched.FillCanary();
        Recorder recorder;
        int result;
        Run(GetParam(), c.rect, recorder, &result, &image);
        EXPECT_EQ("", image.Compare(untouched, untouched, {0, 0, 0, 0}, {}));
    }
}

TEST_P(ProgressTest, ReturnsTheClosingCallsAnswer) {
    for (int base : {0, 1, -101, 1000, 0x7FFFFF00}) {
        Recorder recorder;
        recorder.answerBase = base;
        int result;
        Run(GetParam(), {0, 0, 8, 3}, recorder, &result);
        EXPECT_EQ(base + 100, result) << "answer base " << base;
        // Answers of 0 on the way (base -101 gives a non-zero, base 0 a zero
        // opening answer) do not stop the run.
        EXPECT_EQ(4u, recorder.calls.size());
    }
}

TEST_P(ProgressTest, NullCallbackReturnsZeroAndStillTints) {
    TestImage image(kStride, kRows), before(kStride, kRows);
    image.FillCanary();
    before.FillCanary();
    Region rect = {1, 2, 30, 9};
    EXPECT_EQ(0, plugin.Execute(GetParam(), image.Data(), image.Data(), &rect, kStride, nullptr, nullptr));
    int changed = 0;
    for (int y = 2; y < 9; ++y)
        for (int x = 1; x < 30; ++x) changed += image.At(x, y) != before.At(x, y);
    EXPECT_GT(changed, 0) << "the region was not tinted";
}

TEST_P(ProgressTest, UserDataComesBackUnchanged) {
    Recorder recorder;
    for (void* user : {static_cast<void*>(&recorder), static_cast<void*>(nullptr),
                       reinterpret_cast<void*>(~uintptr_t(0) - 7)}) {
        seenUserData.clear();
        Region rect = {0, 0, 4, 4};
        TestImage image(kStride, kRows);
        EXPECT_EQ(7, plugin.Execute(GetParam(), image.Data(), image.Data(), &rect, kStride, Keep, user));
        ASSERT_EQ(5u, seenUserData.size());
        for (void* s : seenUserData) EXPECT_EQ(user, s);
    }
}

INSTANTIATE_TEST_SUITE_P(Filters, ProgressTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 0 ? std::string("Colorize") : std::string("DrawColor");
                         });

class ProgressOutOfRange : public ::testing::TestWithParam<int> {};

TEST_P(ProgressOutOfRange, OnlyOpeningAndClosingCalls) {
    TempFolder folder;
    PluginLibrary plugin(WidePath(folder.CopyPlugin()));
    TestImage image(kStride, kRows), before(kStride, kRows);
    image.FillCanary();
    before.FillCanary();
    Region rect = {0, 0, kStride, 10};
    Recorder recorder;
    recorder.answerBase = 5;
    EXPECT_EQ(105, plugin.Execute(GetParam(), image.Data(), image.Data(), &rect, kStride, Record, &recorder));
    std::vector<int> done;
    for (const Call& c : recorder.calls) done.push_back(c.done);
    EXPECT_EQ("0 100 ", Show(done));
    EXPECT_EQ("", image.Compare(before, before, {0, 0, 0, 0}, {}));
    EXPECT_EQ(0, plugin.Execute(GetParam(), image.Data(), image.Data(), &rect, kStride, nullptr, nullptr));
}

INSTANTIATE_TEST_SUITE_P(Indexes, ProgressOutOfRange, ::testing::Values(2, 5, -1, INT_MIN));

}  // namespace
