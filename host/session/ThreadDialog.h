// The dialog a plug-in shows on this thread, found and answered from a timer
// that its modal loop dispatches.
#pragma once

#include <windows.h>

#include <string>

// A top-level window of this thread of the dialog class: the plug-in's
// modal dialog or its message box. Null when there is none (or none shown
// yet, with visibleOnly).
HWND FindThreadDialog(bool visibleOnly);

// A shown dialog of this thread that another dialog of this thread owns: a
// message box over the plug-in's dialog. Null when there is none.
HWND FindOwnedThreadDialog();
// The text of a message box.
std::wstring MessageBoxText(HWND box);

// Posts what the button `id` sends when it is clicked; posted, not sent, so
// the dialog ends from its own loop and not inside the caller's timer.
void PressDialogButton(HWND dialog, int id);
