// A stand-in plug-in for ppihost's own tests: filter 0 has a modal set-up
// dialog, filter 1 faults (when run, and inside its set-up dialog's
// procedure), filter 2 reports what the host's PBF_QueryClientInfo wrote,
// filter 3 presses Ctrl+C while the host writes its output.
// With QV_CHECK_MODE set it has one filter that keeps the host's contract
// but for the one promise the mode names (see CheckMode), for `ppihost check`.
#include <windows.h>

#include <cstring>

#include "plugin/HostTypes.h"

void SpillAligned(uint32_t* pixels);

namespace {

HINSTANCE module = nullptr;
const int kFilters = 4;
const char* const kNames[kFilters] = {"Dialog", "Fault", "Query", "Interrupt"};

// "good" breaks nothing; "cdecl", "leak", "info", "names", "outside",
// "progress", "empty", "setup" and "fault" each break one promise; the
// "getdc" modes break one only when the system fails GetDC (check --faults,
// see AskForScreen); "rounding"
// follows the host's rounding mode and "stack" (32 bits) needs a 16-byte
// aligned stack (check's host-environment lines).
char checkMode[16];
bool Checking() { return checkMode[0] != 0; }
bool CheckMode(const char* mode) { return std::strcmp(checkMode, mode) == 0; }

// "float": 0/0 as the dialog opens, which traps where the host has unmasked
// invalid operations; inside a window procedure, where Wine would swallow it.
INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG && CheckMode("float")) {
        volatile double zero = 0.0;
        volatile double nothing = zero / zero;
        (void)nothing;
    }
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(hwnd, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK FaultingDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) *static_cast<volatile int*>(nullptr) = 1;
    return FALSE;
}

typedef int(WINAPI* QueryProc)(int, void*);

// Each byte of the host's answers goes into the blue of one pixel.
void ReportQuery(uint32_t* destination) {
    QueryProc query = reinterpret_cast<QueryProc>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "PBF_QueryClientInfo")));
    unsigned char colour[8], other[8];
    std::memset(colour, 0xCC, sizeof colour);
    std::memset(other, 0xCC, sizeof other);
    const int colourResult = query ? query(1, colour) : -1;
    const int otherResult = query ? query(2, other) : -1;
    for (int i = 0; i < 8; ++i) {
        destination[i] = 0xFF000000u | colour[i];
        destination[8 + i] = 0xFF000000u | other[i];
    }
    destination[16] = 0xFF000000u | static_cast<unsigned char>(colourResult);
    destination[17] = 0xFF000000u | static_cast<unsigned char>(otherResult);
}

// Waits for data in a temporary file in the folder that QV_INTERRUPT_FOLDER
// names (with its trailing separator), then sends Ctrl+C to the console.
DWORD WINAPI InterruptWhileWriting(void*) {
    char folder[MAX_PATH];
    const DWORD n = GetEnvironmentVariableA("QV_INTERRUPT_FOLDER", folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH - 8) return 0;
    lstrcatA(folder, "*.tmp");
    for (int tries = 0; tries < 60000; ++tries) {
        WIN32_FIND_DATAA found;
        const HANDLE search = FindFirstFileA(folder, &found);
        bool writing = false;
        if (search != INVALID_HANDLE_VALUE) {
            do writing = writing || found.nFileSizeLow || found.nFileSizeHigh;
            while (FindNextFileA(search, &found));
            FindClose(search);
        }
        if (writing) {
            GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
            return 0;
        }
        Sleep(1);
    }
    return 0;
}

WORD Info(char* buffer, int length) {
    // "info": 300 characters, so a 256-byte buffer gets no zero.
    static char tooLong[301];
    if (CheckMode("info") && !tooLong[0]) std::memset(tooLong, 'i', 300);
    std::strncpy(buffer, CheckMode("info") ? tooLong : "ppihost test plug-in", static_cast<size_t>(length));
    return 1;
}

// 1 where the unit rounds other than to nearest: one of the two sums is
// rounded away from 1.
int Directed() {
    volatile double one = 1.0, tiny = 1e-17;
    const double up = one + tiny, down = one - tiny;
    return up != down;
}

