#include "host/check/SetupCheck.h"

#include <cstring>
#include <new>

#include "host/session/FolderSnapshot.h"
#include "host/session/GuardedMemory.h"
#include "host/session/SetupSession.h"

namespace {

// The image exactly as large as its pixels, its last byte against a
// no-access page.
SetupOutcome CancelledSetup(const PluginLibrary& plugin, int index, const Image& image) {
    GuardedPixels pixels(image.width, image.height);
    if (!pixels.Ok()) throw std::bad_alloc();
    std::memcpy(pixels.Data(), image.pixels.data(), image.pixels.size() * 4);
    SetupRequest request;
    request.index = index;
    request.press = IDCANCEL;
    return RunSetup(plugin, pixels.Data(), image.width, image.height, request);
}

std::string Returned(const SetupOutcome& outcome) { return "it returned " + std::to_string(outcome.result); }

}  // namespace

CheckResult CheckSetup(CheckContext& context, int index) {
    if (!context.options.setup) return Skipped("set-ups are opened only with --setup");
    const PluginLibrary& plugin = context.Plugin();
    const Image& image = context.MainImage();
    const std::wstring folder = FolderOf(plugin.Path());
    const FolderSnapshot before = context.FolderBeforeSetup();
    const SetupOutcome first = CancelledSetup(plugin, index, image);
    const std::string changes = FolderChanges(before, SnapshotFolder(folder));
    if (first.closedByForce)
        return Failed("Cancel to end the set-up", "its dialog still open " + std::to_string(kSetupPatienceSeconds) +
                                                      " s later, ended by force; " + Returned(first));
    if (first.dialogShown && first.result != 0) return Failed("0 from a set-up ended by Cancel", Returned(first));
    if (!changes.empty()) return Failed("no file in the plug-in's folder to change", changes);

    const SetupOutcome second = CancelledSetup(plugin, index, image);
    if (first.dialogShown && !second.dialogShown)
        return Failed("the second set-up to open its dialog again", "no dialog; " + Returned(second));
    if (second.closedByForce || (second.dialogShown && second.result != 0))
        return Failed("the second set-up to end by Cancel with 0", Returned(second));
    const std::string laterChanges = FolderChanges(before, SnapshotFolder(folder));
    if (!laterChanges.empty()) return Failed("no file in the plug-in's folder to change", laterChanges);
    if (!first.dialogShown)
        return Passed("no dialog; " + Returned(first) + " at once, twice; no file in the plug-in's folder changed");
    return Passed("dialog shown over the " + std::to_string(image.width) + "x" + std::to_string(image.height) +
                  " image, Cancel returned 0, twice; no file in the plug-in's folder changed");
}
