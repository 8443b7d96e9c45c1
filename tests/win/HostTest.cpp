// ppihost driven as a process, the way a plug-in author or a script uses it:
// exit codes, one-line errors, no stray output files, and the tinted pixels.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "host/cli/ProgressBar.h"
#include "host/image/OutputFile.h"
#include "host/image/WicImage.h"
#include "tests/common/ReferenceTint.h"
#include "tests/common/TestArguments.h"

namespace {

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string BinDir() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path);
    return dir.substr(0, dir.find_last_of("\\/") + 1);
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

struct Result {
    DWORD exitCode = 0;
    std::string out;
    std::string err;
};

std::ostream& operator<<(std::ostream& os, const Result& r) {
    return os << "exit " << r.exitCode << "\n--- stdout:\n" << r.out << "--- stderr:\n" << r.err;
}

// Pixels as 32-bit words, blue in the low byte.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> px;
    uint32_t At(int x, int y) const { return px[size_t(y) * width + x]; }
};

// 24-bit, bottom-up, rows padded to 4 bytes: written by hand so the host's
// own WIC code is not what checks itself.
void WriteBmp24(const std::string& path, const Pixels& image) {
    const int rowBytes = (image.width * 3 + 3) & ~3;
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + rowBytes * image.height;
    ih.biSize = sizeof ih;
    ih.biWidth = image.width;
    ih.biHeight = image.height;
    ih.biPlanes = 1;
    ih.biBitCount = 24;
    ih.biCompression = BI_RGB;
    std::string bytes(reinterpret_cast<const char*>(&fh), sizeof fh);
    bytes.append(reinterpret_cast<const char*>(&ih), sizeof ih);
    for (int y = image.height - 1; y >= 0; --y) {
        std::string row(static_cast<size_t>(rowBytes), '\0');
        for (int x = 0; x < image.width; ++x) std::memcpy(&row[size_t(x) * 3], &image.px[size_t(y) * image.width + x], 3);
        bytes += row;
    }
    WriteFileBytes(path, bytes);
}

// Reads the uncompressed 24- and 32-bit BMPs that the host writes; alpha
// only where a V4 or V5 header's masks hold it.
bool ReadBmp(const std::string& path, Pixels& image) {
    const std::string bytes = ReadFileBytes(path);
    if (bytes.size() < sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)) return false;
    BITMAPFILEHEADER fh;
    BITMAPINFOHEADER ih;
    std::memcpy(&fh, bytes.data(), sizeof fh);
    std::memcpy(&ih, bytes.data() + sizeof fh, sizeof ih);
    if (fh.bfType != 0x4D42 || (ih.biBitCount != 24 && ih.biBitCount != 32)) return false;
    bool alpha = false;
    if (ih.biBitCount == 32 && ih.biSize >= sizeof(BITMAPV4HEADER) &&
        bytes.size() >= sizeof fh + sizeof(BITMAPV4HEADER)) {
        BITMAPV4HEADER v4;
        std::memcpy(&v4, bytes.data() + sizeof fh, sizeof v4);
        if (v4.bV4V4Compression != BI_BITFIELDS || v4.bV4RedMask != 0xFF0000 || v4.bV4GreenMask != 0xFF00 ||
            v4.bV4BlueMask != 0xFF)
            return false;
        alpha = v4.bV4AlphaMask == 0xFF000000u;
    }
    const bool bottomUp = ih.biHeight > 0;
    image.width = ih.biWidth;
    image.height = bottomUp ? ih.biHeight : -ih.biHeight;
    const int bpp = ih.biBitCount / 8;
    const size_t rowBytes = (size_t(image.width) * bpp + 3) & ~size_t(3);
    if (bytes.size() < fh.bfOffBits + rowBytes * image.height) return false;
    image.px.assign(size_t(image.width) * image.height, 0);
    for (int y = 0; y < image.height; ++y) {
        const char* row = bytes.data() + fh.bfOffBits + rowBytes * (bottomUp ? image.height - 1 - y : y);
        for (int x = 0; x < image.width; ++x) {
            uint32_t p = 0xFF000000u;
            std::memcpy(&p, row + size_t(x) * bpp, alpha ? 4 : 3);
            image.px[size_t(y) * image.width + x] = p;
        }
    }
    return true;
}