// The "getdc" modes take the screen's DC for granted, each in its own way
// when the system has none: "getdc" writes through the null one; "-handle",
// "-gdi", "-window" and "-module" return without giving back what they made
// or took before asking; "-outside" marks the pixel left of the rectangle;
// "-hang" waits for ever over the whole image. "-once" asks only once in a
// process, as a cache kept for the process would: a run that fails it has
// no call to fail.
void AskForScreen(uint32_t* destination, const FilterRect& r, int stride) {
    if (CheckMode("getdc-once")) {
        if (GetEnvironmentVariableA("QV_CHECK_SCREEN", nullptr, 0)) return;
        SetEnvironmentVariableA("QV_CHECK_SCREEN", "1");
    }
    const HANDLE event = CheckMode("getdc-handle") ? CreateEventW(nullptr, TRUE, FALSE, nullptr) : nullptr;
    const HDC memory = CheckMode("getdc-gdi") ? CreateCompatibleDC(nullptr) : nullptr;
    const HWND window = CheckMode("getdc-window") ? CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 1, 1, nullptr,
                                                                     nullptr, nullptr, nullptr)
                                                   : nullptr;
    HMODULE host = nullptr, borrowed = nullptr;
    if (CheckMode("getdc-module")) {
        GetModuleHandleExW(0, nullptr, &host);
        // No reference taken, none to give back.
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT, nullptr, &borrowed);
    }
    const HDC screen = GetDC(nullptr);
    if (!screen) {
        if (CheckMode("getdc")) *reinterpret_cast<volatile int*>(screen) = 1;
        if (CheckMode("getdc-outside")) destination[r.left - 1 + static_cast<ptrdiff_t>(r.top) * stride] = 0;
        while (CheckMode("getdc-hang") && r.left == 0) Sleep(1000);
        return;
    }
    ReleaseDC(nullptr, screen);
    if (event) CloseHandle(event);
    if (memory) DeleteDC(memory);
    if (window) DestroyWindow(window);
    if (host) FreeLibrary(host);
}

// "hang": the first call waits for ever, and leaves check-hung.txt beside the
// plug-in so that no later process waits again.
void HangOnce() {
    wchar_t path[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
    if (!n || n >= MAX_PATH - 20) return;
    lstrcpyW(wcsrchr(path, L'\\') + 1, L"check-hung.txt");
    const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    CloseHandle(file);
    for (;;) Sleep(1000);
}

// The check filter: inverts the colours of the rectangle and keeps alpha.
int CheckExecute(const uint32_t* source, uint32_t* destination, const FilterRect& r, int stride,
                 ProgressCallback callback, void* userData) {
    if (callback) callback(0, 100, userData);
    if (r.right <= r.left || r.bottom <= r.top) {
        if (CheckMode("empty")) destination[r.left + static_cast<ptrdiff_t>(r.top) * stride] = 0;
        return callback ? callback(100, 100, userData) : 0;
    }
    if (CheckMode("fault")) *static_cast<volatile int*>(nullptr) = 1;
    if (CheckMode("hang")) HangOnce();
    if (std::strncmp(checkMode, "getdc", 5) == 0) AskForScreen(destination, r, stride);
    unsigned char colour[4];
    typedef int(WINAPI * QueryProc)(int, void*);
    if (QueryProc query = reinterpret_cast<QueryProc>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(nullptr), "PBF_QueryClientInfo"))))
        query(1, colour);
    for (int y = r.top; y < r.bottom; ++y) {
        const ptrdiff_t row = static_cast<ptrdiff_t>(y) * stride;
        for (int x = r.left; x < r.right; ++x) destination[row + x] = source[row + x] ^ 0x00FFFFFFu;
        if (CheckMode("outside") && y == r.top) destination[row + r.left - 1] = 0;
        if (callback) callback((y - r.top + 1) * 100 / (r.bottom - r.top), 100, userData);
    }
    if (CheckMode("rounding"))
        for (int y = r.top; y < r.bottom; ++y) destination[static_cast<ptrdiff_t>(y) * stride + r.left] ^= Directed();
#if defined(__i386__)
    if (CheckMode("stack")) SpillAligned(destination + static_cast<ptrdiff_t>(r.top) * stride + r.left);
#endif
    if (CheckMode("progress") && callback) callback(40, 100, userData);
    return callback ? callback(100, 100, userData) : 0;
}

}  // namespace

