// The plug-in installed where a user may put it: a folder path of 250
// characters, and folders named outside ASCII. It keeps its settings in
// qvfilters.ini beside itself when that path fits its buffer, and otherwise
// runs with the defaults; it never faults, and never uses a file of another
// folder, not even one that the folder's name spells in the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/session/GuardedMemory.h"
#include "host/session/PluginLibrary.h"
#include "tests/common/TestImage.h"
#include "tests/win/DialogDriver.h"
#include "tests/win/HostControls.h"
#include "tests/win/TempFolder.h"

namespace {

// The host registers the common controls before any set-up.
[[maybe_unused]] const bool hostControls = RegisterHostControls();

const ReferenceGuide kRed = {255, 0, 0};        // the defaults, X 0 and Y 255
const ReferenceGuide kCyan = {0, 255, 255};     // x 128, y 255
const ReferenceGuide kPale = {191, 255, 127};   // x 64, y 128
const ReferenceGuide kBlueish = {0, 4, 255};    // x 170, y 255
const char kCyanIni[] = "[HueTint]\r\nx=128\r\ny=255\r\n";
const char kBlueishIni[] = "[HueTint]\r\nx=170\r\ny=255\r\n";

std::string Utf8(const std::wstring& wide) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(n > 0 ? n - 1 : 0, '\0');
    if (n > 1) WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &out[0], n, nullptr, nullptr);
    return out;
}

std::string GuideText(ReferenceGuide g) {
    return std::to_string(g.red) + "," + std::to_string(g.green) + "," + std::to_string(g.blue);
}

bool WriteFileW(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

// The key's value in the settings file's text, "" when missing.
std::string IniValue(const std::string& text, const std::string& key) {
    const std::string want = "\n" + key + "=";
    const std::string padded = "\n" + text;
    const size_t at = padded.find(want);
    if (at == std::string::npos) return "";
    const size_t start = at + want.size();
    return padded.substr(start, padded.find_first_of("\r\n", start) - start);
}

// Filter 0 over a guarded image; "" when every pixel is the tint with guide.
std::string RunColorize(const PluginLibrary& plugin, ReferenceGuide guide) {
    const Region region = {1, 1, 63, 15};
    GuardedPixels image(64, 16);
    TestImage source(64, 16);
    source.FillCanary();
    source.FillRandom(region, 0xF01D);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x) image.At(x, y) = source.At(x, y);
    Region rect = region;
    plugin.Execute(0, image.Data(), image.Data(), &rect, 64, nullptr, nullptr);
    TestImage result(64, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 64; ++x) result.At(x, y) = image.At(x, y);
    const std::string report = result.Compare(source, source, region, guide);
    return report.empty() ? "" : "guide " + GuideText(guide) + ": " + report;
}

// Set-up with OK at X 64, Y 128 through the dialog.
ScriptedSetup SetupOk64x128(const PluginLibrary& plugin) {
    GuardedPixels pixels(64, 16);
    SetupScript script;
    script.x = 64;
    script.y = 128;
    const ScriptedSetup outcome = RunSetupScripted(plugin, nullptr, pixels.Data(), 64, 16, script);
    EXPECT_FALSE(outcome.watchdog);
    EXPECT_TRUE(outcome.dialogSeen);
    EXPECT_EQ(1, outcome.result);
    return outcome;
}

// Escapes, so that no source encoding is involved.
const wchar_t* const kNames[] = {
    L"\u30D7\u30E9\u30B0\u30A4\u30F3",  // プラグイン
    L"\u00DCn\u00EFc\u00F8d\u00E9",      // Ünïcødé
    L"Dvo\u0159\u00E1k",                  // Dvořák
    L"\u5358\u8272 \u00E9t\u00E9",        // 単色 été
};

// How the ANSI functions of this process see a name: exactly (the name
// itself), as another valid name (best-fit letters: "Unicode" for Ünïcødé
// in code page 932, "Dvorák" for Dvořák in 1252), or not at all (question
// marks, which no file name holds).
enum class AnsiView { Exact, OtherName, None };

AnsiView ViewOf(const std::wstring& name, std::wstring* other) {
    BOOL lossy = FALSE;
    if (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name.c_str(), -1, nullptr, 0, nullptr, &lossy) > 0 &&
        !lossy)
        return AnsiView::Exact;
    char ansi[MAX_PATH] = "";
    WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, ansi, MAX_PATH, nullptr, nullptr);
    if (std::strchr(ansi, '?')) return AnsiView::None;
    wchar_t back[MAX_PATH] = L"";
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, back, MAX_PATH);
    *other = back;
    return AnsiView::OtherName;
}

const char* Describe(AnsiView view) {
    return view == AnsiView::Exact ? "the ANSI path is exact"
           : view == AnsiView::None ? "the name has no ANSI form"
                                    : "the ANSI path names ANOTHER folder";
}

