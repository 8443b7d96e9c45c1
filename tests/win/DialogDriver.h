// Drives a modal dialog from inside its own modal loop: a thread timer finds
// the dialog of this thread once it is shown, runs one step per tick, then
// presses a button; message boxes over the dialog are read and answered with
// OK. A watchdog ends a dialog that outlives its script, so a test cannot
// hang. A modal call that opens no dialog just returns.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// End codes the driver itself gives a dialog.
constexpr int kEndedByWatchdog = 900;
constexpr int kStillOpenAfterScript = 901;

using Step = std::function<void(HWND dialog)>;

struct DialogRun {
    int result = -1;  // what the modal call returned
    bool dialogSeen = false;
    bool watchdog = false;  // the dialog had to be ended by force
    // Message boxes over the dialog, each answered with OK; the title and
    // text of the last one, UTF-8.
    int messageBoxes = 0;
    std::string boxTitle;
    std::string message;
};

// Runs `modal` and the steps inside its loop, then presses `end` (IDOK or
// IDCANCEL). With end 0 the steps end the dialog, or a second after the last
// one it is ended with kStillOpenAfterScript.
DialogRun RunScripted(const std::function<int()>& modal, std::vector<Step> steps, int end = 0);

// A user of the plug-in's set-up dialog.
struct SetupScript {
    int x = -1;  // written into the X and Y edit boxes first; -1 leaves a box alone
    int y = -1;
    // Then clicks on the X spin button's up arrow, and Page Down keys on
    // the Y slider.
    int spinUp = 0;
    int sliderPagesDown = 0;
    // Then a click in the colour field, at thousandths of its client width
    // and height; x < 0: none. With dragToPerMille, the button goes up
    // only after the mouse was dragged there.
    POINT clickPerMille = {-1, -1};
    POINT dragToPerMille = {-1, -1};
    bool togglePreview = false;
    // Then the preview dragged far past each corner of the image.
    bool dragPreview = false;
    bool ok = true;  // OK or Cancel
};

struct ScriptedSetup : DialogRun {
    // The edit boxes and the guide colour label as the user leaves the dialog.
    int shownX = -1;
    int shownY = -1;
    std::string label;
    bool previewChecked = false;
};

ScriptedSetup RunScripted(const std::function<int()>& modal, const SetupScript& script);

// Filter 0's set-up through a host's view of the plug-in (PluginLibrary).
template <class Plugin>
ScriptedSetup RunSetupScripted(const Plugin& plugin, HWND parent, void* pixels, int width, int height,
                               const SetupScript& script) {
    return RunScripted([&] { return plugin.Setup(0, parent, pixels, width, height); }, script);
}

// Parses "R:%u G:%u B:%u"; false when the text has another form.
bool ParseGuideLabel(const std::string& label, int* red, int* green, int* blue);