bool ReadPng(const std::string& path, Pixels& image) {
    try {
        ComScope com;
        const Image loaded = LoadImageFile(Widen(path));
        image.width = loaded.width;
        image.height = loaded.height;
        image.px = loaded.pixels;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string Hex(uint32_t p) {
    char s[12];
    std::snprintf(s, sizeof s, "%08X", p);
    return s;
}

// Greys, primaries and a few mixed colours, 7 wide so BMP rows need padding.
Pixels SampleImage() {
    static const uint32_t colours[] = {0xFF000000, 0xFF404040, 0xFF808080, 0xFFC8C8C8, 0xFFFFFFFF, 0xFFFF0000,
                                       0xFF00FF00, 0xFF0000FF, 0xFF12B4F0, 0xFFF07812, 0xFF7F7F80, 0xFF01FE7F};
    Pixels image;
    image.width = 7;
    image.height = 5;
    for (int i = 0; i < image.width * image.height; ++i) image.px.push_back(colours[i % 12]);
    return image;
}

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        static int counter = 0;
        dir = std::string(temp) + "ppihost-test-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(++counter) + "\\";
        // Wine reuses process ids: a folder an aborted run left goes first.
        RemoveTree(dir);
        CreateDirectoryA(dir.c_str(), nullptr);
        plugin = BinDir() + "qvhuetint.ppi";
        testPlugin = BinDir() + "host_test_plugin.ppi";
        source = SampleImage();
        WriteBmp24(dir + "in.bmp", source);
    }

    void TearDown() override { RemoveTree(dir); }

    // folder (with its trailing separator) and all in it.
    static void RemoveTree(const std::string& folder) {
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((folder + "*").c_str(), &found);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                const std::string path = folder + found.cFileName;
                if (!std::strcmp(found.cFileName, ".") || !std::strcmp(found.cFileName, "..")) continue;
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                    RemoveTree(path + "\\");
                else
                    DeleteFileA(path.c_str());
            } while (FindNextFileA(h, &found));
            FindClose(h);
        }
        RemoveDirectoryA(folder.c_str());
    }

    // Names in the test's folder, sorted.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((dir + "*").c_str(), &found);
        if (h == INVALID_HANDLE_VALUE) return names;
        do {
            if (std::strcmp(found.cFileName, ".") && std::strcmp(found.cFileName, ".."))
                names.push_back(found.cFileName);
        } while (FindNextFileA(h, &found));
        FindClose(h);
        std::sort(names.begin(), names.end());
        return names;
    }

    // Runs ppihost with args, its output going to files (no pipe to fill up).
    Result Host(const std::vector<std::string>& args) {
        std::wstring line = L"\"" + Widen(BinDir()) + L"ppihost.exe\"";
        for (const std::string& a : args) line += L" \"" + Widen(a) + L"\"";
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        // Fresh names for every run: under Wine the last child's handles may
        // still be closing when its process is already signalled.
        static int runs = 0;
        const std::string outName = std::string(temp) + "ppihost-test-out-" + std::to_string(GetCurrentProcessId()) +
                                    "-" + std::to_string(++runs);
        const std::string errName = outName + ".err";
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        HANDLE out = CreateFileA(outName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
        HANDLE err = CreateFileA(errName.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        si.hStdOutput = out;
        si.hStdError = err;
        PROCESS_INFORMATION pi = {};
        Result r;
        std::vector<wchar_t> buffer(line.begin(), line.end());
        buffer.push_back(0);
        // No console of its own: the three handles above are all it writes to.
        if (CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                           &pi)) {
            // A check starts a worker per host environment: minutes, emulated.
            if (WaitForSingleObject(pi.hProcess, 600000) != WAIT_OBJECT_0) {
                TerminateProcess(pi.hProcess, 99);
                WaitForSingleObject(pi.hProcess, 5000);
            }
            GetExitCodeProcess(pi.hProcess, &r.exitCode);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        } else {
            r.exitCode = 98;
        }
        CloseHandle(out);
        CloseHandle(err);
        r.out = ReadFileBytes(outName);
        r.err = ReadFileBytes(errName);
        DeleteFileA(outName.c_str());
        DeleteFileA(errName.c_str());
        return r;
    }

    std::string dir;
    std::string plugin;
    std::string testPlugin;
    Pixels source;
};

// Exactly one line, "ppihost: ..." naming the problem.
void ExpectOneLineError(const Result& r, const std::string& mention) {
    EXPECT_NE(0u, r.exitCode) << r;
    EXPECT_EQ(0u, r.err.rfind("ppihost: ", 0)) << r;
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r;
    EXPECT_EQ('\n', r.err.empty() ? 0 : r.err.back()) << r;
    EXPECT_NE(std::string::npos, r.err.find(mention)) << "expected a mention of '" << mention << "'\n" << r;
}

// ppihost's own logic: the same code on 32 bits, where each ppihost costs
// seconds emulated, so the emulated machine leaves it to the 64-bit build.
class HostLogic : public HostTest {};

TEST_F(HostTest, ListsInformationLineAndFiltersInUtf8) {
    const Result r = Host({"list", plugin});
    ASSERT_EQ(0u, r.exitCode) << r;
    const std::string expected =
        "qvhuetint.ppi colorize filters, Copyright (C) 2025-2026 QV Labs\n"
        "0\tColor|\xE3\x82\xAB\xE3\x83\xA9\xE3\x83\xBC\tColorize...|\xE5\x8D\x98\xE8\x89\xB2\xE5\x8A\xB9\xE6\x9E\x9C...\n"
        "1\tColor|\xE3\x82\xAB\xE3\x83\xA9\xE3\x83\xBC\tColorize by Drawcolor|"
        "\xE6\x8F\x8F\xE7\x94\xBB\xE8\x89\xB2\xE3\x81\xAB\xE3\x82\x88\xE3\x82\x8B\xE5\x8D\x98\xE8\x89\xB2\xE5\x8A\xB9"
        "\xE6\x9E\x9C\n";
    EXPECT_EQ(expected, r.out);
    EXPECT_EQ("", r.err);
}

// Every pixel of the result against the formula, for several guide colours
// and both output formats.
TEST_F(HostTest, DrawColorRunTintsEveryPixel) {
    struct Case {
        const char* drawColor;  // null: the host's default, black
        const char* out;
        ReferenceGuide guide;
    };
    const Case cases[] = {
        {"0000FF", "blue.bmp", {0, 0, 255}},  {"FF0000", "red.png", {255, 0, 0}},
        {"#2060C0", "mid.bmp", {0x20, 0x60, 0xC0}}, {"ffffff", "white.png", {255, 255, 255}},
        {nullptr, "black.bmp", {0, 0, 0}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"run", plugin, "1", dir + "in.bmp", dir + c.out};
        if (c.drawColor) args.insert(args.end(), {"--draw-color", c.drawColor});
        const Result r = Host(args);
        ASSERT_EQ(0u, r.exitCode) << c.out << "\n" << r;
        // Not a console: the finished bar alone, 79 columns wide.
        EXPECT_EQ("Colorize by Drawcolor|描画色による単色効果 [#############################] 100%\n", r.err);
        Pixels out;
        const std::string path = dir + c.out;
        ASSERT_TRUE(path.back() == 'p' ? ReadBmp(path, out) : ReadPng(path, out)) << path;
        ASSERT_EQ(source.width, out.width);
        ASSERT_EQ(source.height, out.height);
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x)
                ASSERT_EQ(Hex(ReferenceTint(source.At(x, y), c.guide)), Hex(out.At(x, y)))
                    << c.out << " at " << x << "," << y << " from " << Hex(source.At(x, y));
    }
    EXPECT_EQ((std::vector<std::string>{"black.bmp", "blue.bmp", "in.bmp", "mid.bmp", "red.png", "white.png"}),
              Files());
}

