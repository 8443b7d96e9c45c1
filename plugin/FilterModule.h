// The plug-in's one long-lived object: the module handle and the ordered
// list of filters that the exports index.
#pragma once

#include <windows.h>

#include "plugin/HostTypes.h"

class Filter;

class FilterModule {
public:
    FilterModule() = default;
    ~FilterModule();
    FilterModule(const FilterModule&) = delete;
    FilterModule& operator=(const FilterModule&) = delete;

    // The module's one instance, built during static initialisation.
    static FilterModule& Get();
    // The plug-in's own module handle: its file, templates and cursors.
    static HINSTANCE Instance();

    int Init(HINSTANCE instance);
    int Count() const;
    const char* NameAt(int index) const;
    const char* CategoryAt(int index) const;
    void ExecuteAt(int index, int hostArg2, void* source, void* destination, int hostArg5, FilterRect* rect,
                   int hostArg7, int stride, int hostArg9, ProgressSink* sink);
    int SetupAt(int index, HWND parent, void* pixels, int width, int height);

private:
    int RegisterFilters();
    void ClearFilters();
    // Unsigned, so a negative index is out of range too.
    Filter* At(int index) const;

    HINSTANCE instance = nullptr;
    // Room for this plug-in's filters: registering them allocates nothing
    // but the filters.
    static constexpr int kCapacity = 2;
    Filter* filters[kCapacity] = {};
    int count = 0;
};