extern "C" {

#if defined(__i386__)
// PB_GetPluginInfo picks its convention when called: in the "cdecl" mode it
// leaves its arguments on the stack, as a function declared without WINAPI.
int cdeclInfo = 0;
WORD __cdecl InfoLeavingArguments(char* buffer, int length) { return Info(buffer, length); }
WORD WINAPI InfoTakingArguments(char* buffer, int length) { return Info(buffer, length); }
__asm__(
    ".text\n"
    ".globl _PB_GetPluginInfo@8\n"
    "_PB_GetPluginInfo@8:\n"
    "    cmpl $0, _cdeclInfo\n"
    "    jne _InfoLeavingArguments\n"
    "    jmp _InfoTakingArguments@8\n"
    ".section .drectve\n"
    ".ascii \" -export:\\\"PB_GetPluginInfo@8\\\"\"\n"
    ".text\n");
#else
__declspec(dllexport) WORD WINAPI PB_GetPluginInfo(char* buffer, int length) { return Info(buffer, length); }
#endif

__declspec(dllexport) int WINAPI PBF_FilterCount() { return Checking() ? 1 : kFilters; }

__declspec(dllexport) char* WINAPI PBF_GetName(int index, char* category, int categoryLength, char* name,
                                               int nameLength) {
    const bool valid = index >= 0 && index < PBF_FilterCount();
    // "Check|チェックポイント": the second byte of ポ is a bar, and no
    // separator. "names" ends the name on a lead byte.
    const char* checkName = CheckMode("names") ? "Check|\x83"
                                                 : "Check|\x83\x60\x83\x46\x83\x62\x83\x4E\x83\x7C\x83\x43\x83\x93\x83\x67";
    std::strncpy(category, valid ? "Test" : "", static_cast<size_t>(categoryLength));
    std::strncpy(name, valid ? (Checking() ? checkName : kNames[index]) : "", static_cast<size_t>(nameLength));
    return name;
}

__declspec(dllexport) int WINAPI PBF_Execute(int index, int, void* source, void* destination, int, FilterRect* rect,
                                             int, int stride, int, ProgressCallback callback, void* userData) {
    if (Checking())
        return CheckExecute(static_cast<const uint32_t*>(source), static_cast<uint32_t*>(destination), *rect, stride,
                            callback, userData);
    if (callback) callback(0, 100, userData);
    if (index == 1) *static_cast<volatile int*>(nullptr) = 1;
    if (index == 2) ReportQuery(static_cast<uint32_t*>(destination));
    if (index == 3) {
        const HANDLE watcher = CreateThread(nullptr, 0, InterruptWhileWriting, nullptr, 0, nullptr);
        if (watcher) CloseHandle(watcher);
    }
    return callback ? callback(100, 100, userData) : 0;
}

// 1 for OK, 0 for Cancel, 7 when the dialog could not be created.
__declspec(dllexport) int WINAPI PBF_Setup(int index, HWND parent, void*, int, int) {
    if (Checking()) {
        const INT_PTR result = DialogBoxParamW(module, MAKEINTRESOURCEW(200), parent, DialogProc, 0);
        // "setup": Cancel leaves a file beside the plug-in.
        wchar_t path[MAX_PATH];
        const DWORD n = GetModuleFileNameW(module, path, MAX_PATH);
        if (result == IDCANCEL && CheckMode("setup") && n && n < MAX_PATH - 20) {
            lstrcpyW(wcsrchr(path, L'\\') + 1, L"check-setup.txt");
            const HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
        return result == IDOK ? 1 : (result == IDCANCEL ? 0 : 7);
    }
    if (index >= 2) return 1;
    const INT_PTR result =
        DialogBoxParamW(module, MAKEINTRESOURCEW(200), parent, index == 1 ? FaultingDialogProc : DialogProc, 0);
    return result == IDOK ? 1 : (result == IDCANCEL ? 0 : 7);
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    module = instance;
    const DWORD n = GetEnvironmentVariableA("QV_CHECK_MODE", checkMode, sizeof checkMode);
    if (n >= sizeof checkMode) checkMode[0] = 0;
#if defined(__i386__)
    cdeclInfo = CheckMode("cdecl");
#endif
    // "leak": an event that no one closes, on every load.
    if (CheckMode("leak")) CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return TRUE;
}
