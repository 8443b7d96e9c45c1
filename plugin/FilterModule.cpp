#include "plugin/FilterModule.h"

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
    for (int i = 0; i < count; ++i) {
        if (!filters[i]) {
            ClearFilters();
            return 0;
        }
    }
    return 1;
}

int FilterModule::RegisterFilters() {
    // A null entry is kept too: Init finds it and fails the load.
    filters[count++] = new (std::nothrow) ColorizeFilter;
    filters[count++] = new (std::nothrow) DrawColorFilter;
    return 1;
}

void FilterModule::ClearFilters() {
    for (int i = 0; i < count; ++i) {
        delete filters[i];
        filters[i] = nullptr;
    }
    count = 0;
}

int FilterModule::Count() const { return count; }

Filter* FilterModule::At(int index) const {
    return static_cast<unsigned>(index) < static_cast<unsigned>(count) ? filters[index] : nullptr;
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
    return filter ? filter->Setup(parent, pixels, width, height) : 0;
}
