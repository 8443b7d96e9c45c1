// A stand-in plug-in for ppihost's own tests: filter 0 has a modal set-up
// dialog, filter 1 faults (when run, and inside its set-up dialog's
// procedure), filter 2 reports what the host's PBF_QueryClientInfo wrote,
// filter 3 presses Ctrl+C while the host writes its output.
#include <windows.h>

#include <cstring>

#include "plugin/HostTypes.h"

namespace {

HINSTANCE module = nullptr;
const int kFilters = 4;
const char* const kNames[kFilters] = {"Dialog", "Fault", "Query", "Interrupt"};

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM) {
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

}  // namespace

extern "C" {

__declspec(dllexport) WORD WINAPI PB_GetPluginInfo(char* buffer, int length) {
    std::strncpy(buffer, "ppihost test plug-in", static_cast<size_t>(length));
    return 1;
}

__declspec(dllexport) int WINAPI PBF_FilterCount() { return kFilters; }

__declspec(dllexport) char* WINAPI PBF_GetName(int index, char* category, int categoryLength, char* name,
                                               int nameLength) {
    const bool valid = index >= 0 && index < kFilters;
    std::strncpy(category, valid ? "Test" : "", static_cast<size_t>(categoryLength));
    std::strncpy(name, valid ? kNames[index] : "", static_cast<size_t>(nameLength));
    return name;
}

__declspec(dllexport) int WINAPI PBF_Execute(int index, int, void*, void* destination, int, FilterRect*, int, int,
                                             int, ProgressCallback callback, void* userData) {
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
    if (index >= 2) return 1;
    const INT_PTR result =
        DialogBoxParamW(module, MAKEINTRESOURCEW(200), parent, index == 1 ? FaultingDialogProc : DialogProc, 0);
    return result == IDOK ? 1 : (result == IDCANCEL ? 0 : 7);
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) module = instance;
    return TRUE;
}
