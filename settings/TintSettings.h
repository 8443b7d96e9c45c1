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
// does not fit in size characters; buffer then holds no usable path and the
// last error says why.
// Wide characters throughout: the ANSI form of a folder name that the code
// page cannot spell is another folder's name, or none.
wchar_t* BuildIniPath(wchar_t* buffer, int size);

// Fills out from the file, or with the choice of an OK that could not be
// stored (see SaveTintSettings). A missing file or missing keys give x 0,
// y 255, preview 1. A file that cannot be read, or an unusable path, gives
// the position this process last read whole or stored, else those three.
// Values are passed on unchecked.
void ReadTintSettings(TintSettings& out);

// Writes the signed integer that dialog item itemId shows as key of section
// in the file at path. Returns whether the text was an integer; the key is
// left as it was when it was not, and nothing is written for a null path.
// writeError, when given, gets the system's error of a write that failed,
// and is left alone otherwise.
int WriteItemIntToIni(HWND dialog, const wchar_t* section, const wchar_t* key, int itemId, const wchar_t* path,
                      DWORD* writeError = nullptr);

// Why an OK's choice is not in the file: the file (its name alone when its
// path could not be built) and the system's error.
struct SaveFailure {
    DWORD error;
    wchar_t path[MAX_PATH];
    // A key written before the failure could not be given its earlier value
    // back either: the file holds X fileX, Y fileY, which are not both the
    // earlier ones.
    bool mixed;
    int32_t fileX;
    int32_t fileY;
};

// OK of the Colorize dialog: X (1021), Y (1023) and the Preview box (1006)
// into the file, then flushes the system's cached copy. The three keys change
// together: when one cannot be written, those written before it get their
// earlier values back (failure.mixed when that fails too). Returns false, with failure filled in, when the
// choice could not be stored; it is then held in this process, and
// ReadTintSettings returns it until an OK stores or the plug-in is unloaded.
bool SaveTintSettings(HWND dialog, SaveFailure& failure);
