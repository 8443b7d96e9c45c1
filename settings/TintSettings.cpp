#include "settings/TintSettings.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "colorize/GuideColorModel.h"
#include "plugin/FilterModule.h"
#include "resource.h"

const char kIniFileName[] = "qvfilters.ini";
const char kIniSection[] = "HueTint";

char* BuildIniPath(char* buffer, int size) {
    if (!buffer || size <= 0) return nullptr;
    buffer[0] = '\0';
    const DWORD n = GetModuleFileNameA(FilterModule::Instance(), buffer, static_cast<DWORD>(size));
    // n == size means the path was cut short.
    if (n == 0 || n >= static_cast<DWORD>(size)) return nullptr;
    char* slash = std::strrchr(buffer, '\\');
    if (!slash) return nullptr;
    const size_t room = static_cast<size_t>(size) - static_cast<size_t>(slash + 1 - buffer);
    if (sizeof kIniFileName > room) return nullptr;
    std::memcpy(slash + 1, kIniFileName, sizeof kIniFileName);
    return buffer;
}

void ReadTintSettings(TintSettings& out) {
    out.x = kDefaultPickerX;
    out.y = kDefaultPickerY;
    out.preview = 1;
    char path[MAX_PATH];
    if (const char* file = BuildIniPath(path, MAX_PATH)) {
        // The profile functions parse a leading minus sign; the cast keeps it.
        out.x = static_cast<int32_t>(GetPrivateProfileIntA(kIniSection, "x", out.x, file));
        out.y = static_cast<int32_t>(GetPrivateProfileIntA(kIniSection, "y", out.y, file));
        out.preview = static_cast<int32_t>(GetPrivateProfileIntA(kIniSection, "preview", out.preview, file));
    }
    HueSatToRgb(out.x, out.y, &out.red, &out.green, &out.blue);
}

int WriteItemIntToIni(HWND dialog, const char* section, const char* key, int itemId, const char* path) {
    BOOL ok = FALSE;
    const int value = static_cast<int>(GetDlgItemInt(dialog, itemId, &ok, TRUE));
    if (ok && path) {
        char text[16];
        std::snprintf(text, sizeof text, "%d", value);
        WritePrivateProfileStringA(section, key, text, path);
    }
    return ok ? 1 : 0;
}

void SaveTintSettings(HWND dialog) {
    char path[MAX_PATH];
    const char* file = BuildIniPath(path, MAX_PATH);
    // Without a path the profile functions would fall back to win.ini.
    if (!file) return;
    WriteItemIntToIni(dialog, kIniSection, "x", IDC_X_EDIT, file);
    WriteItemIntToIni(dialog, kIniSection, "y", IDC_Y_EDIT, file);
    const bool preview = IsDlgButtonChecked(dialog, IDC_PREVIEW_CHECK) == BST_CHECKED;
    WritePrivateProfileStringA(kIniSection, "preview", preview ? "1" : "0", file);
    // Flush the system's cached copy to disk.
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, file);
}
