// A host program for the folder tests: run from wherever a test copied it,
// it loads the plug-in named on its command line and runs "Colorize by
// Drawcolor" with its drawing colour blue. Exit code: 0 the blue tint, 1 the
// grey of a host that did not answer, 2 any other pixel, 3 no plug-in, 4 a
// fault (ended at once, not left to a debugger).
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "host/session/FaultGuard.h"
#include "tests/common/TestImage.h"
#include "tests/win/HostAnswer.h"

typedef int(WINAPI* ExecuteProc)(int, int, void*, void*, int, Region*, int, int, int, void*, void*);

namespace {
[[noreturn]] void EndOnFault(const EXCEPTION_RECORD& record) {
    std::printf("fault 0x%08lX at %p\n", static_cast<unsigned long>(record.ExceptionCode), record.ExceptionAddress);
    std::fflush(stdout);
    ExitProcess(4);
}
LONG WINAPI EndOnUnhandled(EXCEPTION_POINTERS* info) { EndOnFault(*info->ExceptionRecord); }
}  // namespace

int main() {
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    InstallFaultGuard(EndOnFault);
    SetUnhandledExceptionFilter(EndOnUnhandled);
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 2) return 3;
    HMODULE plugin = LoadLibraryW(argv[1]);
    if (!plugin) return 3;
    auto execute = reinterpret_cast<ExecuteProc>(reinterpret_cast<void*>(GetProcAddress(plugin, "PBF_Execute")));
    if (!execute) return 3;
    const unsigned char blue[4] = {255, 0, 0, 0};
    std::memcpy(TheHostAnswer().bytes, blue, 4);
    uint32_t pixel = 0x00808080;
    Region rect = {0, 0, 1, 1};
    execute(1, 0, &pixel, &pixel, 0, &rect, 0, 1, 0, nullptr, nullptr);
    std::printf("pixel %08X, host asked %u times\n", pixel, static_cast<unsigned>(TheHostAnswer().codes.size()));
    return pixel == 0x006262FF ? 0 : pixel == 0x00808080 ? 1 : 2;
}
