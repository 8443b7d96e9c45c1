// One filter plug-in loaded into this process, with its five exports. On 32
// bits every call goes through a thunk that notes an export leaving the
// stack other than stdcall requires, and puts the stack right again.
#pragma once

#include <windows.h>

#include <string>

#include "plugin/HostTypes.h"

// Texts a plug-in writes go into this many bytes; more filters than this
// is a broken count.
constexpr int kTextBytes = 256;
constexpr int kMaxFilters = 10000;

class PluginLibrary {
public:
    // Throws HostError when the file is missing, cannot be loaded, or lacks
    // one of the exports.
    explicit PluginLibrary(const std::wstring& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // UTF-8, converted from the plug-in's CP932.
    std::string Info() const;
    int Count() const;
    std::string Category(int index) const;
    std::string Name(int index) const;
    // Throws HostError unless index is one of the plug-in's filters.
    void CheckIndex(int index) const;

    // Pixels are 32-bit words, stride words a row.
    int Execute(int index, void* source, void* destination, FilterRect* rect, int stride, ProgressCallback callback,
                void* userData) const;
    int Setup(int index, HWND parent, void* pixels, int width, int height) const;

    const std::wstring& Path() const { return path; }
    HMODULE Module() const { return module; }

    // The exports as they are, for the checks: no limits, no conversion.
    WORD RawInfo(char* buffer, int length) const;
    int RawCount() const;
    char* RawNames(int index, char* category, int categoryLength, char* name, int nameLength) const;

    // The first export that took other than its own arguments off the
    // stack, and what it took; empty while none did (always on 64 bits).
    const std::string& StackError() const { return stackError; }
    // From now on each export is called with the stack pointer this many
    // bytes below a 16-byte boundary (0, 4, 8 or 12); 32 bits only.
    void SetStackOffset(int bytes) { stackOffset = bytes; }

private:
    typedef WORD(WINAPI* GetPluginInfoProc)(char*, int);
    typedef int(WINAPI* FilterCountProc)();
    typedef char*(WINAPI* GetNameProc)(int, char*, int, char*, int);
    typedef int(WINAPI* ExecuteProc)(int, int, void*, void*, int, FilterRect*, int, int, int, ProgressCallback,
                                     void*);
    typedef int(WINAPI* SetupProc)(int, HWND, void*, int, int);

    template <class T>
    void Resolve(T& proc, const char* name);
    template <class R, class... P, class... A>
    R Call(const char* name, R(WINAPI* proc)(P...), A... args) const;
    void Names(int index, std::string* category, std::string* name) const;

    std::wstring path;
    HMODULE module = nullptr;
    GetPluginInfoProc getPluginInfo = nullptr;
    FilterCountProc filterCount = nullptr;
    GetNameProc getName = nullptr;
    ExecuteProc execute = nullptr;
    SetupProc setup = nullptr;
    mutable std::string stackError;
    int stackOffset = 0;
};
