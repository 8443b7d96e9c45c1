// Tells the user that OK could not store the chosen position, and that the
// position holds anyway until the paint program is closed.
#pragma once

#include <windows.h>

#include "settings/TintSettings.h"

// A message box owned by dialog, in Japanese or in English as the dialog's
// template is. held is the choice the runs now use.
void ShowSaveFailure(HWND dialog, bool japanese, const SaveFailure& failure, const TintSettings& held);
