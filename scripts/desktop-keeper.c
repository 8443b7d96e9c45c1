/* Keeps a Wine prefix's desktop in use while tests run. Wine closes the
   desktop, and the explorer.exe that owns it, a second after the last
   program using it ends, so each test program would start explorer again:
   a tenth of a second here, seconds in the emulated machine. A message-only
   window makes this thread a user of the desktop and shows nothing. It ends
   with the prefix's wineserver.
   The first window of a prefix's server starts explorer and waits ten
   seconds for it; a loaded emulated machine can take longer, and the window
   then fails. So this one tries until it has its window, then says "ready"
   on its standard output: what starts it can wait for that. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show) {
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    HWND window = NULL;
    for (int tries = 0; !window && tries < 600; ++tries) {
        window = CreateWindowExW(0, L"STATIC", NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
        if (!window) Sleep(200);
    }
    if (!window) return 1;
    DWORD written;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "ready\n", 6, &written, NULL);
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