TEST_F(HostTest, RectangleLimitsTheChange) {
    const Result r = Host({"run", plugin, "1", dir + "in.bmp", dir + "out.png", "--rect", "2,1,5,4",
                           "--draw-color", "00FF00"});
    ASSERT_EQ(0u, r.exitCode) << r;
    Pixels out;
    ASSERT_TRUE(ReadPng(dir + "out.png", out));
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const bool inside = x >= 2 && x < 5 && y >= 1 && y < 4;
            const uint32_t expected = inside ? ReferenceTint(source.At(x, y), {0, 255, 0}) : source.At(x, y);
            ASSERT_EQ(Hex(expected), Hex(out.At(x, y))) << x << "," << y << (inside ? " inside" : " outside");
        }
}

// With no settings file beside the plug-in, Colorize runs with its default
// position, whose guide colour is pure red.
TEST_F(HostTest, ColorizeWithoutSettingsTintsRed) {
    const std::string copy = dir + "qvhuetint.ppi";
    ASSERT_TRUE(CopyFileA(plugin.c_str(), copy.c_str(), FALSE));
    const Result r = Host({"run", copy, "0", dir + "in.bmp", dir + "out.bmp"});
    ASSERT_EQ(0u, r.exitCode) << r;
    Pixels out;
    ASSERT_TRUE(ReadBmp(dir + "out.bmp", out));
    for (size_t i = 0; i < out.px.size(); ++i)
        ASSERT_EQ(Hex(ReferenceTint(source.px[i], {255, 0, 0})), Hex(out.px[i])) << "pixel " << i;
}

TEST_F(HostLogic, ErrorsGiveOneLineAndWriteNothing) {
    WriteFileBytes(dir + "garbage.png", "this is not an image\n");
    const std::string system = [] {
        char path[MAX_PATH];
        GetSystemDirectoryA(path, MAX_PATH);
        return std::string(path) + "\\version.dll";
    }();
    const std::string in = dir + "in.bmp", out = dir + "out.png";
    struct Case {
        std::vector<std::string> args;
        const char* mention;
    };
    const std::vector<Case> cases = {
        {{"run", dir + "missing.ppi", "0", in, out}, "plug-in not found"},
        {{"run", system, "0", in, out}, "does not export PB_GetPluginInfo"},
        {{"run", dir + "garbage.png", "0", in, out}, "not a Windows DLL"},
        {{"list", dir + "missing.ppi"}, "plug-in not found"},
        {{"run", plugin, "0", dir + "missing.png", out}, "cannot read image"},
        {{"run", plugin, "0", dir + "garbage.png", out}, "cannot read image"},
        {{"run", plugin, "2", in, out}, "bad filter index 2"},
        {{"run", plugin, "-1", in, out}, "bad filter index -1"},
        {{"run", plugin, "one", in, out}, "bad filter index 'one'"},
        {{"run", plugin, "0", in, out, "--rect", "0,0,8,5"}, "not inside the 7x5 image"},
        {{"run", plugin, "0", in, out, "--rect", "-1,0,3,3"}, "not inside"},
        {{"run", plugin, "0", in, out, "--rect", "0,0,7,6"}, "not inside"},
        {{"run", plugin, "0", in, out, "--rect", "4,1,2,3"}, "inverted"},
        {{"run", plugin, "0", in, out, "--rect", "1,3,4,3"}, "inverted"},
        {{"run", plugin, "0", in, out, "--rect", "1,2,3"}, "bad rectangle '1,2,3'"},
        {{"run", plugin, "1", in, out, "--draw-color", "GG0000"}, "bad drawing colour"},
        {{"run", plugin, "1", in, dir + "out.jpg"}, "only .png and .bmp"},
        {{"run", plugin, "1", in, dir + "no-such-folder\\out.png"}, "cannot write"},
        {{"run", plugin, "1", in}, "missing arguments"},
        {{"run", plugin, "1", in, in, dir + "no-such-folder"}, "output folder"},
        {{"run", plugin, "1", in, out, "--colour", "1"}, "unknown option --colour"},
        {{"setup", plugin, "5", in}, "bad filter index 5"},
        {{"setup", plugin, "1", in, "--press", "maybe"}, "bad button"},
        {{"setup", plugin, "1", in, "--run", dir + "out.gif"}, "only .png and .bmp"},
        {{"frobnicate"}, "unknown command"},
    };
    for (const Case& c : cases) {
        const Result r = Host(c.args);
        std::string joined;
        for (const auto& a : c.args) joined += a + " ";
        SCOPED_TRACE(joined);
        ExpectOneLineError(r, c.mention);
        EXPECT_EQ("", r.out);
        EXPECT_EQ((std::vector<std::string>{"garbage.png", "in.bmp"}), Files());
    }
}

TEST_F(HostLogic, FailedRunLeavesExistingOutputAlone) {
    WriteFileBytes(dir + "out.png", "previous");
    ExpectOneLineError(Host({"run", plugin, "9", dir + "in.bmp", dir + "out.png"}), "bad filter index");
    ExpectOneLineError(Host({"run", plugin, "0", dir + "in.bmp", dir + "out.png", "--rect", "0,0,99,1"}),
                       "not inside");
    EXPECT_EQ("previous", ReadFileBytes(dir + "out.png"));
    EXPECT_EQ((std::vector<std::string>{"in.bmp", "out.png"}), Files());
}

