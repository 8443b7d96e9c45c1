#include "plugin/Exports.h"

#include <cstring>

#include "plugin/FilterModule.h"
#include "plugin/FloatState.h"

namespace {

const char kPluginInfo[] = "qvhuetint.ppi colorize filters, Copyright (C) 2025-2026 QV Labs";
static_assert(sizeof kPluginInfo - 1 == 63, "the information line is 63 characters");

// strncpy semantics; a length of zero or less writes nothing at all.
void CopyText(char* destination, const char* text, int length) {
    if (destination && length > 0) std::strncpy(destination, text, static_cast<size_t>(length));
}

struct HostProgress {
    ProgressCallback callback;
    void* userData;
};

// The host's callback runs in the host's own floating-point state.
int PPI_CALLBACK CallHostProgress(int done, int total, void* data) {
    const HostProgress* host = static_cast<const HostProgress*>(data);
    HostFloatState hostState;
    return host->callback(done, total, host->userData);
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
    PluginFloatState floatState;
    HostProgress host = {callback, userData};
    ProgressSink sink = {&host, callback ? CallHostProgress : nullptr, 0};
    if (sink.callback) sink.callback(0, 100, sink.userData);
    FilterModule::Get().ExecuteAt(index, hostArg2, source, destination, hostArg5, rect, hostArg7, stride, hostArg9,
                                  &sink);
    return sink.callback ? sink.callback(100, 100, sink.userData) : 0;
}

// Not in our floating-point state as a whole: the modal loop runs the host's
// own windows too. The dialog's procedures set it for themselves.
int WINAPI PBF_Setup(int index, HWND parent, void* pixels, int width, int height) {
    return FilterModule::Get().SetupAt(index, parent, pixels, width, height);
}

}  // extern "C"
