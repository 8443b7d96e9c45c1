// The settings file "qvfilters.ini" beside the plug-in, section "HueTint".
#pragma once

#include <windows.h>

#include <cstdint>

struct TintSettings {
    int32_t x;
    int32_t y;
    // HueSatToRgb(x, y).
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    int32_t preview;
};

extern const wchar_t kIniFileName[];
extern const wchar_t kIniSection[];

// The settings file's path: the plug-in's own path with its file name
// replaced. Returns null when the module path has no folder or the file name
// does not fit in size characters; buffer then holds no usable path.
// Wide characters throughout: the ANSI form of a folder name that the code
// page cannot spell is another folder's name, or none.
wchar_t* BuildIniPath(wchar_t* buffer, int size);

// Fills out from the file. A missing file, missing keys or an unusable path
// give x 0, y 255, preview 1. Values are passed on unchecked.
void ReadTintSettings(TintSettings& out);

// Writes the signed integer that dialog item itemId shows as key of section
// in the file at path. Returns whether the text was an integer; the key is
// left as it was when it was not, and nothing is written for a null path.
int WriteItemIntToIni(HWND dialog, const wchar_t* section, const wchar_t* key, int itemId, const wchar_t* path);

// OK of the Colorize dialog: X (1021), Y (1023) and the Preview box (1006)
// into the file, then flushes the system's cached copy. Writes nothing when
// the file's path cannot be built.
void SaveTintSettings(HWND dialog);
