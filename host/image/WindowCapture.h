// A window's pixels as they are on screen, frame included.
#pragma once

#include <windows.h>

#include "host/image/WicImage.h"

// Paints what is still due first. False when the window has no size or GDI
// cannot copy it.
bool CaptureWindow(HWND window, Image& shot);
