// Base of the plug-in's filters: two display texts and the three operations
// the exports forward to.
#pragma once

#include <windows.h>

#include "plugin/HostTypes.h"

class Filter {
public:
    // Both texts are CP932 literals, English and Japanese separated by "|";
    // held, not copied, so making a filter allocates nothing but itself.
    Filter(const char* name, const char* category);
    virtual ~Filter();

    virtual void Execute(int hostArg2, void* source, void* destination, int hostArg5, FilterRect* rect,
                         int hostArg7, int stride, int hostArg9, ProgressSink* sink);
    virtual int Setup(HWND parent, void* pixels, int width, int height);
    virtual bool CanSetup(HWND parent, void* pixels, int width, int height);

    const char* Name() const { return name; }
    const char* Category() const { return category; }

private:
    const char* name;
    const char* category;
};
