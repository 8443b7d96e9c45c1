#include "plugin/Exports.h"

#include <cstring>

#include "plugin/FilterModule.h"

namespace {

const char kPluginInfo[] = "qvhuetint.ppi colorize filters, Copyright (C) 2025-2026 QV Labs";
static_assert(sizeof kPluginInfo - 1 == 63, "the information line is 63 characters");

// strncpy semantics; a length of zero or less writes nothing at all.
void CopyText(char* destination, const char* text, int length) {
    if (destination && length > 0) std::strncpy(destination, text, static_cast<size_t>(length));
}

}  // namespace

extern "C" {

WORD WINAPI PB_GetPluginInfo(char* buffer, int length) {
    CopyText(buffer, kPluginInfo, length);
    return 1;
}

int WINAPI PBF_FilterCount() { return FilterModule::Get().Count(); }

char* WINAPI PBF_GetName(int index, char* category, int categoryLength, char* name, int nameLength) {
    const FilterModule& module = FilterModule::Get();
    CopyText(category, module.CategoryAt(index), categoryLength);
    CopyText(name, module.NameAt(index), nameLength);
    return name;
}

int WINAPI PBF_Execute(int index, int hostArg2, void* source, void* destination, int hostArg5, FilterRect* rect,
                       int hostArg7, int stride, int hostArg9, ProgressCallback callback, void* userData) {
    ProgressSink sink = {userData, callback, 0};
    if (callback) callback(0, 100, userData);
    FilterModule::Get().ExecuteAt(index, hostArg2, source, destination, hostArg5, rect, hostArg7, stride, hostArg9,
                                  &sink);
    return callback ? callback(100, 100, userData) : 0;
}

int WINAPI PBF_Setup(int index, HWND parent, void* pixels, int width, int height) {
    return FilterModule::Get().SetupAt(index, parent, pixels, width, height);
}

}  // extern "C"
