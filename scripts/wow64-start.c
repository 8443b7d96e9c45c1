/* Starts a 32-bit program from Unix and hands back its exit code, as
   `wine start /exec` would. Wine's loader is a 64-bit process, so for a
   32-bit program it runs start.exe first, which brings in shell32, user32
   and gdi32 before the program itself starts: a tenth of a second here,
   several seconds in the emulated machine. This one needs kernel32 alone.
     wine64 wow64-start.exe PROGRAM ARGS...
   The program gets this process's standard handles and command line as
   they are after our own name. */
#include <windows.h>

static HANDLE Inheritable(DWORD which) {
    HANDLE handle = GetStdHandle(which), copy = NULL;
    if (handle && handle != INVALID_HANDLE_VALUE)
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    return copy;
}

static DWORD Run(void) {
    /* Our own name is the first token of the command line, quoted or not. */
    WCHAR* rest = GetCommandLineW();
    if (*rest == L'"') {
        for (++rest; *rest && *rest != L'"'; ++rest) {
        }
        if (*rest) ++rest;
    } else {
        while (*rest && *rest != L' ' && *rest != L'\t') ++rest;
    }
    while (*rest == L' ' || *rest == L'\t') ++rest;
    if (!*rest) return 2;

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = Inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = Inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = Inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!CreateProcessW(NULL, rest, NULL, NULL, TRUE, 0, NULL, NULL, &startup, &process)) {
        char line[] = "wow64-start: the program did not start, error 0000000000\n";
        DWORD error = GetLastError(), written;
        for (char* digit = line + sizeof line - 3; error; error /= 10) *digit-- = (char)('0' + error % 10);
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), line, sizeof line - 1, &written, NULL);
        return 127;
    }
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

/* The entry point, with no C runtime: kernel32 is all there is to load. */
void __stdcall Start(void) {
    ExitProcess(Run());
}
