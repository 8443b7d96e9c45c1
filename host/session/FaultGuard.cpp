#include "host/session/FaultGuard.h"

#include <cstdint>
#include <cstdio>
#include <cwchar>

namespace {

FaultReport theReport;

// "invalid-operation" for a floating-point exception code; null for the
// codes of other exceptions.
const char* FloatExceptionName(unsigned long code) {
    switch (code) {
    case EXCEPTION_FLT_INVALID_OPERATION: return "invalid-operation";
    case EXCEPTION_FLT_DIVIDE_BY_ZERO: return "zero-divide";
    case EXCEPTION_FLT_OVERFLOW: return "overflow";
    case EXCEPTION_FLT_UNDERFLOW: return "underflow";
    case EXCEPTION_FLT_INEXACT_RESULT: return "inexact-result";
    case EXCEPTION_FLT_DENORMAL_OPERAND: return "denormal-operand";
    case EXCEPTION_FLT_STACK_CHECK: return "x87 stack";
    case STATUS_FLOAT_MULTIPLE_FAULTS:
    case STATUS_FLOAT_MULTIPLE_TRAPS: return "SSE floating-point";
    default: return nullptr;
    }
}

bool IsHardwareFault(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
        return true;
    default:
        // Unmasked by a host (Delphi's programs unmask three), raised by a
        // plug-in.
        return FloatExceptionName(code) != nullptr;
    }
}

// The system's DLLs (Wine's among them) may fault on purpose and handle it
// themselves; they all live under the Windows folder.
bool InSystemModule(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return false;
    wchar_t path[MAX_PATH];
    wchar_t windows[MAX_PATH];
    const UINT length = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (!GetModuleFileNameW(module, path, MAX_PATH) || length == 0 || length >= MAX_PATH) return false;
    return _wcsnicmp(path, windows, length) == 0 && (path[length] == L'\\' || path[length] == L'/');
}

// First in the chain, so it sees a fault even where it is raised inside a
// window procedure: Wine catches those around its callbacks and goes on, and
// an unhandled-exception filter never hears of them.
LONG CALLBACK Guard(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD& record = *info->ExceptionRecord;
    if (IsHardwareFault(record.ExceptionCode) && !InSystemModule(record.ExceptionAddress)) theReport(record);
    return EXCEPTION_CONTINUE_SEARCH;
}


}  // namespace

void InstallFaultGuard(FaultReport report) {
    theReport = report;
    AddVectoredExceptionHandler(1, Guard);
}

void FaultModuleName(const void* address, char* name, int size) {
    lstrcpynA(name, "an unknown module", size);
    HMODULE owner = nullptr;
    char path[MAX_PATH];
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<const char*>(address), &owner) ||
        !GetModuleFileNameA(owner, path, MAX_PATH))
        return;
    const char* file = path;
    for (const char* p = path; *p; ++p)
        if (*p == '\\' || *p == '/') file = p + 1;
    lstrcpynA(name, file, size);
}

std::string FaultPlace(const void* address) {
    char module[MAX_PATH];
    FaultModuleName(address, module, MAX_PATH);
    HMODULE owner = nullptr;
    char offset[32] = "";
    if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                           static_cast<const char*>(address), &owner))
        std::snprintf(offset, sizeof offset, "+0x%llX",
                      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(address) -
                                                      reinterpret_cast<uintptr_t>(owner)));
    return std::string(module) + offset;
}

std::string ExceptionText(const EXCEPTION_RECORD& record) {
    char text[96];
    if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2)
        std::snprintf(text, sizeof text, "exception 0x%08lX (%s %p)", static_cast<unsigned long>(record.ExceptionCode),
                      record.ExceptionInformation[0] == 1   ? "writing"
                      : record.ExceptionInformation[0] == 8 ? "running"
                                                            : "reading",
                      reinterpret_cast<void*>(record.ExceptionInformation[1]));
    else if (const char* floating = FloatExceptionName(record.ExceptionCode))
        std::snprintf(text, sizeof text, "exception 0x%08lX (%s)", static_cast<unsigned long>(record.ExceptionCode),
                      floating);
    else
        std::snprintf(text, sizeof text, "exception 0x%08lX", static_cast<unsigned long>(record.ExceptionCode));
    return text;
}
