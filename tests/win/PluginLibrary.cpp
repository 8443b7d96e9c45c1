#include "tests/win/PluginLibrary.h"

#include <cstdio>

namespace {

// A fault inside the plug-in ends the test program at once with a message,
// instead of waiting in Wine's debugger until the test times out.
LONG WINAPI ReportFault(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "unhandled exception 0x%08lX at %p\n", info->ExceptionRecord->ExceptionCode,
                 info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    ExitProcess(3);
}

const struct FaultReporter {
    FaultReporter() {
        SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
        SetUnhandledExceptionFilter(ReportFault);
    }
} faultReporter;

typedef WORD(WINAPI* GetPluginInfoProc)(char*, int);
typedef int(WINAPI* FilterCountProc)();
typedef char*(WINAPI* GetNameProc)(int, char*, int, char*, int);
typedef int(WINAPI* ExecuteProc)(int, int, void*, void*, int, Region*, int, int, int, HostProgress, void*);
typedef int(WINAPI* SetupProc)(int, HWND, void*, int, int);

template <typename T>
T As(FARPROC proc) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(proc));
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : module(LoadLibraryA(path.c_str())) {}

PluginLibrary::PluginLibrary(const std::wstring& path) : module(LoadLibraryW(path.c_str())) {}

PluginLibrary::~PluginLibrary() {
    if (module) FreeLibrary(module);
}

FARPROC PluginLibrary::Proc(const char* name) const { return module ? GetProcAddress(module, name) : nullptr; }

WORD PluginLibrary::GetPluginInfo(char* buffer, int length) const {
    return As<GetPluginInfoProc>(Proc("PB_GetPluginInfo"))(buffer, length);
}

int PluginLibrary::FilterCount() const { return As<FilterCountProc>(Proc("PBF_FilterCount"))(); }

char* PluginLibrary::GetName(int index, char* category, int categoryLength, char* name, int nameLength) const {
    return As<GetNameProc>(Proc("PBF_GetName"))(index, category, categoryLength, name, nameLength);
}

int PluginLibrary::Execute(int index, void* source, void* destination, Region* rect, int stride,
                           HostProgress callback, void* userData) const {
    return As<ExecuteProc>(Proc("PBF_Execute"))(index, 0x2222, source, destination, 0x5555, rect, 0x7777, stride,
                                                0x9999, callback, userData);
}

int PluginLibrary::Setup(int index, HWND parent, void* pixels, int width, int height) const {
    return As<SetupProc>(Proc("PBF_Setup"))(index, parent, pixels, width, height);
}
