// "Colorize by Drawcolor": tints with the host's current drawing colour.
#pragma once

#include "plugin/Filter.h"

class DrawColorFilter : public Filter {
public:
    DrawColorFilter();
    void Execute(int hostArg2, void* source, void* destination, int hostArg5, FilterRect* rect, int hostArg7,
                 int stride, int hostArg9, ProgressSink* sink) override;
};
