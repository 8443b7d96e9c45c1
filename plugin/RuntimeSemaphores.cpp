// The Win32-thread C++ runtime linked into the plug-in gives each of its
// internal mutexes a semaphore and closes only some of them: not the
// unwinder's, made when crtbegin registers our frames at load, nor emulated
// TLS's (first throw) or the static-init guard's (first function-local
// static). A host that loads and unloads the plug-in would keep one of each
// per load. The runtime reaches CreateSemaphoreW and CloseHandle through the
// import pointers defined here, so we know which of its semaphores are still
// open and close them once the runtime is done with them.
#include <windows.h>

#include <cstdlib>

namespace {

typedef HANDLE(WINAPI* CreateSemaphoreProc)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);
typedef BOOL(WINAPI* CloseHandleProc)(HANDLE);

// Far more than the runtime has at once; one that finds no slot is left open.
HANDLE volatile leftOpen[16];
LONG volatile closerRegistered;

// The imports themselves are ours, so the real functions come from kernel32
// by name. No function-local static here: its guard would make a semaphore.
void* Kernel32(const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
}

BOOL RealCloseHandle(HANDLE handle) { return reinterpret_cast<CloseHandleProc>(Kernel32("CloseHandle"))(handle); }

// Registered with atexit at the first semaphore, before whatever made it can
// register its own teardown (crtbegin's frame deregistration, a static
// object's destructor), so it runs after every one of them.
void CloseLeftOpen() {
    for (HANDLE volatile& slot : leftOpen)
        if (HANDLE handle = InterlockedExchangePointer(&slot, nullptr)) RealCloseHandle(handle);
}

HANDLE WINAPI CreateTrackedSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
    if (InterlockedCompareExchange(&closerRegistered, 1, 0) == 0) atexit(CloseLeftOpen);
    const HANDLE handle =
        reinterpret_cast<CreateSemaphoreProc>(Kernel32("CreateSemaphoreW"))(attributes, initial, maximum, name);
    if (handle)
        for (HANDLE volatile& slot : leftOpen)
            if (!InterlockedCompareExchangePointer(&slot, handle, nullptr)) break;
    return handle;
}

BOOL WINAPI CloseTrackedHandle(HANDLE handle) {
    for (HANDLE volatile& slot : leftOpen)
        if (InterlockedCompareExchangePointer(&slot, nullptr, handle) == handle) break;
    return RealCloseHandle(handle);
}

}  // namespace

// The import pointers every call in this DLL goes through; ld takes these
// instead of kernel32's import library members.
#if defined(__i386__)
#define QV_IMPORT(name, argumentBytes) __asm__("__imp__" #name "@" #argumentBytes)
#else
#define QV_IMPORT(name, argumentBytes) __asm__("__imp_" #name)
#endif
extern "C" {
extern const CreateSemaphoreProc qvCreateSemaphoreImport QV_IMPORT(CreateSemaphoreW, 16) = CreateTrackedSemaphore;
extern const CloseHandleProc qvCloseHandleImport QV_IMPORT(CloseHandle, 4) = CloseTrackedHandle;
}
