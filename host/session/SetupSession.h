// PBF_Setup as a host runs it: over a parent window of its own, with an
// optional screenshot of the plug-in's dialog and a button pressed for the
// user.
#pragma once

#include <windows.h>

#include <string>

#include "host/image/OutputFile.h"
#include "host/image/WicImage.h"
#include "host/session/PluginLibrary.h"

struct SetupRequest {
    int index = 0;
    // Where the dialog's picture goes; null for none. Written, not
    // committed.
    OutputFile* screenshot = nullptr;
    // IDOK, IDCANCEL, or 0 to leave the dialog to the user.
    int press = 0;
    // Pressed at the first look that finds the dialog, looking every 10 ms:
    // for set-ups run by the hundred, with no screenshot.
    bool quick = false;
};

// How long a dialog may stay open after its button was pressed.
constexpr int kSetupPatienceSeconds = 10;

struct SetupOutcome {
    int result = 0;
    // The plug-in showed a dialog of its own.
    bool dialogShown = false;
    int dialogWidth = 0;
    int dialogHeight = 0;
    bool screenshotWritten = false;
    // The pressed button left the dialog open, so it was ended by force
    // after kSetupPatienceSeconds.
    bool closedByForce = false;
    // UTF-8; set when a requested screenshot could not be written.
    std::string screenshotError;
};

// Registers the common controls the plug-ins' dialogs contain; run before
// any PBF_Setup.
void InitDialogControls();

SetupOutcome RunSetup(const PluginLibrary& plugin, Image& image, const SetupRequest& request);
// Over pixels that the caller owns, width x height with no padding.
SetupOutcome RunSetup(const PluginLibrary& plugin, uint32_t* pixels, int width, int height,
                      const SetupRequest& request);
