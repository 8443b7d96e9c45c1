/* Keeps a Wine prefix's desktop in use while tests run. Wine closes the
   desktop, and the explorer.exe that owns it, a second after the last
   program using it ends, so each test program would start explorer again:
   a tenth of a second here, seconds in the emulated machine. A message-only
   window makes this thread a user of the desktop and shows nothing. It ends
   with the prefix's wineserver. */
#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int show) {
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    if (!CreateWindowExW(0, L"STATIC", NULL, 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL)) return 1;
    MSG message;
    while (GetMessageW(&message, NULL, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}
