// "Colorize...": tints with the picker position its set-up dialog stored.
#pragma once

#include "plugin/Filter.h"

class ColorizeFilter : public Filter {
public:
    ColorizeFilter();
    void Execute(int hostArg2, void* source, void* destination, int hostArg5, FilterRect* rect, int hostArg7,
                 int stride, int hostArg9, ProgressSink* sink) override;
    int Setup(HWND parent, void* pixels, int width, int height) override;
};
