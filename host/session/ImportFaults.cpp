#include "host/session/ImportFaults.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <tuple>
#include <type_traits>
#include <utility>

// decltype of the C runtime's functions carries their attributes (malloc,
// alloc_size), which a template argument drops; only the type matters here.
#pragma GCC diagnostic ignored "-Wignored-attributes"

// The failure table, one row per function or A/W pair. Columns: what a
// failing call returns and the last error it leaves; how it fails (Last:
// that result and error; Default: the caller's default, as a profile that
// cannot be read gives; Errno: the C runtime's allocations say why in
// errno); whether it fails once or from a call on too, as memory and a disk
// that fills up do (Onward); what its caller must give back through one of
// the releases below (ModuleAsked: through its last argument, unless the
// flags ask for no reference).
#define QV_AW(X, name, ...) X(name##A, __VA_ARGS__) X(name##W, __VA_ARGS__)
#define QV_FAILABLE_COMMON(X)                                                                                             \
    /* kernel32: modules, files, profiles, memory, text */                                                                \
    QV_AW(X, GetModuleFileName,         0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, GetModuleHandle,           NULL,                 ERROR_MOD_NOT_FOUND,          Last,    Once,   Nothing)     \
    QV_AW(X, GetModuleHandleEx,         FALSE,                ERROR_MOD_NOT_FOUND,          Last,    Once,   ModuleAsked) \
    QV_AW(X, LoadLibrary,               NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Module)      \
    QV_AW(X, LoadLibraryEx,             NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Module)      \
    X(GetProcAddress,                   NULL,                 ERROR_PROC_NOT_FOUND,         Last,    Once,   Nothing)     \
    QV_AW(X, GetPrivateProfileInt,      0,                    ERROR_ACCESS_DENIED,          Default, Once,   Nothing)     \
    QV_AW(X, GetPrivateProfileString,   0,                    ERROR_ACCESS_DENIED,          Default, Once,   Nothing)     \
    QV_AW(X, WritePrivateProfileString, FALSE,                ERROR_ACCESS_DENIED,          Last,    Onward, Nothing)     \
    QV_AW(X, CreateFile,                INVALID_HANDLE_VALUE, ERROR_ACCESS_DENIED,          Last,    Once,   Nothing)     \
    X(ReadFile,                         FALSE,                ERROR_READ_FAULT,             Last,    Once,   Nothing)     \
    X(WriteFile,                        FALSE,                ERROR_DISK_FULL,              Last,    Onward, Nothing)     \
    QV_AW(X, FormatMessage,             0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(MultiByteToWideChar,              0,                    ERROR_NO_UNICODE_TRANSLATION, Last,    Once,   Nothing)     \
    X(WideCharToMultiByte,              0,                    ERROR_NO_UNICODE_TRANSLATION, Last,    Once,   Nothing)     \
    X(HeapAlloc,                        NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Onward, Nothing)     \
    X(HeapReAlloc,                      NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Onward, Nothing)     \
    X(LocalAlloc,                       NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Onward, Nothing)     \
    X(GlobalAlloc,                      NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Onward, Nothing)     \
    X(VirtualAlloc,                     NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Onward, Nothing)     \
    X(VirtualProtect,                   FALSE,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(VirtualQuery,                     0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(TlsAlloc,                         TLS_OUT_OF_INDEXES,   ERROR_NO_MORE_ITEMS,          Last,    Once,   Nothing)     \
    QV_AW(X, CreateEvent,               NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, CreateSemaphore,           NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    /* msvcrt */                                                                                                          \
    X(malloc,                           NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Errno,   Onward, Nothing)     \
    X(calloc,                           NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Errno,   Onward, Nothing)     \
    X(realloc,                          NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Errno,   Onward, Nothing)     \
    /* gdi32 */                                                                                                           \
    X(BitBlt,                           FALSE,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(CreateCompatibleBitmap,           NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Gdi)         \
    X(CreateCompatibleDC,               NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Gdi)         \
    X(CreateDIBSection,                 NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Gdi)         \
    X(CreatePen,                        NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Gdi)         \
    X(CreateSolidBrush,                 NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Gdi)         \
    X(Ellipse,                          FALSE,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(IntersectClipRect,                ERROR,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(SelectObject,                     NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(SetBkColor,                       CLR_INVALID,          ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(SetBkMode,                        0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(SetPixel,                         CLR_INVALID,          ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(SetTextColor,                     CLR_INVALID,          ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(StretchDIBits,                    0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(SetDIBitsToDevice,                0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, TextOut,                   FALSE,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    /* user32 */                                                                                                          \
    X(BeginPaint,                       NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Gdi)         \
    X(CheckDlgButton,                   FALSE,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, CreateDialogParam,         NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, CreateWindowEx,            NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, DialogBoxIndirectParam,    -1,                   ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, DialogBoxParam,            -1,                   ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, DrawText,                  0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(GetClientRect,                    FALSE,                ERROR_INVALID_WINDOW_HANDLE,  Last,    Once,   Nothing)     \
    X(GetDC,                            NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Gdi)         \
    X(GetDlgItem,                       NULL,                 ERROR_CONTROL_ID_NOT_FOUND,   Last,    Once,   Nothing)     \
    X(GetWindowDC,                      NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Gdi)         \
    X(InvalidateRect,                   FALSE,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, LoadBitmap,                NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Gdi)         \
    QV_AW(X, LoadCursor,                NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, LoadIcon,                  NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, LoadImage,                 NULL,                 ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, LoadString,                0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, MessageBox,                0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, RegisterClass,             0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, RegisterClassEx,           0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, SendDlgItemMessage,        0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, SendMessage,               0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(SetDlgItemInt,                    FALSE,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, SetDlgItemText,            FALSE,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(SetTimer,                         0,                    ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    QV_AW(X, SetWindowLong,             0,                    ERROR_ACCESS_DENIED,          Last,    Once,   Nothing)     \
    QV_AW(X, SetWindowText,             FALSE,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)     \
    X(UpdateWindow,                     FALSE,                ERROR_NOT_ENOUGH_MEMORY,      Last,    Once,   Nothing)


// On 32 bits these two are macros for SetWindowLongA and W.
#if defined(_WIN64)
#define QV_FAILABLE_IMPORTS(X) \
    QV_FAILABLE_COMMON(X)      \
    QV_AW(X, SetWindowLongPtr, 0, ERROR_ACCESS_DENIED, Last, Once, Nothing)
#else
#define QV_FAILABLE_IMPORTS(X) QV_FAILABLE_COMMON(X)
#endif

// The releases: what each gives back, and in which argument. They never
// fail; their shims only take what was given back off the held list.
#define QV_RELEASES(X)                   \
    X(ReleaseDC, kGdiObjects, 2)         \
    X(EndPaint, kGdiObjects, 2)          \
    X(DeleteDC, kGdiObjects, 1)          \
    X(DeleteObject, kGdiObjects, 1)      \
    X(FreeLibrary, kModuleReferences, 1)

namespace {

const char* const kPassThrough[] = {
    // kernel32: errors, threads, time, locks, languages, releases
    "GetLastError", "SetLastError", "Sleep", "GetCurrentProcess", "GetCurrentProcessId", "GetCurrentThread",
    "GetCurrentThreadId", "GetTickCount", "QueryPerformanceCounter", "GetSystemTimeAsFileTime",
    "InitializeCriticalSection", "EnterCriticalSection", "LeaveCriticalSection", "DeleteCriticalSection",
    "TlsGetValue", "TlsSetValue", "TlsFree", "IsDBCSLeadByte", "IsDBCSLeadByteEx", "GetUserDefaultLangID",
    "GetUserDefaultUILanguage", "GetSystemDefaultLangID", "GetACP", "CloseHandle", "HeapFree",
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
    // gdi32: releases (the counted ones are QV_RELEASES), the stock
    // objects, which are there from the system's start
    "RestoreDC", "GetStockObject"};

enum ImportId {
#define QV_ID(name, ...) kId_##name,
    QV_FAILABLE_IMPORTS(QV_ID)
#undef QV_ID
        kImportCount
};

enum class How { Last, Default, Errno };
enum class Lasts { Once, Onward };
enum class Gives { Nothing, Gdi, Module, ModuleAsked };

const FailableImport kTable[] = {
#define QV_ENTRY(name, result, error, ...) {#name, #result ", " #error},
    QV_FAILABLE_IMPORTS(QV_ENTRY)
#undef QV_ENTRY
};

const struct {
    intptr_t result;
    DWORD error;
} kFailures[] = {
#define QV_FAILURE(name, result, error, ...) {(intptr_t)(result), error},
    QV_FAILABLE_IMPORTS(QV_FAILURE)
#undef QV_FAILURE
};

// The columns the shims are made from.
struct Kind {
    How how;
    Lasts lasts;
    Gives gives;
};
constexpr Kind kKinds[] = {
#define QV_KIND(name, result, error, how, lasts, gives) {How::how, Lasts::lasts, Gives::gives},
    QV_FAILABLE_IMPORTS(QV_KIND)
#undef QV_KIND
};

// What a caller holds until it gives it back.
enum Holding { kGdiObjects, kModuleReferences, kHoldingCount };
const char* const kHoldingNames[kHoldingCount] = {"GDI objects", "module references"};

enum ReleaseId {
#define QV_RELEASE_ID(name, ...) kRelease_##name,
    QV_RELEASES(QV_RELEASE_ID)
#undef QV_RELEASE_ID
        kReleaseCount
};

struct ReleaseKind {
    Holding holding;
    int argument;  // from 1
};
constexpr ReleaseKind kReleaseKinds[] = {
#define QV_RELEASE_KIND(name, holding, argument) {holding, argument},
    QV_RELEASES(QV_RELEASE_KIND)
#undef QV_RELEASE_KIND
};

enum class Mode { Pass, Call, CallOf, From, Functions };

// What the shims share.
struct State {
    void* real[kImportCount] = {};
    void* realRelease[kReleaseCount] = {};
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
    // What was got through the shims and not yet given back, one entry per
    // reference (a module loaded twice is freed twice): the table id of the
    // function that gave it.
    std::multimap<std::pair<Holding, uintptr_t>, int> held;
} state;

void Hold(Holding holding, const void* object, int id) {
    if (object) state.held.insert({{holding, reinterpret_cast<uintptr_t>(object)}, id});
}

// What the module got elsewhere (before the shims, or from the host) is
// not on the list and stays off it.
void GiveBack(Holding holding, const void* object) {
    const auto it = state.held.find({holding, reinterpret_cast<uintptr_t>(object)});
    if (it != state.held.end()) state.held.erase(it);
}

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

// How a failing call of function id fails.
template <How>
struct Failing {
    template <class R, class... A>
    static R Call(int id, A...) {
        SetLastError(kFailures[id].error);
        return ResultOf<R>(kFailures[id].result);
    }
};

template <>
struct Failing<How::Default> {
    // GetPrivateProfileInt
    template <class R, class C>
    static R Call(int id, const C*, const C*, INT fallback, const C*) {
        SetLastError(kFailures[id].error);
        return static_cast<R>(fallback);
    }
    // GetPrivateProfileString
    template <class R, class C>
    static R Call(int id, const C*, const C*, const C* fallback, C* out, DWORD size, const C*) {
        SetLastError(kFailures[id].error);
        return CopyDefault(fallback, out, size);
    }
};

template <>
struct Failing<How::Errno> {
    template <class R, class... A>
    static R Call(int, A...) {
        errno = ENOMEM;
        return nullptr;
    }
};

// What a call that went through gave its caller to give back.
template <Gives>
struct Giving {
    template <class R, class... A>
    static void Note(int, R, A...) {}
};

template <Holding H>
struct GivingResult {
    template <class R, class... A>
    static void Note(int id, R result, A...) {
        Hold(H, result, id);
    }
};
template <>
struct Giving<Gives::Gdi> : GivingResult<kGdiObjects> {};
template <>
struct Giving<Gives::Module> : GivingResult<kModuleReferences> {};

template <>
struct Giving<Gives::ModuleAsked> {
    // A pinned module stays for good: nothing to give back either.
    template <class C>
    static void Note(int id, BOOL got, DWORD flags, const C*, HMODULE* module) {
        const DWORD none = GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT | GET_MODULE_HANDLE_EX_FLAG_PIN;
        if (got && module && !(flags & none)) Hold(kModuleReferences, *module, id);
    }
};

// The shim's work, between the module and the real function Id.
template <int Id, class R, class F, class... A>
R Through(const void* caller, F real, A... args) {
    if (Fails(Id, caller)) return Failing<kKinds[Id].how>::template Call<R>(Id, args...);
    const R result = real(args...);
    Giving<kKinds[Id].gives>::Note(Id, result, args...);
    return result;
}

// The shim of function Id, of the same type as the function. On 32 bits the
// system's functions are stdcall and the C runtime's cdecl; a 64-bit process
// has one convention.
template <int Id, class F>
struct Shim;

template <int Id, class R, class... A>
struct Shim<Id, R(WINAPI*)(A...)> {
    static R WINAPI Call(A... args) {
        return Through<Id, R>(__builtin_return_address(0), reinterpret_cast<R(WINAPI*)(A...)>(state.real[Id]),
                              args...);
    }
};

#if defined(__i386__)
template <int Id, class R, class... A>
struct Shim<Id, R(__cdecl*)(A...)> {
    static R __cdecl Call(A... args) {
        return Through<Id, R>(__builtin_return_address(0), reinterpret_cast<R(__cdecl*)(A...)>(state.real[Id]),
                              args...);
    }
};
#endif

void* const kShims[] = {
#define QV_SHIM(name, ...) reinterpret_cast<void*>(&Shim<kId_##name, decltype(&name)>::Call),
    QV_FAILABLE_IMPORTS(QV_SHIM)
#undef QV_SHIM
};

static_assert(sizeof kShims / sizeof kShims[0] == kImportCount, "one shim per function");

// What an argument of a release gives back.
const void* Object(const void* handle) { return handle; }
const void* Object(const PAINTSTRUCT* paint) { return paint ? paint->hdc : nullptr; }

template <int Id, class F>
struct ReleaseShim;

template <int Id, class R, class... A>
struct ReleaseShim<Id, R(WINAPI*)(A...)> {
    static R WINAPI Call(A... args) {
        const R released = reinterpret_cast<R(WINAPI*)(A...)>(state.realRelease[Id])(args...);
        constexpr ReleaseKind kind = kReleaseKinds[Id];
        if (released) GiveBack(kind.holding, Object(std::get<kind.argument - 1>(std::forward_as_tuple(args...))));
        return released;
    }
};

const struct {
    const char* name;
    void* shim;
} kReleases[] = {
#define QV_RELEASE(name, ...) {#name, reinterpret_cast<void*>(&ReleaseShim<kRelease_##name, decltype(&name)>::Call)},
    QV_RELEASES(QV_RELEASE)
#undef QV_RELEASE
};

int FindRelease(const char* name) {
    for (int i = 0; i < kReleaseCount; ++i)
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

bool ImportRunsOut(int id) { return kKinds[id].lasts == Lasts::Onward; }

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

std::string ImportFaults::Held() const {
    std::string text;
    for (int holding = 0; holding < kHoldingCount; ++holding) {
        std::map<int, int> counts;
        for (const auto& object : state.held)
            if (object.first.first == holding) ++counts[object.second];
        std::string from;
        for (const auto& count : counts)
            from += (from.empty() ? "" : ", ") + std::to_string(count.second) + " from " + kTable[count.first].name;
        if (!from.empty())
            text += (text.empty() ? "" : "; ") + std::string(kHoldingNames[holding]) + " not given back (" + from + ")";
    }
    return text;
}
