// In every test program: a fault in the code under test ends the program at
// once with a line naming the module, also inside a window procedure, where
// Wine would catch it and let the test go on.
#include <windows.h>

#include <cstdio>

#include "host/session/FaultGuard.h"

namespace {

[[noreturn]] void EndOnFault(const EXCEPTION_RECORD& record) {
    char module[MAX_PATH];
    FaultModuleName(record.ExceptionAddress, module, MAX_PATH);
    std::fprintf(stderr, "fault 0x%08lX at %p in %s\n", static_cast<unsigned long>(record.ExceptionCode),
                 record.ExceptionAddress, module);
    std::fflush(stderr);
    ExitProcess(3);
}

const struct Installer {
    Installer() { InstallFaultGuard(EndOnFault); }
} installer;

}  // namespace
