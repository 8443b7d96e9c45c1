#include "host/faults/HostScenarios.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/session/FolderSnapshot.h"
#include "host/session/GuardedMemory.h"
#include "host/session/PluginLibrary.h"
#include "host/session/ProbePixels.h"
#include "host/session/SetupSession.h"

namespace {

// Odd sizes, so that no vector loop ends on a row's end by luck.
const int kWidth = 29;
const int kHeight = 11;
const int kSetupWidth = 64;
const int kSetupHeight = 16;

int FilterOf(const std::string& token) { return std::atoi(token.c_str() + token.find(':') + 1); }

// A text the plug-in wrote into kTextBytes bytes against a no-access page.
std::string Unterminated(const GuardedBytes& bytes, const std::string& what) {
    return std::memchr(bytes.Data(), 0, kTextBytes) ? ""
                                                    : what + " without a zero within the " +
                                                          std::to_string(kTextBytes) + " bytes given";
}

class LoadScenario : public FaultScenario {
public:
    std::string Exercise(const PluginLibrary& plugin) override {
        GuardedBytes info(kTextBytes);
        plugin.RawInfo(reinterpret_cast<char*>(info.Data()), kTextBytes);
        std::string problem = Unterminated(info, "the information line");
        const int count = plugin.RawCount();
        if (problem.empty() && (count < 0 || count > kMaxFilters))
            problem = "PBF_FilterCount returned " + std::to_string(count);
        for (int i = 0; problem.empty() && i < count; ++i) {
            GuardedBytes category(kTextBytes), name(kTextBytes);
            plugin.RawNames(i, reinterpret_cast<char*>(category.Data()), kTextBytes,
                            reinterpret_cast<char*>(name.Data()), kTextBytes);
            problem = Unterminated(name, "filter " + std::to_string(i) + "'s name");
            // A load that went on when a filter of it could not be made.
            if (problem.empty() && !name.Data()[0]) problem = "filter " + std::to_string(i) + " without a name";
            if (problem.empty()) problem = Unterminated(category, "filter " + std::to_string(i) + "'s category");
        }
        return problem;
    }
};

// The host's side of the progress calls: each answer differs, so the one
// PBF_Execute hands back tells which call it came from.
struct Progress {
    int calls = 0;
    int last = 0;
    static int WINAPI Callback(int, int, void* user) {
        Progress& p = *static_cast<Progress*>(user);
        p.last = 7000 + ++p.calls;
        return p.last;
    }
};

class RunsScenario : public FaultScenario {
public:
    explicit RunsScenario(int index) : index(index) {}

    std::string Exercise(const PluginLibrary& plugin) override {
        const FilterRect whole = {0, 0, kWidth, kHeight}, inner = {3, 2, kWidth - 5, kHeight - 3};
        std::string problem = Run(plugin, whole, false, "the whole image");
        if (problem.empty()) problem = Run(plugin, inner, false, "a rectangle");
        if (problem.empty()) problem = Run(plugin, inner, true, "a rectangle in place");
        return problem;
    }

private:
    // Rows against no-access pages, canaries before each row and outside
    // the rectangle.
    std::string Run(const PluginLibrary& plugin, const FilterRect& rect, bool inPlace, const char* what) {
        GuardedImage source(kWidth, kHeight), separate(kWidth, kHeight);
        if (!source.Ok() || !separate.Ok()) return "";
        GuardedImage& destination = inPlace ? source : separate;
        for (int y = 0; y < kHeight; ++y)
            for (int x = -source.Padding(); x < kWidth; ++x) {
                source.At(x, y) = x < 0 ? Canary(x, y) : Pattern(x, y);
                separate.At(x, y) = Canary(x, y);
            }
        FilterRect handed = rect;
        Progress progress;
        const int result = plugin.Execute(index, source.Origin(), destination.Origin(), &handed, source.Stride(),
                                          Progress::Callback, &progress);
        const std::string over = std::string(" running over ") + what;
        if (progress.calls && result != progress.last)
            return "PBF_Execute returned " + std::to_string(result) + ", not " + std::to_string(progress.last) +
                   " as the closing progress call did," + over;
        for (int y = 0; y < kHeight; ++y)
            for (int x = -source.Padding(); x < kWidth; ++x) {
                const uint32_t kept = x < 0 ? Canary(x, y) : Pattern(x, y);
                if (!inPlace && source.At(x, y) != kept)
                    return "the source's pixel " + std::to_string(x) + "," + std::to_string(y) + " changed" + over;
                const uint32_t was = inPlace ? kept : Canary(x, y);
                if (!Inside(rect, x, y) && destination.At(x, y) != was)
                    return "a write outside the rectangle: pixel " + std::to_string(x) + "," + std::to_string(y) +
                           " from " + HexPixel(was) + " to " + HexPixel(destination.At(x, y)) + over;
            }
        return "";
    }

