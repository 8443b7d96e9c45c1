// The shipped plug-in called as real paint programs call it: in each
// floating-point state of the table and, on 32 bits, with the stack aligned
// to 4 bytes only. Each filter over images that reach every path of the
// kernels, and the set-up with typing, OK and the run, give the bytes the
// default state gives; no exception ends the program (the fault guard); the
// host's state is as it set it after each call, and the host's own code that
// runs meanwhile (its progress callback, its timer in the modal loop) finds it.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "host/cli/Console.h"
#include "host/session/HostEnvironment.h"
#include "host/session/PluginLibrary.h"
#include "tests/common/TestImage.h"
#include "tests/win/DialogDriver.h"
#include "tests/win/HostAnswer.h"
#include "tests/win/HostControls.h"
#include "tests/win/TempFolder.h"

namespace {

const int kWidth = 640;
const int kHeight = 400;
const HostEnvironment& kDefault = HostEnvironments()[0];

// The label for X 200, Y 100, where rounding down shows in blue.
const char kTypedLabel[] = "R:223 G:155 B:255";

// Every byte value in every channel and many alphas, and every grey.
TestImage RandomImage() {
    TestImage image(kWidth, kHeight);
    image.FillRandom({0, 0, kWidth, kHeight}, 24);
    return image;
}

TestImage GreyImage() {
    TestImage image(kWidth, kHeight);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t v = static_cast<uint32_t>(x + y) & 0xFF;
            image.At(x, y) = (static_cast<uint32_t>(y) << 24) | v * 0x010101u;
        }
    return image;
}

struct FilterRun {
    const char* what;
    int filter;
    unsigned char drawColor[4];  // blue, green, red, 0: the host's answer for filter 1
    bool grey;
    bool inPlace;
};

const FilterRun kRuns[] = {
    {"white under a white guide", 1, {255, 255, 255, 0}, true, true},
    {"grey under a grey guide", 1, {128, 128, 128, 0}, true, false},
    {"random colours under a violet guide", 1, {0xC0, 0x40, 0x80, 0}, false, false},
    {"random colours in place under a green guide", 1, {10, 250, 30, 0}, false, true},
};

// The host's own code that the plug-in runs, its progress callback and its
// timer inside the set-up's modal loop, must find the host's state.
const HostEnvironment* hostEnvironment = nullptr;
std::string hostCodeChange;
void NoteHostState(const char* where) {
    const std::string change = FloatControlChange(*hostEnvironment, ReadFloatControl());
    if (hostCodeChange.empty() && !change.empty()) hostCodeChange = std::string(where) + ": " + change;
}

int WINAPI NoteProgressState(int, int, void*) {
    NoteHostState("in the host's progress callback");
    return 0;
}

void CALLBACK NoteLoopState(HWND, UINT, UINT_PTR, DWORD) { NoteHostState("in the host's timer"); }

class HostEnvironmentTest : public ::testing::Test {
protected:
    HostEnvironmentTest() : path(folder.CopyPlugin()), plugin(WideFromUtf8(path)) {}
    ~HostEnvironmentTest() override { SetFloatControl(kDefault.mxcsr, kDefault.x87Control); }

    // One call as the host in env makes it; what it left of the host's
    // state, "" when nothing. Only the plug-in's own flags may be left
    // behind where the host masked them, and Execute leaves none at all.
    template <class Call>
    std::string AsHost(const HostEnvironment& env, Call call, bool exact) {
        plugin.SetStackOffset(env.stackOffset);
        SetFloatControl(env.mxcsr, env.x87Control);
        call();
        const FloatControl after = ReadFloatControl();
        SetFloatControl(kDefault.mxcsr, kDefault.x87Control);
        plugin.SetStackOffset(0);
        std::string change = FloatControlChange(env, after);
        if (change.empty() && exact && ((after.mxcsr & 0x3F) || (after.x87Status & 0x3F))) {
            char text[96];
            std::snprintf(text, sizeof text, "flags raised for the host: MXCSR %x, x87 status %x",
                          static_cast<unsigned>(after.mxcsr), static_cast<unsigned>(after.x87Status));
            change = text;
        }
        return change;
    }

