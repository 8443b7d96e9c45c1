#include "plugin/FilterModule.h"

#include <cstdio>
#include <exception>
#include <new>

#include "colorize/ColorizeFilter.h"
#include "colorize/DrawColorFilter.h"
#include "plugin/Filter.h"

namespace {
FilterModule theModule;
}

FilterModule& FilterModule::Get() { return theModule; }

HINSTANCE FilterModule::Instance() { return theModule.instance; }

FilterModule::~FilterModule() { ClearFilters(); }

int FilterModule::Init(HINSTANCE instance) {
    this->instance = instance;
    ClearFilters();
    if (!RegisterFilters()) return 0;
    for (Filter* filter : filters) {
        if (!filter) {
            ClearFilters();
            return 0;
        }
    }
    return 1;
}

int FilterModule::RegisterFilters() {
    // A null entry is appended too: Init finds it and fails the load.
    try {
        filters.push_back(new (std::nothrow) ColorizeFilter);
        filters.push_back(new (std::nothrow) DrawColorFilter);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

void FilterModule::ClearFilters() {
    for (Filter* filter : filters) delete filter;
    filters.clear();
}

int FilterModule::Count() const { return static_cast<int>(filters.size()); }

Filter* FilterModule::At(int index) const {
    return static_cast<unsigned>(index) < filters.size() ? filters[index] : nullptr;
}

const char* FilterModule::NameAt(int index) const {
    const Filter* filter = At(index);
    return filter ? filter->Name() : "";
}

const char* FilterModule::CategoryAt(int index) const {
    const Filter* filter = At(index);
    return filter ? filter->Category() : "";
}

void FilterModule::ExecuteAt(int index, int hostArg2, void* source, void* destination, int hostArg5,
                             FilterRect* rect, int hostArg7, int stride, int hostArg9, ProgressSink* sink) {
    if (Filter* filter = At(index))
        filter->Execute(hostArg2, source, destination, hostArg5, rect, hostArg7, stride, hostArg9, sink);
}

int FilterModule::SetupAt(int index, HWND parent, void* pixels, int width, int height) {
    Filter* filter = At(index);
    if (!filter) return 0;
    try {
        return filter->Setup(parent, pixels, width, height);
    } catch (const std::exception& e) {
        // snprintf cuts a long message to the buffer and always terminates it.
        char text[512];
        std::snprintf(text, sizeof text, "%s", e.what());
        MessageBoxA(parent, text, "exception", MB_ICONERROR);
        return 0;
    }
}