    const int index;
};

class SetupScenario : public FaultScenario {
public:
    SetupScenario(int index, const std::wstring& plugin) : index(index), folder(FolderOf(plugin)) {}

    void Prepare() override { before = SnapshotFolder(folder, false); }

    std::string Exercise(const PluginLibrary& plugin) override {
        // Smaller than any preview, so nothing pans; its end against a
        // no-access page.
        GuardedPixels pixels(kSetupWidth, kSetupHeight);
        if (!pixels.Ok()) return "";
        for (int i = 0; i < kSetupWidth * kSetupHeight; ++i) pixels.Data()[i] = Pattern(i % kSetupWidth, i / kSetupWidth);
        SetupRequest request;
        request.index = index;
        request.press = IDCANCEL;
        request.quick = true;
        const SetupOutcome outcome = RunSetup(plugin, pixels.Data(), kSetupWidth, kSetupHeight, request);
        if (outcome.closedByForce)
            return "a hang: the dialog still open " + std::to_string(kSetupPatienceSeconds) +
                   " s after Cancel, ended by force";
        if (outcome.result != 0 && outcome.result != 1)
            return "PBF_Setup returned " + std::to_string(outcome.result);
        if (outcome.dialogShown && outcome.result != 0) return "PBF_Setup returned 1 after Cancel";
        return "";
    }

    std::string AfterUnload() override {
        const std::string changes = FolderChanges(before, SnapshotFolder(folder, false));
        return changes.empty() ? "" : "a set-up ended by Cancel changed the plug-in's folder: " + changes;
    }

private:
    const int index;
    const std::wstring folder;
    FolderSnapshot before;
};

}  // namespace

std::vector<std::string> HostScenarioTokens(int filters, bool setup) {
    std::vector<std::string> tokens = {"load"};
    for (int i = 0; i < filters; ++i) tokens.push_back("runs:" + std::to_string(i));
    for (int i = 0; setup && i < filters; ++i) tokens.push_back("setup:" + std::to_string(i));
    return tokens;
}

std::string HostScenarioTitle(const std::string& token) {
    if (token == "load") return "load, information, names, unload";
    const std::string filter = "filter " + std::to_string(FilterOf(token));
    if (token.rfind("runs:", 0) == 0) return filter + " over an image";
    if (token.rfind("setup:", 0) == 0) return filter + " set-up, Cancel";
    return token;
}

std::unique_ptr<FaultScenario> WINAPI MakeHostScenario(const std::string& token, const std::wstring& plugin) {
    if (token == "load") return std::unique_ptr<FaultScenario>(new LoadScenario);
    if (token.rfind("runs:", 0) == 0) return std::unique_ptr<FaultScenario>(new RunsScenario(FilterOf(token)));
    if (token.rfind("setup:", 0) == 0)
        return std::unique_ptr<FaultScenario>(new SetupScenario(FilterOf(token), plugin));
    return nullptr;
}