// Found before the filter runs: one line and no progress bar, the folder
// as it was.
TEST_F(HostLogic, UnwritableOutputIsFoundBeforeTheRun) {
    ASSERT_TRUE(CreateDirectoryA((dir + "folder.png").c_str(), nullptr));
    WriteFileBytes(dir + "locked.bmp", "previous");
    ASSERT_TRUE(SetFileAttributesA((dir + "locked.bmp").c_str(), FILE_ATTRIBUTE_READONLY));
    struct Case {
        std::string out;
        const char* mention;
    };
    std::vector<Case> cases = {{dir + "folder.png", "there is a folder of that name"},
                               {dir + "locked.bmp", "the file is read-only"}};
    // A folder in which no one, root included, can create a file: Wine's
    // view of /proc.
    if (GetFileAttributesA("Z:\\proc\\self") != INVALID_FILE_ATTRIBUTES)
        cases.push_back({"Z:\\proc\\out.png", "cannot create a file in its folder"});
    for (const Case& c : cases) {
        const Result r = Host({"run", plugin, "1", dir + "in.bmp", c.out});
        SCOPED_TRACE(c.out);
        ExpectOneLineError(r, c.mention);
        EXPECT_EQ(1u, r.exitCode);
    }
    EXPECT_EQ("previous", ReadFileBytes(dir + "locked.bmp"));
    EXPECT_EQ((std::vector<std::string>{"folder.png", "in.bmp", "locked.bmp"}), Files());
}

// Ctrl+C in the middle of writing the output: no temporary file, no output.
TEST_F(HostLogic, InterruptWhileWritingLeavesNothing) {
    // Noise, so that its PNG takes a while to write.
    Pixels noise;
    noise.width = 1600;
    noise.height = 1200;
    uint32_t seed = 1;
    for (int i = 0; i < noise.width * noise.height; ++i) {
        seed = seed * 1664525u + 1013904223u;
        noise.px.push_back(0xFF000000u | (seed >> 8));
    }
    WriteBmp24(dir + "noise.bmp", noise);
    SetEnvironmentVariableA("QV_INTERRUPT_FOLDER", dir.c_str());
    const Result r = Host({"run", testPlugin, "3", dir + "noise.bmp", dir + "out.png"});
    SetEnvironmentVariableA("QV_INTERRUPT_FOLDER", nullptr);
    EXPECT_EQ(static_cast<DWORD>(STATUS_CONTROL_C_EXIT), r.exitCode) << r;
    EXPECT_NE(std::string::npos, r.err.find("\nppihost: interrupted; nothing was written\n")) << r;
    EXPECT_EQ((std::vector<std::string>{"in.bmp", "noise.bmp"}), Files());
}

// OUT may name IN in any spelling: IN is read whole before OUT replaces it,
// so each run tints the previous result once more.
TEST_F(HostLogic, OutputOverInputInAnySpelling) {
    const std::string name = "Long source name.bmp";
    const std::string in = dir + name;
    WriteBmp24(in, source);
    std::string slashes = in;
    std::replace(slashes.begin(), slashes.end(), '\\', '/');
    std::string upper = in;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    char shortName[MAX_PATH] = "";
    GetShortPathNameA(in.c_str(), shortName, MAX_PATH);
    std::vector<std::string> spellings = {in, upper, slashes, dir + ".\\sub\\..\\" + name, name};
    if (*shortName && in != shortName) spellings.push_back(shortName);
    Pixels expected = source;
    char previous[MAX_PATH];
    GetCurrentDirectoryA(MAX_PATH, previous);
    // The bare name is relative to the folder ppihost starts in.
    SetCurrentDirectoryA(dir.c_str());
    for (const std::string& out : spellings) {
        const Result r = Host({"run", plugin, "1", in, out, "--draw-color", "2060C0"});
        ASSERT_EQ(0u, r.exitCode) << out << "\n" << r;
        for (uint32_t& p : expected.px) p = ReferenceTint(p, {0x20, 0x60, 0xC0});
        Pixels result;
        ASSERT_TRUE(ReadBmp(in, result)) << out;
        ASSERT_EQ(expected.px.size(), result.px.size()) << out;
        for (size_t i = 0; i < result.px.size(); ++i) ASSERT_EQ(Hex(expected.px[i]), Hex(result.px[i])) << out;
    }
    SetCurrentDirectoryA(previous);
    EXPECT_EQ((std::vector<std::string>{name, "in.bmp"}), Files());
}