    // Each run's result, then the run after the set-up's OK; the label the
    // set-up showed.
    std::vector<std::vector<uint32_t>> Exercise(const HostEnvironment& env, std::string* label) {
        SCOPED_TRACE(env.name);
        hostEnvironment = &env;
        hostCodeChange.clear();
        std::vector<std::vector<uint32_t>> results;
        const TestImage random = RandomImage(), grey = GreyImage();
        for (const FilterRun& run : kRuns) {
            SCOPED_TRACE(run.what);
            const TestImage& source = run.grey ? grey : random;
            TestImage destination = run.inPlace ? source : TestImage(kWidth, kHeight);
            for (int i = 0; i < 4; ++i) TheHostAnswer().bytes[i] = run.drawColor[i];
            FilterRect rect = {0, 0, kWidth, kHeight};
            void* from = run.inPlace ? destination.Data() : const_cast<TestImage&>(source).Data();
            EXPECT_EQ("", AsHost(env, [&] {
                plugin.Execute(run.filter, static_cast<uint32_t*>(from), static_cast<uint32_t*>(destination.Data()),
                               &rect, kWidth, NoteProgressState, nullptr);
            }, true));
            results.emplace_back(static_cast<uint32_t*>(destination.Data()),
                                 static_cast<uint32_t*>(destination.Data()) + kWidth * kHeight);
        }

        SetupScript script;
        script.x = 200;
        script.y = 100;
        TestImage pixels = random;
        const UINT_PTR timer = SetTimer(nullptr, 0, 10, NoteLoopState);
        ScriptedSetup outcome;
        EXPECT_EQ("", AsHost(env, [&] {
            outcome = RunScripted(
                [&] { return plugin.Setup(0, nullptr, static_cast<uint32_t*>(pixels.Data()), kWidth, kHeight); },
                script);
        }, false));
        KillTimer(nullptr, timer);
        EXPECT_TRUE(outcome.dialogSeen);
        EXPECT_EQ(1, outcome.result);
        *label = outcome.label;

        TestImage destination(kWidth, kHeight);
        FilterRect rect = {0, 0, kWidth, kHeight};
        EXPECT_EQ("", AsHost(env, [&] {
            plugin.Execute(0, static_cast<uint32_t*>(pixels.Data()), static_cast<uint32_t*>(destination.Data()),
                           &rect, kWidth, NoteProgressState, nullptr);
        }, true));
        results.emplace_back(static_cast<uint32_t*>(destination.Data()),
                             static_cast<uint32_t*>(destination.Data()) + kWidth * kHeight);
        EXPECT_EQ("", hostCodeChange);
        return results;
    }

    TempFolder folder;
    const std::string path;
    PluginLibrary plugin;
};

// "22232 pixels differ (first at 6,1: a7fefefe, want a7ffffff)", or "".
std::string Differences(const std::vector<uint32_t>& got, const std::vector<uint32_t>& want) {
    int differ = 0;
    char first[80] = "";
    for (size_t i = 0; i < want.size(); ++i) {
        if (got[i] == want[i]) continue;
        if (differ++ == 0)
            std::snprintf(first, sizeof first, " (first at %d,%d: %08x, want %08x)", static_cast<int>(i % kWidth),
                          static_cast<int>(i / kWidth), static_cast<unsigned>(got[i]),
                          static_cast<unsigned>(want[i]));
    }
    return differ ? std::to_string(differ) + " pixels differ" + first : "";
}

TEST_F(HostEnvironmentTest, EveryStateGivesTheDefaultStatesBytes) {
    // As a host must, before any set-up.
    ASSERT_TRUE(RegisterHostControls());
    ASSERT_TRUE(plugin.Module());
    std::string defaultLabel;
    const std::vector<std::vector<uint32_t>> reference = Exercise(kDefault, &defaultLabel);
    EXPECT_EQ(kTypedLabel, defaultLabel);
    for (const HostEnvironment& env : HostEnvironments()) {
        if (&env == &kDefault) continue;
        SCOPED_TRACE(env.name);
        std::string label;
        const std::vector<std::vector<uint32_t>> results = Exercise(env, &label);
        EXPECT_EQ(defaultLabel, label);
        for (size_t i = 0; i < reference.size() && i < results.size(); ++i)
            EXPECT_EQ("", Differences(results[i], reference[i]))
                << (i < std::size(kRuns) ? kRuns[i].what : "the run after OK");
        EXPECT_EQ("", plugin.StackError());
    }
}

}  // namespace
