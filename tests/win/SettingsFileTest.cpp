// "Colorize..." takes its guide colour from qvfilters.ini beside the plug-in.
// Each case copies the plug-in into a fresh folder, puts a settings file (or
// none) there, runs filter 0 and checks every pixel against the formula.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/session/PluginLibrary.h"
#include "tests/common/TestImage.h"
#include "tests/win/TempFolder.h"

namespace {

const ReferenceGuide kRed = {255, 0, 0};
const ReferenceGuide kCyan = {0, 255, 255};

// Runs filter 0 of the plug-in at pluginPath over a probe image; returns ""
// when the region holds the tint with guide and nothing else changed.
std::string RunColorize(const std::string& pluginPath, ReferenceGuide guide) {
    PluginLibrary plugin(WidePath(pluginPath));
    const Region region = {2, 1, 22, 11};
    TestImage source(24, 12);
    source.FillCanary();
    source.FillRandom(region, 0x5EED);
    // Corners of the colour cube, so that clamping shows.
    const uint32_t fixed[] = {0xFFFFFFFF, 0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF, 0x80808080, 0x7F10F0E0};
    for (int i = 0; i < 7; ++i) source.At(region.left + i, region.top) = fixed[i];
    TestImage image = source;
    Region rect = region;
    plugin.Execute(0, image.Data(), image.Data(), &rect, image.stride, nullptr, nullptr);
    return image.Compare(source, source, region, guide);
}

std::string GuideText(ReferenceGuide g) {
    return "guide " + std::to_string(g.red) + "," + std::to_string(g.green) + "," + std::to_string(g.blue);
}

struct FileCase {
    const char* what;
    const char* bytes;  // null: no settings file at all
    ReferenceGuide guide;
};

const FileCase kFiles[] = {
    {"no file", nullptr, kRed},
    {"empty file", "", kRed},
    {"other section only", "[Other]\r\nx=128\r\ny=0\r\n", kRed},
    {"x 64, y 128", "[HueTint]\r\nx=64\r\ny=128\r\npreview=0\r\n", {191, 255, 127}},
    {"x 128, y 255", "[HueTint]\r\nx=128\r\ny=255\r\n", kCyan},
    {"x 170, y missing", "[HueTint]\nx=170\n", {0, 4, 255}},
    {"x 200, y 100", "[Other]\r\nx=5\r\n[HueTint]\r\ny=100\r\nx=200\r\n", {223, 155, 255}},
    {"x 255, y 255", "[HueTint]\r\nx=255\r\ny=255\r\n", {255, 0, 6}},
    {"x 0, y 0: white", "[HueTint]\r\nx=0\r\ny=0\r\n", {255, 255, 255}},
    // Edited by hand: a value outside 0..255 runs as the dialog would open it.
    {"x 300, y -5", "[HueTint]\r\nx=300\r\ny=-5\r\n", kRed},
    {"x -1, y 128", "[HueTint]\r\nx=-1\r\ny=128\r\n", {255, 127, 127}},
    {"x 128, y 256", "[HueTint]\r\nx=128\r\ny=256\r\n", kCyan},
    {"x 2147483647, y 0", "[HueTint]\r\nx=2147483647\r\ny=0\r\n", {255, 255, 255}},
};

TEST(SettingsFile, GuideColourFromTheFileBesideThePlugin) {
    for (const FileCase& c : kFiles) {
        TempFolder folder;
        const std::string plugin = folder.CopyPlugin();
        ASSERT_FALSE(plugin.empty()) << "cannot copy the plug-in to " << folder.Path();
        if (c.bytes) {
            ASSERT_TRUE(TempFolder::WriteBytes(folder.Path(), "qvfilters.ini", c.bytes));
        }
        EXPECT_EQ("", RunColorize(plugin, c.guide)) << c.what << ", " << GuideText(c.guide);
    }
}

TEST(SettingsFile, ReadOnEveryRun) {
    TempFolder folder;
    const std::string pluginPath = folder.CopyPlugin();
    const std::string ini = folder.Path() + "\\qvfilters.ini";
    PluginLibrary keepLoaded(WidePath(pluginPath));

    EXPECT_EQ("", RunColorize(pluginPath, kRed)) << "no file yet";
    ASSERT_TRUE(WritePrivateProfileStringA("HueTint", "x", "64", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("HueTint", "y", "128", ini.c_str()));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
    EXPECT_EQ("", RunColorize(pluginPath, {191, 255, 127})) << "x 64, y 128";
    ASSERT_TRUE(WritePrivateProfileStringA("HueTint", "x", "128", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("HueTint", "y", "255", ini.c_str()));
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
    EXPECT_EQ("", RunColorize(pluginPath, kCyan)) << "x 128, y 255";
}

// The plug-in's own folder counts, not the current one.
TEST(SettingsFile, NotFromTheCurrentFolder) {
    TempFolder folder, elsewhere;
    const std::string plugin = folder.CopyPlugin();
    ASSERT_TRUE(TempFolder::WriteBytes(elsewhere.Path(), "qvfilters.ini", "[HueTint]\r\nx=128\r\ny=255\r\n"));
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(elsewhere.Path().c_str()));
    const std::string report = RunColorize(plugin, kRed);
    SetCurrentDirectoryA(previous);
    EXPECT_EQ("", report);
}

struct DeepCase {
    size_t folderLength;
    const char* fileName;
    ReferenceGuide guide;
    // The longest name in the folder's path: a short one puts a backslash
    // near the end of a module path cut short, a long one near its start.
    size_t longestName = 100;
};

// The settings path is built in a buffer of MAX_PATH characters. With the
// plug-in file named q.ppi, a folder of 245 characters leaves just room for
// "\qvfilters.ini" and its terminator; one more and the file name no longer
// fits, and the plug-in runs with the defaults. A module path of 260
// characters or more comes back cut short, and must not name the settings
// file of a folder further up, whose name is whole before the cut.
TEST(SettingsFile, FolderNearTheLengthLimit) {
    const DeepCase cases[] = {
        {200, "q.ppi", kCyan},
        {245, "q.ppi", kCyan},
        {246, "q.ppi", kRed},
        {250, "q.ppi", kRed},
        {253, "q.ppi", kRed},  // the module path is 259 characters
        {257, "q", kRed},      // no extension: loaded as "q."
        {270, "q.ppi", kRed, 240},  // cut short in the one long name
    };
    for (const DeepCase& c : cases) {
        TempFolder base;
        const std::string folder = base.MakeDeepFolder(c.folderLength, c.longestName);
        ASSERT_EQ(c.folderLength, folder.size());
        ASSERT_TRUE(TempFolder::WriteBytes(base.Path(), "qvfilters.ini", "[HueTint]\r\nx=170\r\ny=255\r\n"));
        const std::string plugin = base.CopyPluginTo(folder, c.fileName);
        ASSERT_FALSE(plugin.empty()) << "cannot copy to " << folder;
        ASSERT_TRUE(TempFolder::WriteBytes(folder, "qvfilters.ini", "[HueTint]\r\nx=128\r\ny=255\r\n"));
        const bool noExtension = std::strchr(c.fileName, '.') == nullptr;
        EXPECT_EQ("", RunColorize(noExtension ? plugin + "." : plugin, c.guide)) << "folder of " << c.folderLength << " characters, "
                                                    << GuideText(c.guide);
    }
}

// A module path longer than MAX_PATH: GetModuleFileNameA cuts it short.
TEST(SettingsFile, ModulePathBeyondMaxPath) {
    TempFolder base;
    const std::string folder = base.MakeDeepFolder(300);
    ASSERT_EQ(300u, folder.size());
    const std::string plugin = base.CopyPluginTo(folder, "qvhuetint.ppi");
    ASSERT_FALSE(plugin.empty());
    ASSERT_TRUE(TempFolder::WriteBytes(folder, "qvfilters.ini", "[HueTint]\r\nx=128\r\ny=255\r\n"));
    HMODULE module = LoadLibraryW(LongPathW(plugin).c_str());
    ASSERT_TRUE(module) << "cannot load " << plugin << ", error " << GetLastError();
    typedef int(WINAPI * ExecuteProc)(int, int, void*, void*, int, Region*, int, int, int, ProgressCallback, void*);
    ExecuteProc execute = reinterpret_cast<ExecuteProc>(reinterpret_cast<void*>(GetProcAddress(module, "PBF_Execute")));
    ASSERT_TRUE(execute);
    const Region region = {0, 0, 16, 4};
    TestImage source(16, 4);
    source.FillRandom(region, 77);
    TestImage image = source;
    Region rect = region;
    execute(0, 0, image.Data(), image.Data(), 0, &rect, 0, image.stride, 0, nullptr, nullptr);
    FreeLibrary(module);
    EXPECT_EQ("", image.Compare(source, source, region, kRed));
}

}  // namespace