// A batch: the images of a folder by name, or the files given, each written
// whole into OUTDIR or reported in one line while the rest go on; an output
// may replace its own input but no other file's input or output.
TEST_F(HostLogic, BatchWritesEachFileOrReportsIt) {
    const std::string scans = dir + "scans\\", own = dir + "own\\", out = dir + "out\\", in = dir + "in.bmp";
    for (const std::string& folder : {scans, scans + "sub", own, out}) CreateDirectoryA(folder.c_str(), nullptr);
    for (const char* name : {"scan10.bmp", "scan2.bmp", "sub\\scan1.bmp"}) WriteBmp24(scans + name, source);
    WriteFileBytes(scans + "scan3.png", "not an image");
    WriteFileBytes(scans + "notes.txt", "not an image either");
    // Read by its content, written as a PNG over itself.
    WriteBmp24(own + "same.png", source);
    WriteFileBytes(own + "same.tif", "never read");
    auto bar = [](const char* counter) {
        return std::string(counter) + " Colorize by Drawcolor|描画色による単色効果 [" + std::string(23, '#') +
               "] 100%\n";
    };
    struct Case {
        std::vector<std::string> inputs;
        std::string folder;
        DWORD exitCode;
        std::string err;
        std::vector<std::string> written;
    };
    const Case cases[] = {
        {{scans + "scan2.bmp", scans + "scan10.bmp"}, out, 0, bar("[1/2]") + bar("[2/2]"), {"scan10.bmp", "scan2.bmp"}},
        {{dir + "scans"}, out, 1,
         "ppihost: skipped: 1 file that no decoder reads: notes.txt\n" + bar("[1/3]") +
             "ppihost: [2/3] cannot read image '" + scans +
             "scan3.png': not an image in a format this system can read\n" + bar("[3/3]") +
             "ppihost: 1 of 3 files not written\n",
         {"scan10.bmp", "scan2.bmp"}},
        {{in, scans + "scan2.bmp", dir + ".\\in.bmp"}, out, 1,
         bar("[1/3]") + bar("[2/3]") + "ppihost: [3/3] '" + dir + ".\\in.bmp' not run: its output '" + out +
             "in.bmp' is the output of '" + in + "'\n" + "ppihost: 1 of 3 files not written\n",
         {"in.bmp", "scan2.bmp"}},
        {{own + "same.tif", own + "same.png"}, own, 1,
         "ppihost: [1/2] '" + own + "same.tif' not run: its output '" + own + "same.png' would replace the input '" +
             own + "same.png'\n" + bar("[2/2]") + "ppihost: 1 of 2 files not written\n",
         {"same.png", "same.tif"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"run", plugin, "1"};
        args.insert(args.end(), c.inputs.begin(), c.inputs.end());
        args.push_back(c.folder.substr(0, c.folder.size() - 1));
        const Result r = Host(args);
        SCOPED_TRACE(c.inputs[0]);
        EXPECT_EQ(c.exitCode, r.exitCode) << r;
        EXPECT_EQ(c.err, r.err);
        std::vector<std::string> written;
        WIN32_FIND_DATAA found;
        HANDLE h = FindFirstFileA((c.folder + "*").c_str(), &found);
        do
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) written.push_back(found.cFileName);
        while (FindNextFileA(h, &found));
        FindClose(h);
        std::sort(written.begin(), written.end());
        EXPECT_EQ(c.written, written);
        for (const std::string& name : written) {
            if (name == "same.tif") continue;
            Pixels result;
            ASSERT_TRUE(ReadPng(c.folder + name, result)) << name;
            for (size_t i = 0; i < result.px.size(); ++i)
                ASSERT_EQ(Hex(ReferenceTint(source.px[i], {0, 0, 0})), Hex(result.px[i])) << name << " pixel " << i;
            if (c.folder == out) DeleteFileA((out + name).c_str());
        }
    }
    Pixels untouched;
    ASSERT_TRUE(ReadBmp(scans + "sub\\scan1.bmp", untouched));
    EXPECT_EQ(source.px, untouched.px);
    EXPECT_EQ((std::vector<std::string>{"in.bmp", "out", "own", "scans"}), Files());
}

// A plug-in that faults is reported in one line and leaves no file, also
// when the fault is inside its dialog procedure, where Wine would catch it.
TEST_F(HostLogic, FaultInPluginIsReported) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"run", testPlugin, "1", dir + "in.bmp", dir + "out.png"},
          std::vector<std::string>{"setup", testPlugin, "1", dir + "in.bmp", "--run", dir + "out.png"}}) {
        const Result r = Host(args);
        EXPECT_EQ(3u, r.exitCode) << args[0];
        ExpectOneLineError(r, "in host_test_plugin.ppi");
        EXPECT_EQ((std::vector<std::string>{"in.bmp"}), Files());
    }
}