// The plug-in in folder name beside a settings file of X 128, Y 255, and,
// where the name has a best-fit ANSI form, a sibling folder of that name
// holding X 170. Whatever the name, the plug-in reads the file beside itself
// and OK writes it; the sibling's file is never read nor written.
void CheckFolder(const std::wstring& name) {
    std::wstring otherName;
    const AnsiView view = ViewOf(name, &otherName);
    TempFolder base;
    const std::wstring folder = WidePath(base.Path()) + L"\\" + name;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr)) << GetLastError();
    const std::wstring pluginPath = folder + L"\\qvhuetint.ppi";
    ASSERT_TRUE(CopyFileW(WidePath(BuiltPluginPath()).c_str(), pluginPath.c_str(), FALSE));
    const std::wstring ini = folder + L"\\qvfilters.ini";
    ASSERT_TRUE(WriteFileW(ini, kCyanIni));
    const std::wstring otherIni = WidePath(base.Path()) + L"\\" + otherName + L"\\qvfilters.ini";
    if (view == AnsiView::OtherName) {
        ASSERT_TRUE(CreateDirectoryW((WidePath(base.Path()) + L"\\" + otherName).c_str(), nullptr));
        ASSERT_TRUE(WriteFileW(otherIni, kBlueishIni));
    }

    PluginLibrary plugin(pluginPath);
    const bool own = RunColorize(plugin, kCyan).empty();
    const bool sibling = view == AnsiView::OtherName && RunColorize(plugin, kBlueish).empty();
    std::printf("code page %u, folder %s (%s): settings %s\n", GetACP(), Utf8(name).c_str(), Describe(view),
                own ? "read from its own file" : sibling ? "READ FROM THE OTHER FOLDER" : "NOT read");
    std::fflush(stdout);
    EXPECT_TRUE(own) << "the file beside the plug-in was not read";
    EXPECT_FALSE(sibling) << "read the settings of folder " << Utf8(otherName);

    EXPECT_EQ(0, SetupOk64x128(plugin).messageBoxes);
    const std::string written = TempFolder::ReadBytes(ini);
    EXPECT_EQ("64", IniValue(written, "x")) << written;
    EXPECT_EQ("128", IniValue(written, "y")) << written;
    EXPECT_EQ("", RunColorize(plugin, kPale)) << "after OK";
    if (view == AnsiView::OtherName) {
        EXPECT_EQ(kBlueishIni, TempFolder::ReadBytes(otherIni)) << "OK wrote into folder " << Utf8(otherName);
    }
}

TEST(HostileFolder, NonAsciiFolderNames) {
    for (const wchar_t* name : kNames) {
        SCOPED_TRACE(Utf8(name));
        CheckFolder(name);
    }
}

// The host program itself in such a folder: the plug-in finds the host's
// PBF_QueryClientInfo by the executable's path, which must name this very
// program, not nothing and not a program of the same name in the folder its
// ANSI form names.
TEST(HostileFolder, HostInNonAsciiFolder) {
    const std::wstring hostBuilt = WidePath(ExeFolder()) + L"\\odd_folder_host.exe";
    for (const wchar_t* name : kNames) {
        SCOPED_TRACE(Utf8(name));
        std::wstring otherName;
        const AnsiView view = ViewOf(name, &otherName);
        TempFolder base;
        const std::wstring folder = WidePath(base.Path()) + L"\\" + name;
        ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
        const std::wstring host = folder + L"\\host.exe";
        ASSERT_TRUE(CopyFileW(hostBuilt.c_str(), host.c_str(), FALSE)) << GetLastError();
        const std::wstring plugin = folder + L"\\qvhuetint.ppi";
        ASSERT_TRUE(CopyFileW(WidePath(BuiltPluginPath()).c_str(), plugin.c_str(), FALSE));
        if (view == AnsiView::OtherName) {
            const std::wstring other = WidePath(base.Path()) + L"\\" + otherName;
            ASSERT_TRUE(CreateDirectoryW(other.c_str(), nullptr));
            ASSERT_TRUE(CopyFileW(hostBuilt.c_str(), (other + L"\\host.exe").c_str(), FALSE));
        }
        // Its output (the pixel, or where it faulted) goes to this program's.
        std::wstring commandLine = L"\"" + host + L"\" \"" + plugin + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        ASSERT_TRUE(CreateProcessW(host.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                   folder.c_str(), &startup, &process))
            << GetLastError();
        const DWORD waited = WaitForSingleObject(process.hProcess, 30000);
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        if (waited != WAIT_OBJECT_0) TerminateProcess(process.hProcess, 98);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        std::printf("code page %u, host in folder %s (%s): exit code %lu\n", GetACP(), Utf8(name).c_str(),
                    Describe(view), code);
        EXPECT_EQ(0u, code) << "0: blue from the host, 1: grey (no answer), 2: other, 3: no plug-in, 4: fault, 259: hung";
    }
}

// A folder of 250 characters: with the file name qvhuetint.ppi the module
// path is 264 characters, past MAX_PATH, so the host loads it by its "\\?\"
// path. The plug-in cannot name its settings file and runs with the
// defaults; set-up and runs work, and the file there is left as it was. OK
// says that it could not store, and the runs after it use its position.
TEST(HostileFolder, FolderOf250Characters) {
    for (const char* fileName : {"qvhuetint.ppi", "q.ppi"}) {
        SCOPED_TRACE(fileName);
        TempFolder base;
        const std::string folder = base.MakeDeepFolder(250);
        ASSERT_EQ(250u, folder.size());
        const std::string pluginPath = base.CopyPluginTo(folder, fileName);
        ASSERT_FALSE(pluginPath.empty());
        ASSERT_TRUE(TempFolder::WriteBytes(folder, "qvfilters.ini", kCyanIni));
        PluginLibrary plugin(LongPathW(pluginPath));
        EXPECT_EQ(2, plugin.RawCount());
        EXPECT_EQ("", RunColorize(plugin, kRed));
        GuardedPixels image(64, 16);
        Region rect = {0, 0, 64, 16};
        plugin.Execute(1, image.Data(), image.Data(), &rect, 64, nullptr, nullptr);
        const ScriptedSetup outcome = SetupOk64x128(plugin);
        EXPECT_EQ(1, outcome.messageBoxes);
        EXPECT_NE(std::string::npos, outcome.message.find("qvfilters.ini")) << outcome.message;
        EXPECT_EQ(kCyanIni, TempFolder::ReadBytes(LongPathW(folder + "\\qvfilters.ini")));
        EXPECT_EQ("", RunColorize(plugin, kPale)) << "after OK";
    }
}

}  // namespace
