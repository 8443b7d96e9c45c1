#include "host/check/HostEnvironmentCheck.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "host/check/CheckReport.h"
#include "host/cli/Console.h"
#include "host/session/ClientInfo.h"
#include "host/session/HostEnvironment.h"
#include "host/session/SetupSession.h"
#include "host/worker/Worker.h"

namespace {

// A worker runs each filter once, and each set-up with Cancel: ample even
// in an emulator.
const int kPatienceSeconds = 300;

// "22,232"
std::string Grouped(long long n) {
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3) digits.insert(static_cast<size_t>(i), ",");
    return digits;
}

// A failure this check words whole.
CheckResult FailedWith(const std::string& text) { return {Verdict::Fail, text}; }

int WINAPI IgnoreProgress(int, int, void*) { return 0; }

// One call into the plug-in as a host in env makes it; what it left of the
// host's state, "" when nothing.
template <class Call>
std::string AsHost(const HostEnvironment& env, const char* name, int filter, Call call) {
    const HostEnvironment& standard = HostEnvironments()[0];
    WorkerDoing(std::string(name) + " of filter " + std::to_string(filter));
    SetFloatControl(env.mxcsr, env.x87Control);
    call();
    const FloatControl after = ReadFloatControl();
    SetFloatControl(standard.mxcsr, standard.x87Control);
    WorkerDoing("");
    const std::string change = FloatControlChange(env, after);
    return change.empty() ? "" : change + " after " + name + " of filter " + std::to_string(filter);
}

}  // namespace

CheckResult CheckHostEnvironment(CheckContext& context, size_t environment) {
    const HostEnvironment& env = HostEnvironments()[environment];
    std::wstring& reference = context.environmentReference;
    if (environment == 0) {
        wchar_t folder[MAX_PATH], file[MAX_PATH];
        if (!GetTempPathW(MAX_PATH, folder) || !GetTempFileNameW(folder, L"ppi", 0, file))
            return Skipped(std::string(env.name) + ": no temporary file for the default state's bytes: " +
                           SystemMessage(GetLastError()));
        reference = file;
    } else if (reference.empty()) {
        return Skipped(std::string(env.name) + ": the default state's run gave no bytes to compare with");
    }
    WorkerProcess worker(context.options.self, PatienceOr(context.options, kPatienceSeconds));
    CheckResult result = VerdictOf(worker.Ask(std::string(WorkerWords::kEnvironment) + " " +
                                              std::to_string(environment) + " " + Utf8FromWide(reference)));
    if (environment == 0 && result.verdict != Verdict::Pass) {
        DeleteFileW(reference.c_str());
        reference.clear();
    }
    result.text = std::string(env.name) + ": " + result.text;
    return result;
}

namespace {

CheckResult Serve(const CheckOptions& options, const HostEnvironment& env, bool isReference, const std::wstring& reference) {
    ComScope com;
    CheckContext context(options);
    const Image& image = context.MainImage();
    PluginLibrary plugin(options.plugin);
    plugin.SetStackOffset(env.stackOffset);
    // White under a white guide shows a rounding that goes down.
    SetDrawColor(255, 255, 255);

    std::vector<uint32_t> bytes;
    const int count = plugin.Count();
    std::vector<int> filters;
    for (int i = 0; i < count; ++i)
        if (options.filter < 0 || options.filter == i) filters.push_back(i);
    for (int i : filters) {
        std::vector<uint32_t> source = image.pixels, destination(image.pixels.size(), 0);
        FilterRect rect = {0, 0, image.width, image.height};
        const std::string change = AsHost(env, "PBF_Execute", i, [&] {
            plugin.Execute(i, source.data(), destination.data(), &rect, image.width, IgnoreProgress, nullptr);
        });
        if (!change.empty()) return FailedWith(change);
        bytes.insert(bytes.end(), destination.begin(), destination.end());
    }
    if (options.setup) {
        InitDialogControls();
        for (int i : filters) {
            std::vector<uint32_t> pixels = image.pixels;
            SetupRequest request;
            request.index = i;
            request.press = IDCANCEL;
            request.quick = true;
            SetupOutcome outcome;
            const std::string change = AsHost(env, "PBF_Setup", i, [&] {
                outcome = RunSetup(plugin, pixels.data(), image.width, image.height, request);
            });
            if (!change.empty()) return FailedWith(change);
            if (outcome.closedByForce) return FailedWith("the set-up of filter " + std::to_string(i) +
                                                                  " stayed open after Cancel, ended by force");
        }
    }
    if (!plugin.StackError().empty()) return FailedWith(plugin.StackError());

    const size_t perFilter = image.pixels.size();
    const std::string what = std::to_string(filters.size()) + (filters.size() == 1 ? " filter" : " filters") +
                             " over the " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                             " image" + (options.setup ? ", set-ups ended by Cancel" : "");
    if (isReference) {
        HANDLE file = CreateFileW(reference.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written = 0;
        const DWORD size = static_cast<DWORD>(bytes.size() * sizeof(uint32_t));
        const bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes.data(), size, &written, nullptr) &&
                        written == size;
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (!ok) return Skipped("cannot keep the default state's bytes: " + SystemMessage(GetLastError()));
        return Passed(what + "; the reference for the other states");
    }
    std::vector<uint32_t> want(bytes.size(), 0);
    HANDLE file = CreateFileW(reference.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD read = 0;
    const DWORD size = static_cast<DWORD>(want.size() * sizeof(uint32_t));
    const bool ok = file != INVALID_HANDLE_VALUE && ReadFile(file, want.data(), size, &read, nullptr) && read == size;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!ok) return Skipped("cannot read the default state's bytes back");
    for (size_t f = 0; f < filters.size(); ++f) {
        long long differ = 0;
        size_t first = 0;
        for (size_t i = 0; i < perFilter; ++i) {
            if (bytes[f * perFilter + i] == want[f * perFilter + i]) continue;
            if (differ++ == 0) first = i;
        }
        if (!differ) continue;
        char where[96];
        std::snprintf(where, sizeof where, " (first at %d,%d: %08x, want %08x)",
                      static_cast<int>(first % static_cast<size_t>(image.width)),
                      static_cast<int>(first / static_cast<size_t>(image.width)),
                      static_cast<unsigned>(bytes[f * perFilter + first]),
                      static_cast<unsigned>(want[f * perFilter + first]));
        return FailedWith(Grouped(differ) + " pixels of filter " + std::to_string(filters[f]) +
                                   " differ from the default state's run" + where);
    }
    return Passed(what + ": the default state's bytes, no exception, the host's state kept");
}

}  // namespace

CheckResult ServeHostEnvironment(const CheckOptions& options, size_t environment, const std::wstring& reference) {
    if (environment >= HostEnvironments().size()) return {Verdict::Fail, "no such state"};
    try {
        return Serve(options, HostEnvironments()[environment], environment == 0, reference);
    } catch (const std::exception& e) {
        // The load check says why.
        return Skipped(std::string("the plug-in could not be run: ") + e.what());
    }
}