// Each mode of the stand-in plug-in breaks one promise of the contract: the
// check that names it fails, once, for that reason, and every other check
// passes. A fault fails each check that meets it, and the checks after it
// still run, in a fresh worker. --check-modes=a,b keeps some modes: the
// emulated machine runs only what differs on 32 bits.
TEST_F(HostTest, CheckFailsTheCheckOfEachBrokenPromise) {
    const std::string modes = TestArgument("check-modes");
    const std::string kept = "," + modes + ",";
    const std::string copy = dir + "check.ppi";
    ASSERT_TRUE(CopyFileA(testPlugin.c_str(), copy.c_str(), FALSE));
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    const bool bits32 = sizeof(void*) == 4;
    struct Case {
        const char* mode;
        std::string plugin;
        bool setup;
        int failures;
        std::string line;  // the start of the first FAIL line, or of the line to look at
        bool faults = false;
    };
    const Case cases[] = {
        {"good", copy, true, 0, "ok    filter 0 rectangles: whole, inner and one-pixel rectangles of 512x384 and 13x9 "
                                "images, rows against no-access pages: nothing outside changed, source kept; alpha "
                                "kept; asked the host for the drawing colour 6 times"},
        {"good", std::string(system) + "\\version.dll", false, 1,
         "FAIL  load: expected a DLL that loads and exports PB_GetPluginInfo"},
        {"cdecl", copy, false, bits32 ? 1 : 0,
         bits32 ? "FAIL  stdcall: expected each export to take its own arguments off the stack (stdcall); seen "
                  "PB_GetPluginInfo took 0 bytes of arguments off the stack, not 8"
                : "skip  stdcall: a 64-bit process has one calling convention"},
        {"leak", copy, false, 1, "FAIL  reload: expected no handle left open by 20 loads and unloads; seen 20 more"},
        {"info", copy, false, 1,
         "FAIL  info: expected the information line to end with a zero within the 256 bytes given; seen no zero"},
        {"names", copy, false, 1,
         "FAIL  names: expected filter 0's name to be code page 932 text; seen the lead byte 0x83 at byte 6 without"},
        {"outside", copy, false, 1,
         "FAIL  filter 0 rectangles: expected nothing outside the rectangle to change; seen the destination's padding "
         "before row 0 (x -1) changed"},
        {"progress", copy, false, 1,
         "FAIL  filter 0 progress: expected done never to go back; seen (100,100) then (40,100)"},
        {"empty", copy, false, 1,
         "FAIL  filter 0 empty rectangles: expected nothing written for the empty rectangle 0,0,0,0; seen the "
         "destination's pixel 0,0 changed"},
        {"setup", copy, true, 1,
         "FAIL  filter 0 set-up: expected no file in the plug-in's folder to change; seen check-setup.txt added"},
        // The host-environment lines: the default state's worker faults too,
        // and the other states have nothing to compare with.
        {"fault", copy, true, 3,
         "FAIL  filter 0 rectangles: expected no fault; seen exception 0xC0000005 (writing "},
        // 0/0 in the set-up's dialog traps where invalid operations are
        // unmasked: Delphi's state and every "all at once".
        {"float", copy, true, bits32 ? 3 : 2,
         bits32 ? "FAIL  host-env: Delphi exceptions: expected no fault; seen exception 0xC00002B5 (SSE floating-point) "
                  "in check.ppi+0x"
                : "FAIL  host-env: Delphi exceptions: expected no fault; seen exception 0xC0000090 (invalid-operation) "
                  "in check.ppi+0x"},
        // A check that hangs ends its worker (--patience 10); a fresh one
        // goes on.
        {"hang", copy, false, 1, "FAIL  filter 0 rectangles: a hang: no answer within 10 s"},
        // Down, up, toward zero, all at once, and on 32 bits all at once
        // again over a 4-byte stack: one pixel of each row differs.
        {"rounding", copy, false, bits32 ? 5 : 4,
         "FAIL  host-env: rounding down: 384 pixels of filter 0 differ from the default state's run (first at 0,0: "},
        {"stack", copy, true, bits32 ? 4 : 0,
         bits32 ? "FAIL  host-env: 4-byte stack: expected no fault; seen exception 0xC0000005 ("
                : "ok    host-env: default: 1 filter over the 512x384 image, set-ups ended by Cancel; the reference "
                  "for the other states"},
        // One for each of the sweep's detectors, each met only when GetDC
        // fails (a hang gives up after --patience 10).
        {"getdc", copy, false, 1,
         "FAIL  faults: filter 0 over an image: GetDC returning NULL, ERROR_NOT_ENOUGH_MEMORY (calls 1, 2 and 3 of 3, "
         "each failing alone, and every call): exception 0xC0000005 (writing 00",
         true},
        {"getdc-handle", copy, false, 2,
         "FAIL  faults: filter 0 over an image: GetDC returning NULL, ERROR_NOT_ENOUGH_MEMORY (calls 1, 2 and 3 of 3, "
         "each failing alone): a leak: 1 handle more after the unload",
         true},
        {"getdc-gdi", copy, false, 2,
         "FAIL  faults: filter 0 over an image: GetDC returning NULL, ERROR_NOT_ENOUGH_MEMORY (calls 1, 2 and 3 of 3, "
         "each failing alone): a leak: GDI objects not given back (1 from CreateCompatibleDC)",
         true},
        {"getdc-window", copy, false, 2,
         "FAIL  faults: filter 0 over an image: GetDC returning NULL, ERROR_NOT_ENOUGH_MEMORY (calls 1, 2 and 3 of 3, "
         "each failing alone): a leak: 1 window more after the unload",
         true},
        {"getdc-module", copy, false, 2,
         "FAIL  faults: filter 0 over an image: GetDC returning NULL, ERROR_NOT_ENOUGH_MEMORY (calls 1, 2 and 3 of 3, "
         "each failing alone): a leak: module references not given back (1 from GetModuleHandleExW)",
         true},
        {"getdc-outside", copy, false, 3,
         "FAIL  faults: filter 0 over an image: GetDC returning NULL, ERROR_NOT_ENOUGH_MEMORY (call 1 of 3 failing "
         "alone, and every call): a write outside the rectangle: pixel -1,0 from ",
         true},
        {"getdc-hang", copy, false, 1,
         "FAIL  faults: filter 0 over an image: GetDC returning NULL, ERROR_NOT_ENOUGH_MEMORY (call 1 of 3 failing "
         "alone, and every call): a hang: no answer within 10 s",
         true},
        // Asked once in a process: the runs planned to fail it have no call to fail.
        {"getdc-once", copy, false, 1,
         "FAIL  faults: filter 0 over an image: GetDC returning NULL, ERROR_NOT_ENOUGH_MEMORY (call 1 of 1 failing "
         "alone, and every call): the call meant to fail was not made",
         true},
    };
    for (const Case& c : cases) {
        if (!modes.empty() && kept.find(std::string(",") + c.mode + ",") == std::string::npos) continue;
        SCOPED_TRACE(c.mode + (" " + c.plugin));
        SetEnvironmentVariableA("QV_CHECK_MODE", c.mode);
        // The speed lines time the machine, not the contract.
        std::vector<std::string> args = {"check", c.plugin, "--no-speed"};
        if (c.setup) args.push_back("--setup");
        if (c.faults) args.push_back("--faults");
        if (c.faults || std::string(c.mode) == "hang") args.insert(args.end(), {"--patience", "10"});
        const Result r = Host(args);
        DeleteFileA((dir + "check-setup.txt").c_str());
        DeleteFileA((dir + "check-hung.txt").c_str());
        std::vector<std::string> lines;
        std::istringstream out(r.out);
        for (std::string line; std::getline(out, line);) lines.push_back(line);
        ASSERT_GE(lines.size(), 3u) << r;
        EXPECT_EQ("ppihost check " + c.plugin + (bits32 ? " (32-bit)" : " (64-bit)"), lines.front());
        int failures = 0, passed = 0, skipped = 0;
        std::string shown;
        for (const std::string& line : lines) {
            failures += line.rfind("FAIL  ", 0) == 0;
            passed += line.rfind("ok    ", 0) == 0;
            skipped += line.rfind("skip  ", 0) == 0;
            if (shown.empty() && line.rfind(c.line.substr(0, 12), 0) == 0) shown = line;
        }
        EXPECT_EQ(c.failures, failures) << r;
        EXPECT_EQ(0u, shown.rfind(c.line, 0)) << "expected a line starting\n" << c.line << "\n" << r;
        EXPECT_EQ(std::to_string(passed) + " passed, " + std::to_string(failures) + " failed, " +
                      std::to_string(skipped) + " skipped",
                  lines.back());
        EXPECT_EQ(c.failures ? 1u : 0u, r.exitCode) << r;
        // --faults draws its progress on stderr: the finished line, off a console.
        if (c.faults)
            EXPECT_EQ(0u, r.err.rfind("faults ", 0)) << r;
        else
            EXPECT_EQ("", r.err);
        EXPECT_EQ(std::string::npos, r.out.find(" speed: ")) << r;
        if (std::string(c.mode) == "getdc") {
            EXPECT_NE(std::string::npos, r.out.find(") in check.ppi+0x")) << r;
            EXPECT_NE(std::string::npos, r.out.find("\ninfo  faults: imports in neither list, passed through: ")) << r;
        }
        if (std::string(c.mode) == "stack" && bits32) {
            EXPECT_NE(std::string::npos, r.out.find("during PBF_Execute of filter 0\nFAIL  host-env: 8-byte stack"))
                << r;
        }
        if (std::string(c.mode) == "fault") {
            EXPECT_NE(std::string::npos, r.out.find("\nFAIL  filter 0 progress: expected no fault; seen exception 0xC0000005 (")) << r;
            EXPECT_NE(std::string::npos, r.out.find("\nok    filter 0 set-up: dialog shown")) << r;
        }
    }
    SetEnvironmentVariableA("QV_CHECK_MODE", nullptr);
    EXPECT_EQ((std::vector<std::string>{"check.ppi", "in.bmp"}), Files());
}

