// Runs PBF_Setup the way a host does and plays a user inside the plug-in's
// modal loop: a thread timer finds the set-up dialog once it is shown, writes
// the edit boxes, clicks the spin button, the slider and the colour field,
// and presses OK or Cancel. A
// watchdog ends a dialog that stays open, so a test cannot hang.
// Also works with a filter that opens no dialog: PBF_Setup just returns.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

// The end code the watchdog gives a dialog it has to close.
constexpr int kEndedByWatchdog = 900;

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

struct SetupOutcome {
    int result = -1;        // what PBF_Setup returned
    bool dialogSeen = false;
    bool watchdog = false;  // the dialog had to be ended by force
    // The edit boxes and the guide colour label as the user leaves the dialog.
    int shownX = -1;
    int shownY = -1;
    std::string label;
    bool previewChecked = false;
    // Message boxes the dialog showed after the buttons, each answered with
    // OK; the text of the last one, UTF-8.
    int messageBoxes = 0;
    std::string message;
};

// The same script around any modal call of this thread.
SetupOutcome RunScripted(const std::function<int()>& modal, const SetupScript& script);

// Filter 0's set-up through a host's view of the plug-in (PluginLibrary).
template <class Plugin>
SetupOutcome RunSetupScripted(const Plugin& plugin, HWND parent, void* pixels, int width, int height,
                              const SetupScript& script) {
    return RunScripted([&] { return plugin.Setup(0, parent, pixels, width, height); }, script);
}

// Parses "R:%u G:%u B:%u"; false when the text has another form.
bool ParseGuideLabel(const std::string& label, int* red, int* green, int* blue);
