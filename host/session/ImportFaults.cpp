#include "host/session/ImportFaults.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <type_traits>

// decltype of the C runtime's functions carries their attributes (malloc,
// alloc_size), which a template argument drops; only the type matters here.
#pragma GCC diagnostic ignored "-Wignored-attributes"

// The failure table: each function, what a failing call returns and the last
// error it leaves. Functions whose failure says more than a return value
// (a default handed back, errno) have a Failing specialisation below.
#define QV_FAILABLE_COMMON(X)                                              \
    /* kernel32: modules, files, profiles, memory, text */                 \
    X(GetModuleFileNameA, 0, ERROR_NOT_ENOUGH_MEMORY)                      \
    X(GetModuleFileNameW, 0, ERROR_NOT_ENOUGH_MEMORY)                      \
    X(GetModuleHandleA, NULL, ERROR_MOD_NOT_FOUND)                         \
    X(GetModuleHandleW, NULL, ERROR_MOD_NOT_FOUND)                         \
    X(GetModuleHandleExA, FALSE, ERROR_MOD_NOT_FOUND)                      \
    X(GetModuleHandleExW, FALSE, ERROR_MOD_NOT_FOUND)                      \
    X(LoadLibraryA, NULL, ERROR_NOT_ENOUGH_MEMORY)                         \
    X(LoadLibraryW, NULL, ERROR_NOT_ENOUGH_MEMORY)                         \
    X(LoadLibraryExA, NULL, ERROR_NOT_ENOUGH_MEMORY)                       \
    X(LoadLibraryExW, NULL, ERROR_NOT_ENOUGH_MEMORY)                       \
    X(GetProcAddress, NULL, ERROR_PROC_NOT_FOUND)                          \
    X(GetPrivateProfileIntA, 0, ERROR_ACCESS_DENIED)                       \
    X(GetPrivateProfileIntW, 0, ERROR_ACCESS_DENIED)                       \
    X(GetPrivateProfileStringA, 0, ERROR_ACCESS_DENIED)                    \
    X(GetPrivateProfileStringW, 0, ERROR_ACCESS_DENIED)                    \
    X(WritePrivateProfileStringA, FALSE, ERROR_ACCESS_DENIED)              \
    X(WritePrivateProfileStringW, FALSE, ERROR_ACCESS_DENIED)              \
    X(CreateFileA, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED)              \
    X(CreateFileW, INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED)              \
    X(ReadFile, FALSE, ERROR_READ_FAULT)                                   \
    X(WriteFile, FALSE, ERROR_DISK_FULL)                                   \
    X(FormatMessageA, 0, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(FormatMessageW, 0, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(MultiByteToWideChar, 0, ERROR_NO_UNICODE_TRANSLATION)                \
    X(WideCharToMultiByte, 0, ERROR_NO_UNICODE_TRANSLATION)                \
    X(HeapAlloc, NULL, ERROR_NOT_ENOUGH_MEMORY)                            \
    X(HeapReAlloc, NULL, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(LocalAlloc, NULL, ERROR_NOT_ENOUGH_MEMORY)                           \
    X(GlobalAlloc, NULL, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(VirtualAlloc, NULL, ERROR_NOT_ENOUGH_MEMORY)                         \
    X(VirtualProtect, FALSE, ERROR_NOT_ENOUGH_MEMORY)                      \
    X(VirtualQuery, 0, ERROR_NOT_ENOUGH_MEMORY)                            \
    X(TlsAlloc, TLS_OUT_OF_INDEXES, ERROR_NO_MORE_ITEMS)                   \
    X(CreateEventA, NULL, ERROR_NOT_ENOUGH_MEMORY)                         \
    X(CreateEventW, NULL, ERROR_NOT_ENOUGH_MEMORY)                         \
    X(CreateSemaphoreA, NULL, ERROR_NOT_ENOUGH_MEMORY)                     \
    X(CreateSemaphoreW, NULL, ERROR_NOT_ENOUGH_MEMORY)                     \
    /* msvcrt */                                                           \
    X(malloc, NULL, ERROR_NOT_ENOUGH_MEMORY)                               \
    X(calloc, NULL, ERROR_NOT_ENOUGH_MEMORY)                               \
    X(realloc, NULL, ERROR_NOT_ENOUGH_MEMORY)                              \
    /* gdi32 */                                                            \
    X(BitBlt, FALSE, ERROR_NOT_ENOUGH_MEMORY)                              \
    X(CreateCompatibleBitmap, NULL, ERROR_NOT_ENOUGH_MEMORY)               \
    X(CreateCompatibleDC, NULL, ERROR_NOT_ENOUGH_MEMORY)                   \
    X(CreateDIBSection, NULL, ERROR_NOT_ENOUGH_MEMORY)                     \
    X(CreatePen, NULL, ERROR_NOT_ENOUGH_MEMORY)                            \
    X(CreateSolidBrush, NULL, ERROR_NOT_ENOUGH_MEMORY)                     \
    X(Ellipse, FALSE, ERROR_NOT_ENOUGH_MEMORY)                             \
    X(IntersectClipRect, ERROR, ERROR_NOT_ENOUGH_MEMORY)                   \
    X(SelectObject, NULL, ERROR_NOT_ENOUGH_MEMORY)                         \
    X(SetBkColor, CLR_INVALID, ERROR_NOT_ENOUGH_MEMORY)                    \
    X(SetBkMode, 0, ERROR_NOT_ENOUGH_MEMORY)                               \
    X(SetPixel, CLR_INVALID, ERROR_NOT_ENOUGH_MEMORY)                      \
    X(SetTextColor, CLR_INVALID, ERROR_NOT_ENOUGH_MEMORY)                  \
    X(StretchDIBits, 0, ERROR_NOT_ENOUGH_MEMORY)                           \
    X(SetDIBitsToDevice, 0, ERROR_NOT_ENOUGH_MEMORY)                       \
    X(TextOutA, FALSE, ERROR_NOT_ENOUGH_MEMORY)                            \
    X(TextOutW, FALSE, ERROR_NOT_ENOUGH_MEMORY)                            \
    /* user32 */                                                           \
    X(BeginPaint, NULL, ERROR_NOT_ENOUGH_MEMORY)                           \
    X(CheckDlgButton, FALSE, ERROR_NOT_ENOUGH_MEMORY)                      \
    X(CreateDialogParamA, NULL, ERROR_NOT_ENOUGH_MEMORY)                   \
    X(CreateDialogParamW, NULL, ERROR_NOT_ENOUGH_MEMORY)                   \
    X(CreateWindowExA, NULL, ERROR_NOT_ENOUGH_MEMORY)                      \
    X(CreateWindowExW, NULL, ERROR_NOT_ENOUGH_MEMORY)                      \
    X(DialogBoxIndirectParamA, -1, ERROR_NOT_ENOUGH_MEMORY)                \
    X(DialogBoxIndirectParamW, -1, ERROR_NOT_ENOUGH_MEMORY)                \
    X(DialogBoxParamA, -1, ERROR_NOT_ENOUGH_MEMORY)                        \
    X(DialogBoxParamW, -1, ERROR_NOT_ENOUGH_MEMORY)                        \
    X(DrawTextA, 0, ERROR_NOT_ENOUGH_MEMORY)                               \
    X(DrawTextW, 0, ERROR_NOT_ENOUGH_MEMORY)                               \
    X(GetClientRect, FALSE, ERROR_INVALID_WINDOW_HANDLE)                   \
    X(GetDC, NULL, ERROR_NOT_ENOUGH_MEMORY)                                \
    X(GetDlgItem, NULL, ERROR_CONTROL_ID_NOT_FOUND)                        \
    X(GetWindowDC, NULL, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(InvalidateRect, FALSE, ERROR_NOT_ENOUGH_MEMORY)                      \
    X(LoadBitmapA, NULL, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(LoadBitmapW, NULL, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(LoadCursorA, NULL, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(LoadCursorW, NULL, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(LoadIconA, NULL, ERROR_NOT_ENOUGH_MEMORY)                            \
    X(LoadIconW, NULL, ERROR_NOT_ENOUGH_MEMORY)                            \
    X(LoadImageA, NULL, ERROR_NOT_ENOUGH_MEMORY)                           \
    X(LoadImageW, NULL, ERROR_NOT_ENOUGH_MEMORY)                           \
    X(LoadStringA, 0, ERROR_NOT_ENOUGH_MEMORY)                             \
    X(LoadStringW, 0, ERROR_NOT_ENOUGH_MEMORY)                             \
    X(MessageBoxA, 0, ERROR_NOT_ENOUGH_MEMORY)                             \
    X(MessageBoxW, 0, ERROR_NOT_ENOUGH_MEMORY)                             \
    X(RegisterClassA, 0, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(RegisterClassW, 0, ERROR_NOT_ENOUGH_MEMORY)                          \
    X(RegisterClassExA, 0, ERROR_NOT_ENOUGH_MEMORY)                        \
    X(RegisterClassExW, 0, ERROR_NOT_ENOUGH_MEMORY)                        \
    X(SendDlgItemMessageA, 0, ERROR_NOT_ENOUGH_MEMORY)                     \
    X(SendDlgItemMessageW, 0, ERROR_NOT_ENOUGH_MEMORY)                     \
    X(SendMessageA, 0, ERROR_NOT_ENOUGH_MEMORY)                            \
    X(SendMessageW, 0, ERROR_NOT_ENOUGH_MEMORY)                            \
    X(SetDlgItemInt, FALSE, ERROR_NOT_ENOUGH_MEMORY)                       \
    X(SetDlgItemTextA, FALSE, ERROR_NOT_ENOUGH_MEMORY)                     \
    X(SetDlgItemTextW, FALSE, ERROR_NOT_ENOUGH_MEMORY)                     \
    X(SetTimer, 0, ERROR_NOT_ENOUGH_MEMORY)                                \
    X(SetWindowLongA, 0, ERROR_ACCESS_DENIED)                              \
    X(SetWindowLongW, 0, ERROR_ACCESS_DENIED)                              \
    X(SetWindowTextA, FALSE, ERROR_NOT_ENOUGH_MEMORY)                      \
    X(SetWindowTextW, FALSE, ERROR_NOT_ENOUGH_MEMORY)                      \
    X(UpdateWindow, FALSE, ERROR_NOT_ENOUGH_MEMORY)

// On 32 bits these two are macros for SetWindowLongA and W.
#if defined(_WIN64)
#define QV_FAILABLE_IMPORTS(X)                         \
    QV_FAILABLE_COMMON(X)                              \
    X(SetWindowLongPtrA, 0, ERROR_ACCESS_DENIED)       \
    X(SetWindowLongPtrW, 0, ERROR_ACCESS_DENIED)
#else
#define QV_FAILABLE_IMPORTS(X) QV_FAILABLE_COMMON(X)
#endif

namespace {

const char* const kPassThrough[] = {
    // kernel32: errors, threads, time, locks, languages, releases
    "GetLastError", "SetLastError", "Sleep", "GetCurrentProcess", "GetCurrentProcessId", "GetCurrentThread",
    "GetCurrentThreadId", "GetTickCount", "QueryPerformanceCounter", "GetSystemTimeAsFileTime",
    "InitializeCriticalSection", "EnterCriticalSection", "LeaveCriticalSection", "DeleteCriticalSection",
    "TlsGetValue", "TlsSetValue", "TlsFree", "IsDBCSLeadByte", "IsDBCSLeadByteEx", "GetUserDefaultLangID",
    "GetUserDefaultUILanguage", "GetSystemDefaultLangID", "GetACP", "CloseHandle", "FreeLibrary", "HeapFree",
    "LocalFree", "GlobalFree", "VirtualFree", "GetProcessHeap", "SetUnhandledExceptionFilter",
    "UnhandledExceptionFilter", "TerminateProcess", "RaiseException", "RtlCaptureContext", "RtlLookupFunctionEntry",
    "RtlVirtualUnwind", "RtlAddFunctionTable", "RtlUnwindEx", "IsDebuggerPresent", "OutputDebugStringA",
    "OutputDebugStringW",
    // msvcrt: memory and strings, the runtime's start, its locks and its
    // error reports to stderr
    "free", "memcpy", "memmove", "memset", "memcmp", "memchr", "strlen", "strcmp", "strncmp", "strcpy", "strncpy",
    "strcat", "strchr", "strrchr", "wcslen", "wcscmp", "wcsncmp", "wcscpy", "wcsncpy", "wcschr", "wcsrchr", "atoi",
    "strtol", "strtoul", "wcstol", "abs", "abort", "exit", "_exit", "_errno", "_lock", "_unlock", "_amsg_exit", "_initterm",
    "_onexit", "__dllonexit", "atexit", "__mb_cur_max", "___mb_cur_max_func", "___lc_codepage_func", "_iob",
    "__iob_func", "localeconv", "setlocale", "strerror", "fprintf", "fwprintf", "vfprintf", "fputc", "fputwc",
    "fputs", "fwrite", "fflush", "signal", "_read", "_close",
    // user32: releases, reads of the caller's own windows and controls,
    // default procedures
    "ReleaseCapture", "EndDialog", "DestroyWindow", "KillTimer", "CallWindowProcA",
    "CallWindowProcW", "DefWindowProcA", "DefWindowProcW", "DefDlgProcA", "DefDlgProcW", "GetCapture", "SetCapture",
    "SetCursor", "GetSysColor", "GetSysColorBrush", "GetSystemMetrics", "IsDlgButtonChecked", "GetDlgItemInt",
    "GetDlgItemTextA", "GetDlgItemTextW", "GetDlgCtrlID", "GetWindowLongA", "GetWindowLongW", "GetWindowLongPtrA",
    "GetWindowLongPtrW", "GetParent", "IsWindow", "IsWindowVisible", "IsWindowEnabled", "EnableWindow",
    "ShowWindow", "GetFocus", "SetFocus",
    // gdi32: releases (DeleteObject and DeleteDC counted, see below), the
    // stock objects, which are there from the system's start
    "RestoreDC", "GetStockObject"};

enum ImportId {
#define QV_ID(name, result, error) kId_##name,
    QV_FAILABLE_IMPORTS(QV_ID)
#undef QV_ID
        kImportCount
};

const FailableImport kTable[] = {
#define QV_ENTRY(name, result, error) {#name, #result ", " #error},
    QV_FAILABLE_IMPORTS(QV_ENTRY)
#undef QV_ENTRY
};

const intptr_t kResults[] = {
#define QV_RESULT(name, result, error) (intptr_t)(result),
    QV_FAILABLE_IMPORTS(QV_RESULT)
#undef QV_RESULT
};

const DWORD kErrors[] = {
#define QV_ERROR(name, result, error) error,
    QV_FAILABLE_IMPORTS(QV_ERROR)
#undef QV_ERROR
};

enum class Mode { Pass, Call, CallOf, From, Functions };

// What the shims share.
struct State {
    void* real[kImportCount] = {};
    Mode mode = Mode::Pass;
    long long call = 0;  // Call, CallOf and From: the one to fail
    int function = -1;   // CallOf and From
    bool failing[kImportCount] = {};
    long long calls = 0;
    long long callsOf[kImportCount] = {};
    long long failures = 0;
    int firstFailed = -1;
    bool keepLog = false;
    std::vector<ImportCall> log;
    // GDI objects got through the shims and not yet given back: the object
    // and the table id of the function that gave it.
    std::map<uintptr_t, int> held;
    void* realRelease[4] = {};
} state;

// The functions whose result the caller owns until it gives it back through
// one of the releases below.
constexpr bool GivesGdiObject(int id) {
    return id == kId_GetDC || id == kId_GetWindowDC || id == kId_BeginPaint || id == kId_CreateCompatibleDC ||
           id == kId_CreateCompatibleBitmap || id == kId_CreateDIBSection || id == kId_CreatePen ||
           id == kId_CreateSolidBrush || id == kId_LoadBitmapA || id == kId_LoadBitmapW;
}

template <class R>
void NoteGiven(int id, R result) {
    if constexpr (std::is_pointer<R>::value)
        if (result) state.held[reinterpret_cast<uintptr_t>(result)] = id;
    (void)id;
    (void)result;
}

void NoteReturned(const void* object) { state.held.erase(reinterpret_cast<uintptr_t>(object)); }

bool Fails(int id, const void* caller) {
    const long long call = ++state.calls;
    const long long callOf = ++state.callsOf[id];
    if (state.keepLog) state.log.push_back({id, caller});
    bool fail = false;
    switch (state.mode) {
    case Mode::Pass: break;
    case Mode::Call: fail = call == state.call; break;
    case Mode::CallOf: fail = id == state.function && callOf == state.call; break;
    case Mode::From: fail = id == state.function && callOf >= state.call; break;
    case Mode::Functions: fail = state.failing[id]; break;
    }
    if (fail && state.failures++ == 0) state.firstFailed = id;
    return fail;
}

template <class R>
R ResultOf(intptr_t value) {
    if constexpr (std::is_pointer<R>::value)
        return reinterpret_cast<R>(value);
    else
        return static_cast<R>(value);
}

// How a call of function Id fails: the table's result and last error.
template <int Id>
struct Failing {
    template <class R, class... A>
    static R Call(A...) {
        SetLastError(kErrors[Id]);
        return ResultOf<R>(kResults[Id]);
    }
};

// A profile that cannot be read gives the caller's default.
template <>
struct Failing<kId_GetPrivateProfileIntA> {
    template <class R>
    static R Call(LPCSTR, LPCSTR, INT fallback, LPCSTR) {
        SetLastError(kErrors[kId_GetPrivateProfileIntA]);
        return static_cast<R>(fallback);
    }
};

template <>
struct Failing<kId_GetPrivateProfileIntW> {
    template <class R>
    static R Call(LPCWSTR, LPCWSTR, INT fallback, LPCWSTR) {
        SetLastError(kErrors[kId_GetPrivateProfileIntW]);
        return static_cast<R>(fallback);
    }
};

template <class C>
DWORD CopyDefault(const C* fallback, C* out, DWORD size) {
    if (!out || size == 0) return 0;
    DWORD n = 0;
    while (fallback && fallback[n] && n + 1 < size) {
        out[n] = fallback[n];
        ++n;
    }
    out[n] = 0;
    return n;
}

template <>
struct Failing<kId_GetPrivateProfileStringA> {
    template <class R>
    static R Call(LPCSTR, LPCSTR, LPCSTR fallback, LPSTR out, DWORD size, LPCSTR) {
        SetLastError(kErrors[kId_GetPrivateProfileStringA]);
        return CopyDefault(fallback, out, size);
    }
};

template <>
struct Failing<kId_GetPrivateProfileStringW> {
    template <class R>
    static R Call(LPCWSTR, LPCWSTR, LPCWSTR fallback, LPWSTR out, DWORD size, LPCWSTR) {
        SetLastError(kErrors[kId_GetPrivateProfileStringW]);
        return CopyDefault(fallback, out, size);
    }
};

// The C runtime's allocations say why in errno.
template <int Id>
struct OutOfMemory {
    template <class R, class... A>
    static R Call(A...) {
        errno = ENOMEM;
        return nullptr;
    }
};
template <>
struct Failing<kId_malloc> : OutOfMemory<kId_malloc> {};
template <>
struct Failing<kId_calloc> : OutOfMemory<kId_calloc> {};
template <>
struct Failing<kId_realloc> : OutOfMemory<kId_realloc> {};

// The shim of function Id, of the same type as the function. On 32 bits the
// system's functions are stdcall and the C runtime's cdecl; a 64-bit process
// has one convention.
template <int Id, class F>
struct Shim;

template <int Id, class R, class... A>
struct Shim<Id, R(WINAPI*)(A...)> {
    static R WINAPI Call(A... args) {
        if (Fails(Id, __builtin_return_address(0))) return Failing<Id>::template Call<R>(args...);
        const R result = reinterpret_cast<R(WINAPI*)(A...)>(state.real[Id])(args...);
        if constexpr (GivesGdiObject(Id)) NoteGiven(Id, result);
        return result;
    }
};

#if defined(__i386__)
template <int Id, class R, class... A>
struct Shim<Id, R(__cdecl*)(A...)> {
    static R __cdecl Call(A... args) {
        if (Fails(Id, __builtin_return_address(0))) return Failing<Id>::template Call<R>(args...);
        return reinterpret_cast<R(__cdecl*)(A...)>(state.real[Id])(args...);
    }
};
#endif

void* const kShims[] = {
#define QV_SHIM(name, result, error) reinterpret_cast<void*>(&Shim<kId_##name, decltype(&name)>::Call),
    QV_FAILABLE_IMPORTS(QV_SHIM)
#undef QV_SHIM
};

static_assert(sizeof kShims / sizeof kShims[0] == kImportCount, "one shim per function");

// The releases never fail; they only take what they give back off the list.
int WINAPI ReleaseDcShim(HWND window, HDC dc) {
    const int released = reinterpret_cast<decltype(&ReleaseDC)>(state.realRelease[0])(window, dc);
    if (released) NoteReturned(dc);
    return released;
}
BOOL WINAPI EndPaintShim(HWND window, const PAINTSTRUCT* paint) {
    const BOOL ended = reinterpret_cast<decltype(&EndPaint)>(state.realRelease[1])(window, paint);
    if (paint) NoteReturned(paint->hdc);
    return ended;
}
BOOL WINAPI DeleteDcShim(HDC dc) {
    const BOOL deleted = reinterpret_cast<decltype(&DeleteDC)>(state.realRelease[2])(dc);
    if (deleted) NoteReturned(dc);
    return deleted;
}
BOOL WINAPI DeleteObjectShim(HGDIOBJ object) {
    const BOOL deleted = reinterpret_cast<decltype(&DeleteObject)>(state.realRelease[3])(object);
    if (deleted) NoteReturned(object);
    return deleted;
}

const struct {
    const char* name;
    void* shim;
} kReleases[] = {{"ReleaseDC", reinterpret_cast<void*>(&ReleaseDcShim)},
                 {"EndPaint", reinterpret_cast<void*>(&EndPaintShim)},
                 {"DeleteDC", reinterpret_cast<void*>(&DeleteDcShim)},
                 {"DeleteObject", reinterpret_cast<void*>(&DeleteObjectShim)}};

int FindRelease(const char* name) {
    for (int i = 0; i < 4; ++i)
        if (std::strcmp(kReleases[i].name, name) == 0) return i;
    return -1;
}

void Plan(Mode mode, long long call = 0, int function = -1) {
    state.mode = mode;
    state.call = call;
    state.function = function;
    std::fill(std::begin(state.failing), std::end(state.failing), false);
    state.calls = 0;
    std::fill(std::begin(state.callsOf), std::end(state.callsOf), 0);
    state.failures = 0;
    state.firstFailed = -1;
    state.log.clear();
}

bool WriteSlot(void** slot, void* value) {
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old)) return false;
    *slot = value;
    VirtualProtect(slot, sizeof *slot, old, &old);
    return true;
}

}  // namespace

int FailableImportCount() { return kImportCount; }

const FailableImport& FailableImportAt(int id) { return kTable[id]; }

bool ImportRunsOut(int id) {
    switch (id) {
    case kId_malloc: case kId_calloc: case kId_realloc: case kId_HeapAlloc: case kId_HeapReAlloc:
    case kId_LocalAlloc: case kId_GlobalAlloc: case kId_VirtualAlloc: case kId_WriteFile:
    case kId_WritePrivateProfileStringA: case kId_WritePrivateProfileStringW:
        return true;
    default:
        return false;
    }
}

std::string FailingText(int id) { return std::string(kTable[id].name) + " returning " + kTable[id].how; }

int FindFailableImport(const char* name) {
    for (int id = 0; id < kImportCount; ++id)
        if (std::strcmp(kTable[id].name, name) == 0) return id;
    return -1;
}

bool ImportPassesThrough(const char* name) {
    if (FindRelease(name) >= 0) return true;
    for (const char* passing : kPassThrough)
        if (std::strcmp(passing, name) == 0) return true;
    return false;
}

ImportFaults::~ImportFaults() { Uninstall(); }

bool ImportFaults::ImportsBound(HMODULE module) {
    auto* base = reinterpret_cast<const unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!module || dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) return true;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); d->Name; ++d) {
        if (!d->OriginalFirstThunk) continue;
        const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        const auto* slot = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        // Unbound, a slot still holds what the name table does.
        if (names->u1.AddressOfData && slot->u1.Function == names->u1.AddressOfData) return false;
    }
    return true;
}

bool ImportFaults::Install(HMODULE module, std::string* error) {
    Uninstall();
    unknown.clear();
    patched.clear();
    state.held.clear();
    Plan(Mode::Pass);
    auto* base = reinterpret_cast<unsigned char*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (!module || dos->e_magic != IMAGE_DOS_SIGNATURE ||
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew)->Signature != IMAGE_NT_SIGNATURE) {
        if (error) *error = "not a loaded module";
        return false;
    }
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!directory.VirtualAddress) return true;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress); d->Name; ++d) {
        const std::string dll = reinterpret_cast<const char*>(base + d->Name);
        // The names; the slots themselves hold addresses by now.
        if (!d->OriginalFirstThunk) {
            if (error) *error = dll + ": imports without their names";
            Uninstall();
            return false;
        }
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + d->OriginalFirstThunk);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + d->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slot) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                unknown.push_back(dll + "!#" + std::to_string(IMAGE_ORDINAL(names->u1.Ordinal)));
                continue;
            }
            const char* name = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name;
            void** address = reinterpret_cast<void**>(&slot->u1.Function);
            const int release = FindRelease(name);
            if (release >= 0) {
                state.realRelease[release] = *address;
                if (!WriteSlot(address, kReleases[release].shim)) {
                    if (error) *error = dll + "!" + name + ": cannot write its import slot";
                    Uninstall();
                    return false;
                }
                slots.push_back({address, state.realRelease[release]});
                continue;
            }
            const int id = FindFailableImport(name);
            if (id < 0) {
                if (!ImportPassesThrough(name)) unknown.push_back(dll + "!" + name);
                continue;
            }
            state.real[id] = *address;
            if (!WriteSlot(address, kShims[id])) {
                if (error) *error = dll + "!" + name + ": cannot write its import slot, error " +
                                    std::to_string(GetLastError());
                Uninstall();
                return false;
            }
            slots.push_back({address, state.real[id]});
            patched.push_back(id);
        }
    }
    return true;
}

