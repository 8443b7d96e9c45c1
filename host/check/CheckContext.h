// What every check of `ppihost check` gets: the options, the plug-in
// (loaded when first needed) and the images the filters run over.
#pragma once

#include <memory>
#include <string>

#include "host/faults/FaultPlan.h"
#include "host/image/WicImage.h"
#include "host/session/FolderSnapshot.h"
#include "host/session/PluginLibrary.h"

enum class Verdict { Pass, Fail, Skip, Info };

struct CheckResult {
    Verdict verdict;
    // UTF-8, one line; a failure says what was expected and what was seen.
    std::string text;
};

inline CheckResult Passed(const std::string& text) { return {Verdict::Pass, text}; }
inline CheckResult Failed(const std::string& expected, const std::string& seen) {
    return {Verdict::Fail, "expected " + expected + "; seen " + seen};
}
inline CheckResult Skipped(const std::string& why) { return {Verdict::Skip, why}; }

struct CheckOptions {
    std::wstring plugin;
    int filter = -1;  // -1: every filter
    std::wstring image;
    bool setup = false;
    // The information line of each filter's speed; off where the clock
    // would time something else (an emulator).
    bool speed = true;
    // --faults: the runs kept (--sample).
    FaultSample sample;
    // The seconds after which a check, a host state or a fault run that has
    // not answered is a hang (--patience); 0: each one's own, longer than a
    // set-up's own patience, so that its own report comes first.
    int patience = 0;
    // This ppihost with the command's own arguments: a worker once more
    // options are added.
    std::wstring self;
};

inline int PatienceOr(const CheckOptions& options, int seconds) {
    return options.patience > 0 ? options.patience : seconds;
}

class CheckContext {
public:
    explicit CheckContext(const CheckOptions& options) : options(options) {}
    ~CheckContext();
    CheckContext(const CheckContext&) = delete;
    CheckContext& operator=(const CheckContext&) = delete;

    // Loads the plug-in on first use. Throws PluginNotLoaded when it cannot
    // be loaded; the load check reports why.
    const PluginLibrary& Plugin();
    // Unloads it, so the next Plugin() loads it afresh.
    void Unload() { library.reset(); }
    // The image given with --image, else the test chart. Needs a ComScope.
    const Image& MainImage();

    // The plug-in's folder before the first set-up of this process; taken
    // by the first caller, handed out once to the set-up check.
    void NoteFolderBeforeSetup();
    FolderSnapshot FolderBeforeSetup();

    const CheckOptions options;
    // Filters of the plug-in; -1 until the information check found a sane
    // count.
    int filterCount = -1;
    // The default state's bytes for the host-environment checks; removed
    // with the context.
    std::wstring environmentReference;

private:
    std::unique_ptr<PluginLibrary> library;
    Image image;
    bool imageLoaded = false;
    FolderSnapshot folderBeforeSetup;
    bool folderNoted = false;
};

struct PluginNotLoaded {};
