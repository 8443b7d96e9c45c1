#include "settings/TintSettings.h"

#include <windows.h>

#include <cwchar>

#include "colorize/GuideColorModel.h"
#include "plugin/FilterModule.h"
#include "resource.h"

const wchar_t kIniFileName[] = L"qvfilters.ini";
const wchar_t kIniSection[] = L"HueTint";

wchar_t* BuildIniPath(wchar_t* buffer, int size) {
    if (!buffer || size <= 0) return nullptr;
    buffer[0] = L'\0';
    const DWORD n = GetModuleFileNameW(FilterModule::Instance(), buffer, static_cast<DWORD>(size));
    // n == size means the path was cut short.
    if (n == 0 || n >= static_cast<DWORD>(size)) return nullptr;
    wchar_t* slash = std::wcsrchr(buffer, L'\\');
    if (!slash) return nullptr;
    const size_t room = static_cast<size_t>(size) - static_cast<size_t>(slash + 1 - buffer);
    const size_t needed = sizeof kIniFileName / sizeof kIniFileName[0];
    if (needed > room) return nullptr;
    std::wmemcpy(slash + 1, kIniFileName, needed);
    return buffer;
}

void ReadTintSettings(TintSettings& out) {
    out.x = kDefaultPickerX;
    out.y = kDefaultPickerY;
    out.preview = 1;
    wchar_t path[MAX_PATH];
    if (const wchar_t* file = BuildIniPath(path, MAX_PATH)) {
        // The profile functions parse a leading minus sign; the cast keeps it.
        out.x = static_cast<int32_t>(GetPrivateProfileIntW(kIniSection, L"x", out.x, file));
        out.y = static_cast<int32_t>(GetPrivateProfileIntW(kIniSection, L"y", out.y, file));
        out.preview = static_cast<int32_t>(GetPrivateProfileIntW(kIniSection, L"preview", out.preview, file));
    }
    HueSatToRgb(out.x, out.y, &out.red, &out.green, &out.blue);
}

int WriteItemIntToIni(HWND dialog, const wchar_t* section, const wchar_t* key, int itemId, const wchar_t* path) {
    BOOL ok = FALSE;
    const int value = static_cast<int>(GetDlgItemInt(dialog, itemId, &ok, TRUE));
    if (ok && path) {
        wchar_t text[16];
        std::swprintf(text, 16, L"%d", value);
        WritePrivateProfileStringW(section, key, text, path);
    }
    return ok ? 1 : 0;
}

void SaveTintSettings(HWND dialog) {
    wchar_t path[MAX_PATH];
    const wchar_t* file = BuildIniPath(path, MAX_PATH);
    // Without a path the profile functions would fall back to win.ini.
    if (!file) return;
    WriteItemIntToIni(dialog, kIniSection, L"x", IDC_X_EDIT, file);
    WriteItemIntToIni(dialog, kIniSection, L"y", IDC_Y_EDIT, file);
    const bool preview = IsDlgButtonChecked(dialog, IDC_PREVIEW_CHECK) == BST_CHECKED;
    WritePrivateProfileStringW(kIniSection, L"preview", preview ? L"1" : L"0", file);
    // Flush the system's cached copy to disk.
    WritePrivateProfileStringW(nullptr, nullptr, nullptr, file);
}