// The query answers code 1 with blue, green, red and a zero, in exactly four
// bytes, and leaves the buffer of any other code alone.
TEST_F(HostLogic, QueryClientInfoWritesFourBytes) {
    Pixels wide;
    wide.width = 20;
    wide.height = 1;
    wide.px.assign(20, 0xFF000000u);
    WriteBmp24(dir + "wide.bmp", wide);
    struct Case {
        const char* drawColor;
        uint8_t b, g, r;
    };
    for (const Case& c : {Case{"123456", 0x56, 0x34, 0x12}, Case{nullptr, 0, 0, 0}, Case{"FF8001", 1, 0x80, 0xFF}}) {
        std::vector<std::string> args = {"run", testPlugin, "2", dir + "wide.bmp", dir + "query.bmp"};
        if (c.drawColor) args.insert(args.end(), {"--draw-color", c.drawColor});
        const Result r = Host(args);
        ASSERT_EQ(0u, r.exitCode) << r;
        Pixels out;
        ASSERT_TRUE(ReadBmp(dir + "query.bmp", out));
        std::vector<int> bytes;
        for (int i = 0; i < 18; ++i) bytes.push_back(static_cast<int>(out.px[i] & 0xFF));
        const std::vector<int> expected = {c.b,  c.g,  c.r,  0,    0xCC, 0xCC, 0xCC, 0xCC, 0xCC,
                                           0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 0xCC, 1,    0};
        EXPECT_EQ(expected, bytes) << (c.drawColor ? c.drawColor : "default");
    }
}

TEST_F(HostLogic, SetupWithoutDialogSaysRunAndRuns) {
    const Result r = Host({"setup", plugin, "1", dir + "in.bmp", "--run", dir + "out.bmp", "--draw-color", "0000FF"});
    ASSERT_EQ(0u, r.exitCode) << r;
    EXPECT_EQ("dialog: none\nPBF_Setup(1) returned 1: the host should now run the filter\nwrote " + dir +
                  "out.bmp (7x5, filter 1, rectangle 0,0,7,5)\n",
              r.out);
    Pixels out;
    ASSERT_TRUE(ReadBmp(dir + "out.bmp", out));
    for (size_t i = 0; i < out.px.size(); ++i)
        ASSERT_EQ(Hex(ReferenceTint(source.px[i], {0, 0, 255})), Hex(out.px[i])) << "pixel " << i;
}

// The failed screenshot fails the command: --run writes nothing either.
TEST_F(HostLogic, ScreenshotWithoutDialogIsAnError) {
    for (const bool run : {false, true}) {
        std::vector<std::string> args = {"setup", plugin, "1", dir + "in.bmp", "--screenshot", dir + "shot.png"};
        if (run) args.insert(args.end(), {"--run", dir + "out.bmp"});
        const Result r = Host(args);
        SCOPED_TRACE(run ? "with --run" : "without --run");
        ExpectOneLineError(r, "showed no dialog");
        EXPECT_EQ(1u, r.exitCode);
        EXPECT_EQ((std::vector<std::string>{"in.bmp"}), Files());
    }
}

// The stand-in dialog holds an up-down and a trackbar: it only comes up when
// the host has registered their classes (PBF_Setup would return 7).
TEST_F(HostLogic, SetupPressesButtonsAndCapturesTheDialog) {
    struct Case {
        const char* press;
        const char* result;
        bool runs;
    };
    for (const Case& c : {Case{"cancel", "returned 0: the host should not run", false},
                          Case{"ok", "returned 1: the host should now run", true}}) {
        const std::string shot = dir + "shot-" + c.press + ".png";
        const std::string out = dir + "run-" + c.press + ".bmp";
        const Result r = Host({"setup", testPlugin, "0", dir + "in.bmp", "--screenshot", shot, "--press", c.press,
                               "--run", out});
        ASSERT_EQ(0u, r.exitCode) << r;
        EXPECT_NE(std::string::npos, r.out.find(c.result)) << r;
        EXPECT_EQ(c.runs, GetFileAttributesA(out.c_str()) != INVALID_FILE_ATTRIBUTES) << r;
        int w = 0, h = 0;
        ASSERT_EQ(2, std::sscanf(r.out.c_str(), "dialog: shown, %dx%d", &w, &h)) << r;
        Pixels image;
        ASSERT_TRUE(ReadPng(shot, image)) << shot;
        EXPECT_EQ(w, image.width);
        EXPECT_EQ(h, image.height);
        // A captured dialog has a caption, a face and text: many colours.
        std::vector<uint32_t> colours(image.px);
        std::sort(colours.begin(), colours.end());
        const auto distinct = std::unique(colours.begin(), colours.end()) - colours.begin();
        EXPECT_GE(distinct, 3) << shot;
    }
    EXPECT_EQ((std::vector<std::string>{"in.bmp", "run-ok.bmp", "shot-cancel.png", "shot-ok.png"}), Files());
}

