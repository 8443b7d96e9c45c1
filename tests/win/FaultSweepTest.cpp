// The shipped plug-in while the system fails it, every call in turn and
// every function at all its calls: loaded, read and unloaded; each filter
// run whole, over a rectangle and in place; set-up ended by Cancel (all
// three by `ppihost check --faults --setup`); and set-up driven as a user
// would, OK, then a run (here, through the same engine, with this program
// as its worker). Each row runs a private copy of the plug-in.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "colorize/GuideColorModel.h"
#include "colorize/Tint.h"
#include "host/faults/FaultReport.h"
#include "host/faults/FaultSweep.h"
#include "host/faults/FaultWorker.h"
#include "host/session/GuardedMemory.h"
#include "host/session/ImportFaults.h"
#include "host/session/PluginLibrary.h"
#include "tests/win/DialogDriver.h"

namespace {

const int kPatienceSeconds = 60;
// --sample FIRST,EVERY on this program's command line: a sample of the runs,
// where each costs seconds (an emulated machine).
FaultSample sample;
std::string sampleArguments;
const int kWidth = 64;
const int kHeight = 16;

std::string Self() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

std::wstring Wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string IniOf(const std::wstring& plugin) {
    const std::string path(plugin.begin(), plugin.end());
    return path.substr(0, path.find_last_of('\\') + 1) + "qvfilters.ini";
}

uint32_t Pattern(int i) { return 0x80000000u ^ (uint32_t(i) * 0x9E3779B1u); }

struct Position {
    int x, y, preview;
    bool operator==(const Position& o) const { return x == o.x && y == o.y && preview == o.preview; }
    std::string Text() const {
        return "X " + std::to_string(x) + ", Y " + std::to_string(y) + ", preview " + std::to_string(preview);
    }
};

const Position kOld = {10, 20, 1};

// Filter 0's set-up as a user goes through it (typing, a spin button, a
// slider, a pick and a drag in the colour field, Preview), OK, then a run
// with the plug-in still loaded; the settings file starts at kOld.
class UserSetup : public FaultScenario {
public:
    explicit UserSetup(const std::wstring& plugin) : ini(IniOf(plugin)) {}

    void Prepare() override {
        // The process's cached copy goes first, or it would be written back.
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
        const std::string bytes = "[Other]\r\nkeep=1\r\n[HueTint]\r\nx=" + std::to_string(kOld.x) +
                                  "\r\ny=" + std::to_string(kOld.y) + "\r\npreview=1\r\n";
        if (FILE* f = std::fopen(ini.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        shown = kOld;
        result = 0;
        message.clear();
    }

    std::string Exercise(const PluginLibrary& plugin) override {
        GuardedPixels pixels(kWidth, kHeight);
        for (int i = 0; i < kWidth * kHeight; ++i) pixels.Data()[i] = Pattern(i);
        SetupScript script;
        script.x = 64;
        script.y = 128;
        script.spinUp = 2;
        script.sliderPagesDown = 1;
        script.clickPerMille = {250, 500};
        script.dragToPerMille = {700, 300};
        script.togglePreview = true;
        const ScriptedSetup o = RunScripted(
            [&] { return plugin.Setup(0, nullptr, pixels.Data(), kWidth, kHeight); }, script);
        result = o.result;
        message = o.message;
        if (o.watchdog) return "a hang: the set-up dialog stayed open after OK, ended by force";
        if (o.result != 0 && o.result != 1) return "PBF_Setup returned " + std::to_string(o.result);
        if (!o.dialogSeen && o.result != 0) return "PBF_Setup returned 1 without showing its dialog";
        for (int i = 0; i < kWidth * kHeight; ++i)
            if (pixels.Data()[i] != Pattern(i)) return "the set-up wrote into the host's image";
        if (o.result != 1) return "";
        shown = {o.shownX, o.shownY, o.previewChecked ? 1 : 0};
        return RunUses(plugin, shown);
    }

    // The file holds the old choice or the new one, or what OK's message
    // says it holds.
    std::string AfterUnload() override {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, ini.c_str());
        const Position now = {static_cast<int>(GetPrivateProfileIntA("HueTint", "x", -1, ini.c_str())),
                              static_cast<int>(GetPrivateProfileIntA("HueTint", "y", -1, ini.c_str())),
                              static_cast<int>(GetPrivateProfileIntA("HueTint", "preview", -1, ini.c_str()))};
        if (now == kOld || (result == 1 && now == shown)) return "";
        const std::string told = "it now holds X " + std::to_string(now.x) + ", Y " + std::to_string(now.y) + ",";
        if (message.find(told) != std::string::npos) return "";
        return "the settings file holds " + now.Text() + ": neither the old " + kOld.Text() +
               (result == 1 ? " nor the new " + shown.Text() : std::string(" (Cancel)"));
    }

private:
    // The run that follows OK tints with the position the boxes showed.
    static std::string RunUses(const PluginLibrary& plugin, const Position& p) {
        uint32_t source[2] = {0xFFFFFFFF, 0x80646496}, destination[2] = {0, 0};
        FilterRect rect = {0, 0, 2, 1};
        plugin.Execute(0, source, destination, &rect, 2, nullptr, nullptr);
        GuideColor guide;
        HueSatToRgb(p.x, p.y, &guide.red, &guide.green, &guide.blue);
        const TintGuide tint = PrepareTint(guide);
        for (int i = 0; i < 2; ++i)
            if (destination[i] != TintWord(source[i], tint))
                return "the run after OK did not tint with X " + std::to_string(p.x) + ", Y " + std::to_string(p.y) +
                       ", which the boxes showed at OK";
        return "";
    }

    const std::string ini;
    Position shown = kOld;
    int result = 0;
    std::string message;
};

std::unique_ptr<FaultScenario> WINAPI MakeScenario(const std::string& token, const std::wstring& plugin) {
    if (token == "user-setup") return std::unique_ptr<FaultScenario>(new UserSetup(plugin));
    return nullptr;
}

// A private copy of the shipped plug-in, so its settings file is this
// row's alone.
class PrivateCopy {
public:
    PrivateCopy() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "qv_faults_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder.c_str(), nullptr);
        const std::string self = Self();
        CopyFileA((self.substr(0, self.find_last_of('\\') + 1) + "qvhuetint.ppi").c_str(), Path().c_str(), FALSE);
    }
    ~PrivateCopy() {
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, (folder + "\\qvfilters.ini").c_str());
        DeleteFileA((folder + "\\qvfilters.ini").c_str());
        DeleteFileA(Path().c_str());
        RemoveDirectoryA(folder.c_str());
    }
    std::string Path() const { return folder + "\\qvhuetint.ppi"; }

private:
    std::string folder;
};

