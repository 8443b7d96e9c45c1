// The dialog a plug-in shows on this thread, found and answered from a timer
// that its modal loop dispatches.
#pragma once

#include <windows.h>

// A top-level window of this thread of the dialog class: the plug-in's
// modal dialog or its message box. Null when there is none (or none shown
// yet, with visibleOnly).
HWND FindThreadDialog(bool visibleOnly);

// Posts what the button `id` sends when it is clicked; posted, not sent, so
// the dialog ends from its own loop and not inside the caller's timer.
void PressDialogButton(HWND dialog, int id);
