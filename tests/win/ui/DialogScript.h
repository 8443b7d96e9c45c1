// Drives a modal dialog from inside its own modal loop: a thread timer runs
// one step per tick, and a watchdog ends a dialog that outlives its script,
// so a test can never hang.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "ui/DialogBase.h"

// End codes the driver itself uses.
constexpr int kEndedByWatchdog = 900;
constexpr int kStillOpenAfterScript = 901;

using Step = std::function<void(HWND dialog)>;

// Runs `run` (DoModal or RunModal of `dialog`) while the steps execute, one per
// timer tick once the dialog window exists. Returns what `run` returned.
int RunScripted(DialogBase& dialog, const std::function<int()>& run, std::vector<Step> steps);

// Pumps the messages that are already queued, as the modal loop would.
void PumpPending();

// Client-coordinate mouse messages, sent to the window as the system would post them.
void SendMouse(HWND window, UINT message, WPARAM keys, int x, int y);

// A pixel of the window's client area as it is on the screen surface.
COLORREF ScreenPixel(HWND window, int x, int y);

std::string Hex(COLORREF color);