// What ppihost printed and how it ended.
struct Output {
    DWORD exitCode = 0;
    std::string out;
};

Output RunHost(const std::string& arguments) {
    const std::string self = Self();
    std::string line = "\"" + self.substr(0, self.find_last_of('\\') + 1) + "ppihost.exe\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    Output output;
    if (!CreatePipe(&read, &write, &inherit, 0)) return output;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back(0);
    const BOOL started =
        CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(write);
    if (started) {
        char chunk[4096];
        DWORD n = 0;
        while (ReadFile(read, chunk, sizeof chunk, &n, nullptr) && n) output.out.append(chunk, n);
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &output.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    CloseHandle(read);
    return output;
}

struct Row {
    const char* name;
    // Through `ppihost check` with these arguments after the plug-in, or
    // "" for the set-up a user drives, through this program's own worker.
    const char* host;
};

class FaultSweepTest : public ::testing::TestWithParam<Row> {};

TEST_P(FaultSweepTest, NoFaultHangAbortWriteOutsideBrokenAnswerOrLeak) {
    const Row& row = GetParam();
    PrivateCopy copy;
    std::vector<std::string> lines;
    if (*row.host) {
        const Output host = RunHost("check \"" + copy.Path() + "\" " + row.host + sampleArguments);
        std::istringstream out(host.out);
        for (std::string line; std::getline(out, line);) lines.push_back(line);
        EXPECT_EQ(0u, host.exitCode) << host.out;
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(std::string::npos, lines.back().find(" passed, 0 failed, 0 skipped")) << host.out;
    } else {
        FaultSweep sweep(Wide("\"" + Self() + "\" --plugin \"" + copy.Path() + "\""), kPatienceSeconds);
        for (const ScenarioSweep& s : SweepScenarios(sweep, {"user-setup"}, sample, [](long long, long long) {})) {
            for (const FaultLine& line : ReportSweep(s, "filter 0 set-up as a user, OK, then a run", FailingText))
                lines.push_back((line.kind == FaultLine::Failed   ? "FAIL  "
                                 : line.kind == FaultLine::Passed ? "ok    "
                                                                  : "info  ") +
                                line.text);
            for (const std::string& name : s.unknown) lines.push_back("info  imports in neither list: " + name);
        }
    }
    for (const std::string& line : lines) {
        if (line.rfind("FAIL", 0) == 0)
            ADD_FAILURE() << line;
        else
            std::printf("%s\n", line.c_str());
        // Every import of the shipped plug-in is in one of the table's lists.
        EXPECT_EQ(std::string::npos, line.find("imports in neither list")) << line;
    }
}

const Row kRows[] = {
    {"load_runs_and_cancel", "--faults --setup"},
    {"user_setup_ok_then_run", ""},
};

INSTANTIATE_TEST_SUITE_P(Sweep, FaultSweepTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace

int main(int argc, char** argv) {
    // The worker of the user's set-up sweep: runs what the parent hands it.
    std::string plugin, pipes;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--plugin") == 0) plugin = argv[i + 1];
        if (std::strcmp(argv[i], "--worker") == 0) pipes = argv[i + 1];
        if (std::strcmp(argv[i], "--sample") == 0 && ParseFaultSample(argv[i + 1], sample))
            sampleArguments = std::string(" --sample ") + argv[i + 1];
    }
    if (!pipes.empty()) {
        // As a host does before any set-up: the dialog holds these controls.
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS | ICC_BAR_CLASSES};
        InitCommonControlsEx(&controls);
        return RunFaultWorker(pipes, Wide(plugin), MakeScenario);
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
