// One filter plug-in loaded into this process, with its five exports.
#pragma once

#include <windows.h>

#include <string>

#include "plugin/HostTypes.h"

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

    int Execute(int index, uint32_t* source, uint32_t* destination, FilterRect* rect, int stride,
                ProgressCallback callback, void* userData) const;
    int Setup(int index, HWND parent, uint32_t* pixels, int width, int height) const;

    const std::wstring& Path() const { return path; }

private:
    typedef WORD(WINAPI* GetPluginInfoProc)(char*, int);
    typedef int(WINAPI* FilterCountProc)();
    typedef char*(WINAPI* GetNameProc)(int, char*, int, char*, int);
    typedef int(WINAPI* ExecuteProc)(int, int, void*, void*, int, FilterRect*, int, int, int, ProgressCallback,
                                     void*);
    typedef int(WINAPI* SetupProc)(int, HWND, void*, int, int);

    template <class T>
    void Resolve(T& proc, const char* name);
    void Names(int index, std::string* category, std::string* name) const;

    std::wstring path;
    HMODULE module = nullptr;
    GetPluginInfoProc getPluginInfo = nullptr;
    FilterCountProc filterCount = nullptr;
    GetNameProc getName = nullptr;
    ExecuteProc execute = nullptr;
    SetupProc setup = nullptr;
};