// A transparent PNG keeps its alpha in both output formats: PNG, and a
// 32-bit BMP whose header's masks hold alpha.
TEST_F(HostTest, TransparencyIsKept) {
    static const uint32_t alphas[] = {0x00, 0x01, 0x80, 0xFE, 0xFF};
    Image transparent;
    transparent.width = source.width;
    transparent.height = source.height;
    for (size_t i = 0; i < source.px.size(); ++i)
        transparent.pixels.push_back((source.px[i] & 0xFFFFFFu) | alphas[i % 5] << 24);
    {
        ComScope com;
        OutputFile png(Widen(dir + "alpha.png"));
        png.Write(transparent);
        png.Commit();
    }
    for (const char* out : {"out.png", "out.bmp"}) {
        const Result r = Host({"run", plugin, "1", dir + "alpha.png", dir + out, "--draw-color", "2060C0"});
        ASSERT_EQ(0u, r.exitCode) << r;
        Pixels result;
        const std::string path = dir + out;
        ASSERT_TRUE(path.back() == 'p' ? ReadBmp(path, result) : ReadPng(path, result)) << path;
        ASSERT_EQ(transparent.pixels.size(), result.px.size());
        for (size_t i = 0; i < result.px.size(); ++i)
            ASSERT_EQ(Hex(ReferenceTint(transparent.pixels[i], {0x20, 0x60, 0xC0})), Hex(result.px[i]))
                << out << " pixel " << i;
    }
}

// The chart as a PNG input: known pixels, then every pixel of a run over it.
TEST_F(HostLogic, ChartIsAPngInputForARun) {
    const Result made = Host({"chart", dir + "chart.png"});
    ASSERT_EQ(0u, made.exitCode) << made;
    Pixels chart;
    ASSERT_TRUE(ReadPng(dir + "chart.png", chart));
    ASSERT_EQ(512, chart.width);
    ASSERT_EQ(384, chart.height);
    struct Probe {
        int x, y;
        uint32_t pixel;
    };
    const Probe probes[] = {
        {0, 256, 0xFFFF0000},   // hue bar starts at red
        {0, 340, 0xFF000000},   // smooth grey ramp, black to white
        {511, 340, 0xFFFFFFFF},
        {0, 370, 0xFF000000},   // 16-step wedge
        {40, 370, 0xFF111111},
        {511, 370, 0xFFFFFFFF},
        {383, 10, 0xFFFF0000},  // red ramp at its full colour
        {383, 220, 0xFFFF00FF}, // magenta ramp
        {0, 0, 0xFFA0A0A0},     // checkerboard outside the wheel
        {255, 0, 0xFF606060},
        {0, 16, 0xFF606060},
    };
    for (const Probe& p : probes) EXPECT_EQ(Hex(p.pixel), Hex(chart.At(p.x, p.y))) << p.x << "," << p.y;

    const Result r = Host({"run", plugin, "1", dir + "chart.png", dir + "out.bmp", "--draw-color", "2060C0"});
    ASSERT_EQ(0u, r.exitCode) << r;
    Pixels out;
    ASSERT_TRUE(ReadBmp(dir + "out.bmp", out));
    ASSERT_EQ(chart.px.size(), out.px.size());
    for (size_t i = 0; i < out.px.size(); ++i)
        ASSERT_EQ(Hex(ReferenceTint(chart.px[i], {0x20, 0x60, 0xC0})), Hex(out.px[i])) << "pixel " << i;
}

// The line fits the columns it is given; the bar gives way first, then the
// label, wide characters counting two.
TEST(HostProgress, LineFitsTheColumns) {
    const std::string name = "Colorize by Drawcolor|描画色による単色効果";  // 42 columns
    struct Case {
        std::string label, counter;
        int percent, columns;
        std::string line;
    };
    const Case cases[] = {
        {name, "", 100, 79, name + " [" + std::string(29, '#') + "] 100%"},
        {name, "", 50, 79, name + " [" + std::string(14, '#') + std::string(15, '.') + "]  50%"},
        {name, "[3/12]", 100, 79, "[3/12] " + name + " [" + std::string(22, '#') + "] 100%"},
        {name, "", 0, 59, "Colorize by Drawcolor|描画色による単色... [..........]   0%"},
        {name, "", 7, 20, "Colorize by ...   7%"},
        {"Fault", "", 100, 200, "Fault [" + std::string(40, '#') + "] 100%"},
        {"ｶﾗｰ", "", 100, 20, "ｶﾗｰ [#########] 100%"},
        {"単色効果", "", 100, 12, "単色... 100%"},
        {"単色効果", "", 100, 11, "単... 100%"},
        {"Dialog", "", 100, 4, "100%"},
    };
    for (const Case& c : cases) {
        const std::string line = ProgressLine(c.label, c.counter, c.percent, c.columns);
        EXPECT_EQ(c.line, line) << c.columns << " columns";
        EXPECT_LE(DisplayColumns(line), c.columns) << line;
    }
}

}  // namespace
