#include "settings/TintSettings.h"

#include <windows.h>

#include <cwchar>

#include "colorize/GuideColorModel.h"
#include "plugin/FilterModule.h"
#include "resource.h"

const wchar_t kIniFileName[] = L"qvfilters.ini";
const wchar_t kIniSection[] = L"HueTint";

namespace {

// The choice of an OK that could not be stored. Runs and set-ups in this
// process use it instead of the file, so the user's choice holds until an OK
// stores or the plug-in is unloaded.
bool held = false;
TintSettings heldSettings;

// The position this process last read whole from the file or stored there.
// A run whose read fails (the file locked by another program, the module's
// path not to be had) uses it rather than defaults for the keys it missed,
// which would mix the user's choice with the start position.
bool known = false;
TintSettings knownSettings;

// No value in a profile file holds a line break: the mark of a missing key.
const wchar_t kMissing[] = L"\n";

// One of our keys as it was before OK wrote it.
struct KeyBefore {
    const wchar_t* key;
    wchar_t value[64];
};

DWORD LastErrorOr(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

// False when the file could not be read; a file or key that is not there
// reads as value, the default.
bool ReadKey(const wchar_t* key, int32_t& value, const wchar_t* path) {
    SetLastError(ERROR_SUCCESS);
    // The profile functions parse a leading minus sign; the cast keeps it.
    const int32_t read = static_cast<int32_t>(GetPrivateProfileIntW(kIniSection, key, value, path));
    const DWORD error = GetLastError();
    if (read == value && error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
        return false;
    value = read;
    return true;
}

void SetDefaults(TintSettings& out) {
    out.x = kDefaultPickerX;
    out.y = kDefaultPickerY;
    out.preview = 1;
}

bool WriteKey(const wchar_t* key, const wchar_t* value, const wchar_t* path, DWORD* writeError) {
    if (WritePrivateProfileStringW(kIniSection, key, value, path)) return true;
    if (writeError) *writeError = LastErrorOr(ERROR_WRITE_FAULT);
    return false;
}

}  // namespace

wchar_t* BuildIniPath(wchar_t* buffer, int size) {
    if (!buffer || size <= 0) return nullptr;
    buffer[0] = L'\0';
    const DWORD n = GetModuleFileNameW(FilterModule::Instance(), buffer, static_cast<DWORD>(size));
    // n == size means the path was cut short.
    if (n == 0 || n >= static_cast<DWORD>(size)) {
        buffer[0] = L'\0';
        if (n != 0) SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    wchar_t* slash = std::wcsrchr(buffer, L'\\');
    const size_t needed = sizeof kIniFileName / sizeof kIniFileName[0];
    if (!slash || needed > static_cast<size_t>(size) - static_cast<size_t>(slash + 1 - buffer)) {
        buffer[0] = L'\0';
        SetLastError(slash ? ERROR_FILENAME_EXCED_RANGE : ERROR_BAD_PATHNAME);
        return nullptr;
    }
    std::wmemcpy(slash + 1, kIniFileName, needed);
    return buffer;
}

void ReadTintSettings(TintSettings& out) {
    if (held) {
        out = heldSettings;
        return;
    }
    SetDefaults(out);
    wchar_t path[MAX_PATH];
    const wchar_t* file = BuildIniPath(path, MAX_PATH);
    // Every key is read, each from its default: all three count or none.
    const bool read = file && (ReadKey(L"x", out.x, file) & ReadKey(L"y", out.y, file) &
                               ReadKey(L"preview", out.preview, file));
    if (read) {
        knownSettings = out;
        known = true;
    } else if (known) {
        out = knownSettings;
    } else {
        SetDefaults(out);
    }
    HueSatToRgb(out.x, out.y, &out.red, &out.green, &out.blue);
}

int WriteItemIntToIni(HWND dialog, const wchar_t* section, const wchar_t* key, int itemId, const wchar_t* path,
                      DWORD* writeError) {
    BOOL ok = FALSE;
    const int value = static_cast<int>(GetDlgItemInt(dialog, itemId, &ok, TRUE));
    if (ok && path) {
        wchar_t text[16];
        std::swprintf(text, 16, L"%d", value);
        if (!WritePrivateProfileStringW(section, key, text, path) && writeError)
            *writeError = LastErrorOr(ERROR_WRITE_FAULT);
    }
    return ok ? 1 : 0;
}

bool SaveTintSettings(HWND dialog, SaveFailure& failure) {
    failure.error = ERROR_SUCCESS;
    failure.mixed = false;
    const bool preview = IsDlgButtonChecked(dialog, IDC_PREVIEW_CHECK) == BST_CHECKED;
    // Without a path the profile functions would fall back to win.ini.
    if (const wchar_t* file = BuildIniPath(failure.path, MAX_PATH)) {
        KeyBefore before[] = {{L"x", {}}, {L"y", {}}, {L"preview", {}}};
        for (KeyBefore& k : before) GetPrivateProfileStringW(kIniSection, k.key, kMissing, k.value, 64, file);
        int written = 0;
        WriteItemIntToIni(dialog, kIniSection, L"x", IDC_X_EDIT, file, &failure.error);
        if (failure.error == ERROR_SUCCESS) {
            ++written;
            WriteItemIntToIni(dialog, kIniSection, L"y", IDC_Y_EDIT, file, &failure.error);
        }
        if (failure.error == ERROR_SUCCESS) {
            ++written;
            WriteKey(L"preview", preview ? L"1" : L"0", file, &failure.error);
        }
        // The file never holds half a choice: what was written goes back.
        // A key whose roll-back fails too keeps the new value, and the user
        // is told what the file holds.
        bool newKept[3] = {};
        for (int i = 0; failure.error != ERROR_SUCCESS && i < written; ++i)
            newKept[i] = !WriteKey(before[i].key,
                                   std::wcscmp(before[i].value, kMissing) == 0 ? nullptr : before[i].value, file, nullptr);
        const int items[] = {IDC_X_EDIT, IDC_Y_EDIT}, defaults[] = {kDefaultPickerX, kDefaultPickerY};
        int32_t* const holds[] = {&failure.fileX, &failure.fileY};
        for (int i = 0; i < 2; ++i) {
            // A box that is not a number wrote nothing.
            BOOL number = FALSE;
            const int shown = static_cast<int>(GetDlgItemInt(dialog, items[i], &number, TRUE));
            const bool changed = newKept[i] && number;
            failure.mixed = failure.mixed || changed;
            *holds[i] = changed ? shown
                        : std::wcscmp(before[i].value, kMissing) == 0
                            ? defaults[i]
                            : static_cast<int32_t>(std::wcstol(before[i].value, nullptr, 10));
        }
        // Flush the system's cached copy to disk. Its result says nothing:
        // it is false whenever there was a copy to flush.
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, file);
    } else {
        failure.error = LastErrorOr(ERROR_BAD_PATHNAME);
        std::wcscpy(failure.path, kIniFileName);
    }
    // As the boxes show it; a box that is not a number keeps what the runs
    // used so far, as the file keeps it.
    TintSettings chosen;
    ReadTintSettings(chosen);
    BOOL ok = FALSE;
    const int x = static_cast<int>(GetDlgItemInt(dialog, IDC_X_EDIT, &ok, TRUE));
    if (ok) chosen.x = x;
    const int y = static_cast<int>(GetDlgItemInt(dialog, IDC_Y_EDIT, &ok, TRUE));
    if (ok) chosen.y = y;
    chosen.preview = preview ? 1 : 0;
    HueSatToRgb(chosen.x, chosen.y, &chosen.red, &chosen.green, &chosen.blue);
    if (failure.error == ERROR_SUCCESS) {
        held = false;
        knownSettings = chosen;
        known = true;
        return true;
    }
    heldSettings = chosen;
    held = true;
    return false;
}