void ImportFaults::Uninstall() {
    for (const Slot& slot : slots) WriteSlot(slot.address, slot.original);
    Forget();
}

void ImportFaults::Forget() {
    slots.clear();
    Plan(Mode::Pass);
}

void ImportFaults::PassAll() { Plan(Mode::Pass); }

void ImportFaults::FailCall(long long call) { Plan(Mode::Call, call); }

void ImportFaults::FailCallOf(int id, long long call) { Plan(Mode::CallOf, call, id); }

void ImportFaults::FailFrom(int id, long long call) { Plan(Mode::From, call, id); }

void ImportFaults::FailFunctions(const std::vector<int>& ids) {
    Plan(Mode::Functions);
    for (const int id : ids)
        if (id >= 0 && id < kImportCount) state.failing[id] = true;
}

void ImportFaults::KeepLog(bool keep) { state.keepLog = keep; }

long long ImportFaults::Calls() const { return state.calls; }

long long ImportFaults::Failures() const { return state.failures; }

int ImportFaults::FirstFailedFunction() const { return state.firstFailed; }

const std::vector<ImportCall>& ImportFaults::Log() const { return state.log; }

std::string ImportFaults::HeldGdiObjects() const {
    std::map<int, int> counts;
    for (const auto& object : state.held) ++counts[object.second];
    std::string text;
    for (const auto& count : counts)
        text += (text.empty() ? "" : ", ") + std::to_string(count.second) + " from " + kTable[count.first].name;
    return text;
}
