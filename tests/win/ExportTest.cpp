// Names, categories and the information line, read through the exports the
// way a host reads them: fixed buffers with canary bytes around the text.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "host/session/PluginLibrary.h"
#include "tests/win/TempFolder.h"

namespace {

// Code page 932 bytes, written out so that no source encoding is involved.
const std::string kCategory = "Color|\x83\x4A\x83\x89\x81\x5B";  // カラー
const std::string kName0 = "Colorize...|\x92\x50\x90\x46\x8C\xF8\x89\xCA...";  // 単色効果...
const std::string kName1 =
    "Colorize by Drawcolor|"
    "\x95\x60\x89\xE6\x90\x46\x82\xC9\x82\xE6\x82\xE9\x92\x50\x90\x46\x8C\xF8\x89\xCA";  // 描画色による単色効果

const char kCanary = '\xA5';
const int kBufferSize = 96;

std::string Hex(const std::string& bytes) {
    std::string out;
    char part[4];
    for (unsigned char c : bytes) {
        std::snprintf(part, sizeof part, "%02X ", c);
        out += part;
    }
    return out;
}

// What strncpy(buffer, text, length) leaves in a buffer of canaries.
std::string Expected(const std::string& text, int length) {
    std::string out(kBufferSize, kCanary);
    for (int i = 0; i < length; ++i) out[i] = i < static_cast<int>(text.size()) ? text[i] : '\0';
    return out;
}

class ExportTest : public ::testing::Test {
protected:
    ExportTest() : plugin(WidePath(BuiltPluginPath())) {}
    PluginLibrary plugin;
};

TEST_F(ExportTest, TwoFilters) { EXPECT_EQ(2, plugin.RawCount()); }

TEST_F(ExportTest, DecoratedNamesAreTheSameFunctions) {
    const struct {
        const char* plain;
        const char* decorated;
    } names[] = {
        {"PB_GetPluginInfo", "_PB_GetPluginInfo@8"}, {"PBF_FilterCount", "_PBF_FilterCount@0"},
        {"PBF_GetName", "_PBF_GetName@20"},          {"PBF_Execute", "_PBF_Execute@44"},
        {"PBF_Setup", "_PBF_Setup@20"},
    };
    for (const auto& n : names) {
        const FARPROC plain = GetProcAddress(plugin.Module(), n.plain);
        EXPECT_NE(nullptr, plain) << n.plain;
        EXPECT_EQ(plain, GetProcAddress(plugin.Module(), n.decorated)) << n.plain << " vs " << n.decorated;
    }
}

TEST_F(ExportTest, FilterTextsAreExactCp932Bytes) {
    const struct {
        int index;
        const std::string& category;
        const std::string& name;
    } filters[] = {{0, kCategory, kName0}, {1, kCategory, kName1}};
    for (const auto& f : filters) {
        std::string category(kBufferSize, kCanary), name(kBufferSize, kCanary);
        char* result = plugin.RawNames(f.index, &category[0], 64, &name[0], 64);
        EXPECT_EQ(&name[0], result) << "returns the name buffer";
        EXPECT_EQ(Hex(Expected(f.category, 64)), Hex(category)) << "category of filter " << f.index;
        EXPECT_EQ(Hex(Expected(f.name, 64)), Hex(name)) << "name of filter " << f.index;
    }
}

struct LengthCase {
    int index;
    int categoryLength;
    int nameLength;
};

// strncpy: zero fill when shorter, no terminator when the text fills the
// length, and nothing at all for a length of zero or less.
TEST_F(ExportTest, GetNameBufferSemantics) {
    const int cat = static_cast<int>(kCategory.size());  // 12
    const int n1 = static_cast<int>(kName1.size());       // 41
    const LengthCase cases[] = {
        {1, cat + 1, n1 + 1},  // just room for the terminator
        {1, cat, n1},          // exactly the text: no terminator
        {1, cat - 1, 10},      // cut inside the text
        {1, 7, 22},            // cut inside a double-byte character
        {1, 1, 1},
        {1, 0, 0},             // nothing written
        {1, -1, -1},
        {1, -1000, 5},
        {0, 80, -5},
        {5, 20, 30},           // out of range: zero bytes up to the lengths
        {-1, 20, 30},
        {2, 16, 1},
        {0x7FFFFFFF, 3, 3},
        {5, 0, -1},
    };
    for (const LengthCase& c : cases) {
        std::string category(kBufferSize, kCanary), name(kBufferSize, kCanary);
        char* result = plugin.RawNames(c.index, &category[0], c.categoryLength, &name[0], c.nameLength);
        const bool inside = c.index == 0 || c.index == 1;
        const std::string& wantName = c.index == 0 ? kName0 : kName1;
        EXPECT_EQ(&name[0], result);
        EXPECT_EQ(Hex(Expected(inside ? kCategory : "", c.categoryLength)), Hex(category))
            << "index " << c.index << " categoryLength " << c.categoryLength;
        EXPECT_EQ(Hex(Expected(inside ? wantName : "", c.nameLength)), Hex(name))
            << "index " << c.index << " nameLength " << c.nameLength;
    }
}

TEST_F(ExportTest, PluginInfoIsOneLineOf63Characters) {
    std::string info(kBufferSize, kCanary);
    EXPECT_EQ(1, plugin.RawInfo(&info[0], 80));
    const size_t length = std::strlen(info.c_str());
    EXPECT_EQ(63u, length) << info.c_str();
    for (size_t i = 0; i < length; ++i)
        EXPECT_TRUE(info[i] >= 0x20 && info[i] < 0x7F) << "character " << i << " is " << int(info[i]);
    EXPECT_EQ(Hex(Expected(info.substr(0, 63), 80)), Hex(info)) << "zero filled up to the length";
}

TEST_F(ExportTest, PluginInfoBufferSemantics) {
    std::string full(kBufferSize, kCanary);
    ASSERT_EQ(1, plugin.RawInfo(&full[0], 64));
    const std::string text = full.substr(0, 63);
    for (int length : {64, 63, 62, 10, 1, 0, -1, -64, INT_MIN}) {
        std::string info(kBufferSize, kCanary);
        EXPECT_EQ(1, plugin.RawInfo(&info[0], length)) << "length " << length;
        EXPECT_EQ(Hex(Expected(text, length < 0 ? 0 : length)), Hex(info)) << "length " << length;
    }
}

}  // namespace
