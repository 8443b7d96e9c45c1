#include "settings/TintSettings.h"

#include <windows.h>

#include <cstring>

#include "colorize/GuideColorModel.h"
#include "plugin/FilterModule.h"

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
